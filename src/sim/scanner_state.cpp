// State file format (text, "\n" line ends; "\r\n" is read too):
//
//   REFIRM VIRTUAL SCANNER STATE 1
//   revision <the revision, everything after the one blank>
//   version <processor> <its version, everything after the one blank>
//   ...
//   flash <processor>
//   <S-records of that flash: S0, S3 records for every non-0xFF byte, S7>
//   ...
//
// The first line identifies the file; lines starting with '#' and blank lines
// are ignored. "flash <n>" is followed by its S-records up to and including
// the S7 record. Missing entries leave the profile's values in place; a flash
// that has a "flash" entry holds exactly the content listed (0xFF elsewhere).
#include "sim/scanner_state.h"

#include "sim/srecord_io.h"

#include <stdexcept>

namespace sim {

namespace {

const char* const kMagic = "REFIRM VIRTUAL SCANNER STATE 1";

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::size_t from = 0;
    while (from < text.size()) {
        auto end = text.find('\n', from);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(from, end - from);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        result.push_back(std::move(line));
        from = end + 1;
    }
    return result;
}

[[noreturn]] void bad(std::size_t index, const std::string& what) {
    throw std::invalid_argument("line " + std::to_string(index + 1) + ": " + what);
}

unsigned processorNumber(const std::string& text, std::size_t index) {
    if (text.empty() || text.size() > 2 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        bad(index, "\"" + text + "\" is not a processor number");
    return static_cast<unsigned>(std::stoul(text));
}

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

} // namespace

std::string FormatScannerState(const ScannerState& state) {
    std::string text = std::string(kMagic) + "\n";
    text += "revision " + state.revision + "\n";
    for (const auto& [processor, version] : state.versions)
        text += "version " + std::to_string(processor) + " " + version + "\n";
    for (const auto& [processor, runs] : state.flashes) {
        text += "flash " + std::to_string(processor) + "\n";
        text += WriteSRecords("FLASH " + std::to_string(processor), runs);
    }
    return text;
}

ScannerState ParseScannerState(const std::string& text) {
    const std::vector<std::string> all = lines(text);
    ScannerState state;
    bool identified = false;
    for (std::size_t i = 0; i < all.size(); ++i) {
        const std::string& line = all[i];
        if (line.empty() || line[0] == '#')
            continue;
        if (!identified) {
            if (line != kMagic)
                bad(i, "not a virtual scanner state file");
            identified = true;
        } else if (startsWith(line, "revision ")) {
            state.revision = line.substr(9);
        } else if (startsWith(line, "version ")) {
            const auto blank = line.find(' ', 8);
            if (blank == std::string::npos)
                bad(i, "\"version <processor> <version>\" expected");
            state.versions[processorNumber(line.substr(8, blank - 8), i)] = line.substr(blank + 1);
        } else if (startsWith(line, "flash ")) {
            const unsigned processor = processorNumber(line.substr(6), i);
            const std::size_t first = i + 1;
            std::string records;
            for (++i; i < all.size(); ++i) {
                records += all[i] + "\n";
                if (startsWith(all[i], "S7"))
                    break;
            }
            if (i == all.size())
                bad(first - 1, "the flash content has no S7 end record");
            try {
                state.flashes[processor] = ReadSRecords(records);
            } catch (const std::invalid_argument& e) {
                bad(first - 1, std::string("flash content: ") + e.what());
            }
        } else {
            bad(i, "\"" + line + "\" is not a state entry");
        }
    }
    if (!identified)
        bad(0, "empty state file");
    return state;
}

} // namespace sim
