// The localisation file: its UTF-16 little-endian lines (with or without the
// byte-order mark, odd byte counts, lone surrogates) and the table built
// from them, loaded from a file as the program loads it. The lines are
// compared with a decoding done here; every lookup must come back with the
// English text or a translation that one of the lines holds.
#include "settings/loc_raw.h"
#include "settings/loc_text.h"

#include "fuzz_support.h"

#include <string>
#include <vector>

namespace {

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The lines of the file decoded here: code units up to the first U+0000 or
// the last whole unit, pairs of surrogates joined, any other surrogate U+FFFD,
// lines split at LF with a CR right before it dropped.
std::vector<std::string> decodeLines(const std::vector<unsigned char>& bytes) {
    std::vector<char16_t> units;
    std::size_t at = bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE ? 2 : 0;
    for (; at + 1 < bytes.size(); at += 2) {
        const char16_t unit = static_cast<char16_t>(bytes[at] | bytes[at + 1] << 8);
        if (unit == 0)
            break;
        units.push_back(unit);
    }
    std::vector<std::string> lines;
    std::string line;
    bool open = false;
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char16_t u = units[i];
        open = true;
        if (u == u'\n') {
            lines.push_back(line);
            line.clear();
            open = false;
        } else if (u == u'\r' && i + 1 < units.size() && units[i + 1] == u'\n') {
            lines.push_back(line);
            line.clear();
            open = false;
            ++i;
        } else if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
                   units[i + 1] <= 0xDFFF) {
            appendUtf8(line, 0x10000 + ((char32_t{u} - 0xD800) << 10) + (units[i + 1] - 0xDC00));
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            appendUtf8(line, 0xFFFD);
        } else {
            appendUtf8(line, u);
        }
    }
    if (open)
        lines.push_back(line);
    return lines;
}

// Well-formed UTF-8 without surrogate code points, as every line must be.
bool wellFormed(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        std::size_t n = c < 0x80         ? 1
                        : (c >> 5) == 6  ? 2
                        : (c >> 4) == 14 ? 3
                        : (c >> 3) == 30 ? 4
                                         : 0;
        if (n == 0 || i + n > text.size())
            return false;
        char32_t value = n == 1 ? c : c & (0x7F >> n);
        for (std::size_t k = 1; k < n; ++k) {
            const unsigned char t = static_cast<unsigned char>(text[i + k]);
            if ((t & 0xC0) != 0x80)
                return false;
            value = value << 6 | (t & 0x3F);
        }
        const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (value < least[n] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
            return false;
        i += n;
    }
    return true;
}

class Window : public CLocWindow {
public:
    explicit Window(std::string text) : text_(std::move(text)) {}
    std::string windowText() const override { return text_; }
    void setWindowText(const std::string& text) override { text_ = text; }
    std::size_t childCount() const override { return children_.size(); }
    CLocWindow& child(std::size_t index) override { return children_.at(index); }
    void add(std::string text) { children_.emplace_back(std::move(text)); }

private:
    std::string text_;
    std::vector<Window> children_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<unsigned char> bytes(data, data + size);

    const std::vector<std::string> expected = decodeLines(bytes);
    CLocRaw raw(bytes);
    std::vector<std::string> lines;
    while (auto line = raw.nextLine()) {
        FUZZ_CHECK(wellFormed(*line), "line " + std::to_string(lines.size() + 1));
        lines.push_back(*line);
        FUZZ_CHECK(lines.size() <= expected.size(), "more lines than the file holds");
    }
    FUZZ_CHECK(raw.atEnd() && !raw.nextLine(), "the end stays the end");
    FUZZ_CHECK(lines == expected, std::to_string(lines.size()) + " lines, expected " +
                                      std::to_string(expected.size()));

    // The table as the program loads it, from a file.
    const std::string path = fuzz_support::ScratchFile("texts.LOC");
    fuzz_support::WriteFile(path, data, size);
    CLocText table(std::vector<std::string>{path});
    std::vector<std::string> kept;
    for (const std::string& line : lines)
        if (line.empty() || (line.front() != '\'' && line.front() != ';'))
            kept.push_back(ReplaceLocEscapes(line));
    FUZZ_CHECK(table.ensureLoaded() == !kept.empty(), "loaded");
    FUZZ_CHECK(table.lines() == kept, "stored lines");
    FUZZ_CHECK(table.languageIds().size() == table.languageNames().size(), "language table");

    // Ask for the English text of every "English=" line and a few that are
    // not there, in every language the file names and two it may not.
    std::vector<std::string> english = {"Unknown error.", "", "="};
    for (const std::string& line : kept)
        if (line.rfind("English=", 0) == 0)
            english.push_back(line.substr(8));
    std::vector<platform::LANGID> languages = {1033, 1041, 0};
    for (int id : table.languageIds())
        languages.push_back(static_cast<platform::LANGID>(id));
    for (const std::string& text : english) {
        for (platform::LANGID language : languages) {
            const std::string translated = table.translate(text, language);
            FUZZ_CHECK(table.translatedLength(text, language) == translated.size(), text);
            bool known = translated == text;
            for (std::size_t i = 0; !known && i < kept.size(); ++i) {
                const std::size_t equals = kept[i].find('=');
                known = equals != std::string::npos && kept[i].substr(equals + 1) == translated;
            }
            FUZZ_CHECK(known, "translation of \"" + text + "\" from no line: " + translated);
        }
    }
    for (platform::LANGID language : languages)
        table.languageName(language);

    Window dialog(english.back());
    for (const std::string& text : english)
        dialog.add(text);
    table.translateDialog(dialog, languages.back());
    FUZZ_CHECK(dialog.childCount() == english.size(), "children");
    return 0;
}
