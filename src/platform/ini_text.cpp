#include "platform/ini_text.h"

#include "platform/ini_file.h"

#include "platform/file_names.h"
#include "platform/files.h"

#include <optional>
#include <vector>

namespace platform {

namespace {

const char* const kBlanks = " \t";

std::string trim(const std::string& text) {
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

// One line of an INI file without its line end, and the line end it had.
struct Line {
    std::string text;
    std::string end;
};

std::vector<Line> splitLines(const std::string& content) {
    std::vector<Line> lines;
    std::size_t pos = 0;
    while (pos < content.size()) {
        std::size_t nl = content.find('\n', pos);
        Line line;
        if (nl == std::string::npos) {
            line.text = content.substr(pos);
            pos = content.size();
        } else {
            line.text = content.substr(pos, nl - pos);
            line.end = "\n";
            pos = nl + 1;
        }
        if (!line.text.empty() && line.text.back() == '\r') {
            line.text.pop_back();
            line.end = line.end.empty() ? "\r" : "\r\n";
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

// The section name of a "[name]" line, if the line is one.
std::optional<std::string> sectionOf(const std::string& text) {
    std::string t = trim(text);
    if (t.empty() || t.front() != '[')
        return std::nullopt;
    const auto close = t.find(']');
    return trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
}

struct Entry {
    std::string key;
    std::string value;
};

// "key=value" lines; comment lines and lines without "=" carry no value.
std::optional<Entry> entryOf(const std::string& text) {
    std::string t = trim(text);
    if (t.empty() || t.front() == ';')
        return std::nullopt;
    const auto eq = t.find('=');
    if (eq == std::string::npos)
        return std::nullopt;
    Entry e{trim(t.substr(0, eq)), trim(t.substr(eq + 1))};
    if (e.value.size() >= 2 && (e.value.front() == '"' || e.value.front() == '\'') &&
        e.value.back() == e.value.front())
        e.value = e.value.substr(1, e.value.size() - 2);
    return e;
}

// Lets another line follow one: a line without a line feed gets the file's
// line end, and a lone CR (only the last line can end so) becomes CR LF, which
// keeps its bytes. A line after a lone CR would join it on the next read.
void endLine(Line& line, const std::string& lineEnd) {
    if (line.end.empty())
        line.end = lineEnd;
    else if (line.end == "\r")
        line.end = "\r\n";
}

std::optional<std::string> readFileText(const std::string& fileName) {
    auto bytes = ReadWholeFile(fileName);
    if (!bytes)
        return std::nullopt;
    return std::string(bytes->begin(), bytes->end());
}

std::optional<std::string> lookUp(const std::string& section, const std::string& key,
                                  const std::string& fileName) {
    auto content = readFileText(fileName);
    if (!content)
        return std::nullopt;
    bool inSection = false;
    for (const Line& line : splitLines(*content)) {
        if (auto name = sectionOf(line.text)) {
            inSection = EqualsNoCase(*name, section);
            continue;
        }
        if (!inSection)
            continue;
        if (auto e = entryOf(line.text); e && EqualsNoCase(e->key, key))
            return e->value;
    }
    return std::nullopt;
}

} // namespace

std::string ini_text::GetString(const std::string& section, const std::string& key,
                                const std::string& defaultValue, std::size_t bufferSize,
                                const std::string& fileName) {
    if (bufferSize == 0)
        return {};
    std::string value;
    if (auto found = lookUp(section, key, fileName)) {
        value = *found;
    } else {
        // Trailing blanks of the default are dropped, as Windows does.
        value = defaultValue;
        const auto last = value.find_last_not_of(' ');
        value.erase(last == std::string::npos ? 0 : last + 1);
    }
    if (value.size() > bufferSize - 1)
        value.resize(bufferSize - 1);
    return value;
}

std::int32_t ini_text::GetInt(const std::string& section, const std::string& key,
                              std::int32_t defaultValue, const std::string& fileName) {
    auto found = lookUp(section, key, fileName);
    if (!found || found->empty())
        return defaultValue;
    return ParseProfileInt(*found);
}

bool ini_text::WriteString(const std::string& section, const std::string& key,
                           const std::string& value, const std::string& fileName) {
    std::vector<Line> lines = splitLines(readFileText(fileName).value_or(""));
    std::string lineEnd = "\r\n";
    for (const Line& line : lines)
        if (line.end.find('\n') != std::string::npos) {
            lineEnd = line.end;
            break;
        }

    bool inSection = false;
    std::optional<std::size_t> sectionLast; // last non-blank line of the section
    bool replaced = false;
    for (std::size_t i = 0; i < lines.size() && !replaced; ++i) {
        if (auto name = sectionOf(lines[i].text)) {
            if (inSection)
                break; // the key goes into the first matching section only
            inSection = EqualsNoCase(*name, section);
            if (inSection)
                sectionLast = i;
            continue;
        }
        if (!inSection)
            continue;
        if (!trim(lines[i].text).empty())
            sectionLast = i;
        if (auto e = entryOf(lines[i].text); e && EqualsNoCase(e->key, key)) {
            lines[i].text = e->key + "=" + value;
            replaced = true;
        }
    }
    if (!replaced) {
        Line entry{key + "=" + value, lineEnd};
        if (sectionLast) {
            endLine(lines[*sectionLast], lineEnd);
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(*sectionLast) + 1, entry);
        } else {
            if (!lines.empty())
                endLine(lines.back(), lineEnd);
            lines.push_back(Line{"[" + section + "]", lineEnd});
            lines.push_back(entry);
        }
    }

    std::string out;
    for (const Line& line : lines)
        out += line.text + line.end;
    return ReplaceFileContents(fileName, out);
}

} // namespace platform
