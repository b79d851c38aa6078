#include "support/simulated_run.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <optional>
#include <sstream>
#include <stdexcept>

namespace testing_support {

namespace {

namespace fs = std::filesystem;

constexpr unsigned kMaxProcessor = 7;

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

bool sameIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    return lines;
}

// "[Name]" gives "Name"; nothing for any other line.
std::optional<std::string> sectionOf(const std::string& line) {
    const std::string t = trimmed(line);
    if (t.size() < 2 || t.front() != '[' || t.back() != ']')
        return std::nullopt;
    return trimmed(t.substr(1, t.size() - 2));
}

// "Key = value" gives "Key"; nothing for comments and lines without '='.
std::optional<std::string> keyOf(const std::string& line) {
    const std::string t = trimmed(line);
    const auto equals = t.find('=');
    if (t.empty() || t.front() == ';' || equals == std::string::npos)
        return std::nullopt;
    return trimmed(t.substr(0, equals));
}

std::optional<std::string> profileValue(const std::string& profile, const std::string& section,
                                        const std::string& key) {
    std::string current;
    for (const std::string& line : splitLines(profile)) {
        if (auto name = sectionOf(line)) {
            current = *name;
            continue;
        }
        const auto lineKey = keyOf(line);
        if (lineKey && sameIgnoringCase(current, section) && sameIgnoringCase(*lineKey, key)) {
            const std::string t = trimmed(line);
            return trimmed(t.substr(t.find('=') + 1));
        }
    }
    return std::nullopt;
}

std::string setKey(const std::string& profile, const ProfileKey& entry) {
    std::vector<std::string> lines = splitLines(profile);
    const bool crlf = !lines.empty() && !lines.front().empty() && lines.front().back() == '\r';
    const std::string eol = crlf ? "\r" : "";
    const std::string newLine = entry.key + "=" + entry.value + eol;

    // The section's lines run from its header to the next header; a new key
    // goes after its last key line, before comments that head the next one.
    std::optional<std::size_t> insertAt;
    bool replaced = false;
    for (std::size_t i = 0; i < lines.size() && !replaced; ++i) {
        if (auto name = sectionOf(lines[i])) {
            if (insertAt)
                break;
            if (sameIgnoringCase(*name, entry.section))
                insertAt = i + 1;
        } else if (auto key = keyOf(lines[i]); insertAt && key) {
            if (sameIgnoringCase(*key, entry.key)) {
                lines[i] = newLine;
                replaced = true;
            }
            insertAt = i + 1;
        }
    }
    if (!insertAt) {
        if (!lines.empty() && !trimmed(lines.back()).empty())
            lines.push_back(eol);
        lines.push_back("[" + entry.section + "]" + eol);
        lines.push_back(newLine);
    } else if (!replaced) {
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(*insertAt), newLine);
    }
    std::string out;
    for (const std::string& line : lines)
        out += line + "\n";
    return out;
}

std::uint8_t hexByte(const std::string& text, std::size_t at, std::size_t lineNumber) {
    if (at + 2 > text.size() || !std::isxdigit(static_cast<unsigned char>(text[at])) ||
        !std::isxdigit(static_cast<unsigned char>(text[at + 1])))
        throw std::runtime_error("flash dump line " + std::to_string(lineNumber) +
                                 ": not a hexadecimal byte");
    return static_cast<std::uint8_t>(std::stoul(text.substr(at, 2), nullptr, 16));
}

std::vector<std::string> fileLines(const std::string& path) {
    std::vector<std::string> lines;
    for (std::string line : splitLines(readFile(path))) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            lines.push_back(line);
    }
    return lines;
}

void removeFile(const std::string& path) {
    std::error_code ec;
    fs::remove(path, ec);
}

} // namespace

std::string withProfileKeys(const std::string& profile, const std::vector<ProfileKey>& keys) {
    std::string out = profile;
    for (const ProfileKey& key : keys)
        out = setKey(out, key);
    return out;
}

std::string exampleProfilePath(const std::string& name) {
    return std::string(REFIRM_SOURCE_DIR) + "/examples/scanners/" + name;
}

std::vector<std::string> exampleProfileNames() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(exampleProfilePath("")))
        if (entry.is_regular_file() && entry.path().extension() == ".ini")
            names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::uint8_t FlashContent::at(std::uint32_t address) const {
    const auto it = bytes.find(address);
    return it == bytes.end() ? 0xFF : it->second;
}

std::vector<std::uint8_t> FlashContent::range(std::uint32_t address, std::size_t count) const {
    std::vector<std::uint8_t> out;
    out.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        out.push_back(at(address + static_cast<std::uint32_t>(i)));
    return out;
}

FlashContent parseFlashDump(const std::string& text) {
    FlashContent content;
    std::size_t lineNumber = 0;
    for (std::string line : splitLines(text)) {
        ++lineNumber;
        line = trimmed(line);
        if (line.empty())
            continue;
        const auto fail = [&](const std::string& why) {
            throw std::runtime_error("flash dump line " + std::to_string(lineNumber) + ": " + why);
        };
        if (line.size() < 4 || line[0] != 'S' || !std::isdigit(static_cast<unsigned char>(line[1])))
            fail("not an S-record");
        const char type = line[1];
        const std::uint8_t count = hexByte(line, 2, lineNumber);
        if (line.size() != 4 + 2 * static_cast<std::size_t>(count))
            fail("length does not match the byte count");
        std::vector<std::uint8_t> record;
        unsigned sum = count;
        for (std::size_t i = 0; i < count; ++i) {
            record.push_back(hexByte(line, 4 + 2 * i, lineNumber));
            sum += record.back();
        }
        if ((sum & 0xFF) != 0xFF)
            fail("wrong checksum");
        std::size_t addressBytes = 0;
        switch (type) {
        case '1':
            addressBytes = 2;
            break;
        case '2':
            addressBytes = 3;
            break;
        case '3':
            addressBytes = 4;
            break;
        case '0':
        case '5':
        case '7':
        case '8':
        case '9':
            continue;
        default:
            fail("unknown record type");
        }
        if (record.size() < addressBytes + 1)
            fail("record too short for its address");
        std::uint32_t address = 0;
        for (std::size_t i = 0; i < addressBytes; ++i)
            address = (address << 8) | record[i];
        for (std::size_t i = addressBytes; i + 1 < record.size(); ++i, ++address)
            if (record[i] != 0xFF)
                content.bytes[address] = record[i];
    }
    return content;
}

SimulatedRun::SimulatedRun() {
    fs::create_directories(workDir());
    fs::create_directories(tmpDir());
    fs::create_directories(configDir());
    env_["TMPDIR"] = tmpDir();
    env_["XDG_CONFIG_HOME"] = configDir();
    env_["REFIRM_TIME_SCALE"] = "0.01";
}

std::size_t SimulatedRun::addProfile(const std::string& text, const std::vector<ProfileKey>& keys) {
    const std::size_t index = scanners_.size();
    const std::string dir = scratch_.file("scanner" + std::to_string(index));
    fs::create_directories(dir);
    std::string profile = withProfileKeys(text, keys);

    // A path the profile names itself stays (relative to the profile's
    // directory); an empty one means none.
    Scanner scanner;
    const auto place = [&](const std::string& section, const std::string& key,
                           const std::string& fileName) -> std::string {
        if (auto value = profileValue(profile, section, key))
            return value->empty() || fs::path(*value).is_absolute() ? *value : dir + "/" + *value;
        profile = withProfileKeys(profile, {{section, key, dir + "/" + fileName}});
        return dir + "/" + fileName;
    };
    scanner.trace = place("Scanner", "Trace", "trace.txt");
    scanner.state = place("Scanner", "State", "state.txt");
    scanner.flashDumps[0] = place("Scanner", "FlashDump", "flash.mot");
    for (unsigned n = 1; n <= kMaxProcessor; ++n) {
        const std::string section = "Processor" + std::to_string(n);
        const auto name = profileValue(profile, section, "Name");
        if (name && !name->empty())
            scanner.flashDumps[n] =
                place(section, "FlashDump", "processor" + std::to_string(n) + ".mot");
    }
    scanner.profile = dir + "/profile.ini";
    writeFile(scanner.profile, profile);
    scanners_.push_back(scanner);
    return index;
}

std::size_t SimulatedRun::addExampleProfile(const std::string& name,
                                            const std::vector<ProfileKey>& keys) {
    const std::string path = exampleProfilePath(name);
    if (!fileExists(path))
        throw std::runtime_error("no example profile " + path);
    return addProfile(readFile(path), keys);
}

void SimulatedRun::writeSettingsFile(const std::string& text) {
    writeFile(workDir() + "/refirm.ini", text);
}

void SimulatedRun::writeSettings(const std::vector<std::pair<std::string, std::string>>& keys) {
    std::string text = "[refirm]\r\n";
    for (const auto& [key, value] : keys)
        text += key + "=" + value + "\r\n";
    writeSettingsFile(text);
}

std::string SimulatedRun::userStorePath() const {
    return configDir() + "/Korvatek/Refirm/refirm.ini";
}

void SimulatedRun::writeUserStore(const std::string& text) {
    writeFile(userStorePath(), text);
}

std::string SimulatedRun::userStore() const {
    return readFile(userStorePath());
}

std::string SimulatedRun::writeWorkFile(const std::string& name, const std::string& content) {
    const std::string path = workDir() + "/" + name;
    writeFile(path, content);
    return path;
}

void SimulatedRun::setEnv(const std::string& name, const std::string& value) {
    env_[name] = value;
}

void SimulatedRun::unsetEnv(const std::string& name) {
    env_.erase(name);
}

void SimulatedRun::addAnswer(const std::string& line) {
    input_ += line + "\n";
}

void SimulatedRun::recordBusTrace() {
    busTrace_ = true;
}

std::map<std::string, std::string> SimulatedRun::environment() const {
    std::map<std::string, std::string> env = env_;
    std::string profiles;
    for (const Scanner& scanner : scanners_)
        profiles += (profiles.empty() ? "" : ":") + scanner.profile;
    if (!profiles.empty())
        env["REFIRM_SIMULATE"] = profiles;
    if (busTrace_)
        env["REFIRM_BUS_TRACE"] = busTracePath();
    return env;
}

const RefirmRun& SimulatedRun::run(const std::vector<std::string>& args) {
    for (const Scanner& scanner : scanners_)
        if (!scanner.trace.empty())
            removeFile(scanner.trace);
    removeFile(busTracePath());
    last_ = runRefirm(args, environment(), workDir(), input_, watchdog_);
    input_.clear();
    return last_;
}

std::string SimulatedRun::logPath() const {
    return tmpDir() + "/Refirm.log";
}

bool SimulatedRun::logExists() const {
    return fileExists(logPath());
}

std::string SimulatedRun::log() const {
    return readFile(logPath());
}

const SimulatedRun::Scanner& SimulatedRun::scanner(std::size_t index) const {
    if (index >= scanners_.size())
        throw std::out_of_range("no simulated scanner " + std::to_string(index));
    return scanners_[index];
}

std::string SimulatedRun::profilePath(std::size_t index) const {
    return scanner(index).profile;
}

std::string SimulatedRun::tracePath(std::size_t index) const {
    return scanner(index).trace;
}

std::vector<std::string> SimulatedRun::traceLines(std::size_t index) const {
    return fileLines(tracePath(index));
}

std::vector<std::string> SimulatedRun::traceKinds(std::size_t index) const {
    std::vector<std::string> kinds;
    for (const std::string& line : traceLines(index))
        kinds.push_back(line.substr(0, line.find(' ')));
    return kinds;
}

std::string SimulatedRun::statePath(std::size_t index) const {
    return scanner(index).state;
}

std::string SimulatedRun::flashDumpPath(std::size_t index, unsigned processor) const {
    const auto& dumps = scanner(index).flashDumps;
    const auto it = dumps.find(processor);
    return it == dumps.end() ? std::string() : it->second;
}

std::string SimulatedRun::flashDumpText(std::size_t index, unsigned processor) const {
    const std::string path = flashDumpPath(index, processor);
    return path.empty() ? std::string() : readFile(path);
}

FlashContent SimulatedRun::flashDump(std::size_t index, unsigned processor) const {
    return parseFlashDump(flashDumpText(index, processor));
}

std::vector<std::string> SimulatedRun::busTraceLines() const {
    return fileLines(busTracePath());
}

} // namespace testing_support
