// Arbitrary bytes as a localisation file. The raw reader must hand out valid
// UTF-8 lines that, encoded back to UTF-16, give the input again (CR LF read as
// LF, a lone surrogate as U+FFFD, up to a U+0000 or the last whole code unit).
// The table built from the same bytes must answer every lookup without
// crashing, with the properties a caller relies on.
#include "fuzz_support.h"
#include "settings/loc_raw.h"
#include "settings/loc_text.h"
#include "settings/loc_window.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace {

// Decodes one UTF-8 text strictly; false for anything a converter must never
// produce (bad sequences, overlong forms, surrogates, values past U+10FFFF).
bool decodeUtf8(const std::string& text, std::vector<char32_t>& out) {
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80   ? 1
                                   : lead < 0xC2 ? 0
                                   : lead < 0xE0 ? 2
                                   : lead < 0xF0 ? 3
                                   : lead < 0xF5 ? 4
                                                 : 0;
        if (length == 0 || i + length > text.size())
            return false;
        char32_t value = length == 1 ? lead : lead & (0xFF >> (length + 1));
        for (std::size_t k = 1; k < length; ++k) {
            const unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            value = (value << 6) | (next & 0x3F);
        }
        static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (value < kSmallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
            return false;
        out.push_back(value);
        i += length;
    }
    return true;
}

void appendUtf16(std::vector<char16_t>& out, char32_t value) {
    if (value < 0x10000) {
        out.push_back(static_cast<char16_t>(value));
    } else {
        out.push_back(static_cast<char16_t>(0xD800 + ((value - 0x10000) >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + ((value - 0x10000) & 0x3FF)));
    }
}

// The code units the lines must encode back to.
std::vector<char16_t> expectedUnits(const std::uint8_t* data, std::size_t size) {
    std::vector<char16_t> units;
    std::size_t at = size >= 2 && data[0] == 0xFF && data[1] == 0xFE ? 2 : 0;
    for (; at + 1 < size; at += 2) {
        const char16_t unit = static_cast<char16_t>(data[at] | (data[at + 1] << 8));
        if (unit == 0)
            break;
        units.push_back(unit);
    }
    std::vector<char16_t> expected;
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char16_t unit = units[i];
        const bool high = unit >= 0xD800 && unit <= 0xDBFF;
        const bool nextLow =
            i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF;
        if (high && nextLow) {
            expected.push_back(unit);
            expected.push_back(units[++i]);
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            expected.push_back(0xFFFD);
        } else if (unit == 0x0D && i + 1 < units.size() && units[i + 1] == 0x0A) {
            // CR LF ends a line as LF does.
        } else {
            expected.push_back(unit);
        }
    }
    return expected;
}

void checkRawLines(const std::uint8_t* data, std::size_t size) {
    CLocRaw raw(std::vector<unsigned char>(data, data + size));
    std::vector<char16_t> encoded;
    std::size_t lines = 0;
    while (auto line = raw.nextLine()) {
        FUZZ_CHECK(++lines <= size / 2);
        std::vector<char32_t> codePoints;
        FUZZ_CHECK(decodeUtf8(*line, codePoints));
        for (char32_t c : codePoints) {
            FUZZ_CHECK(c != 0 && c != 0x0A);
            appendUtf16(encoded, c);
        }
        encoded.push_back(0x0A);
    }
    FUZZ_CHECK(raw.atEnd() && !raw.nextLine());
    std::vector<char16_t> expected = expectedUnits(data, size);
    if (encoded.size() == expected.size() + 1)
        expected.push_back(0x0A); // the last line had no line end
    FUZZ_CHECK(encoded == expected);
}

// A dialog whose caption and controls carry texts taken from the file.
class Window : public CLocWindow {
public:
    explicit Window(std::string text) : text_(std::move(text)) {}
    std::string windowText() const override { return text_; }
    void setWindowText(const std::string& text) override { text_ = text; }
    std::size_t childCount() const override { return children_.size(); }
    CLocWindow& child(std::size_t index) override { return *children_.at(index); }
    void add(std::string text) { children_.push_back(std::make_unique<Window>(std::move(text))); }

private:
    std::string text_;
    std::vector<std::unique_ptr<Window>> children_;
};

void checkTable(const std::uint8_t* data, std::size_t size) {
    CLocText table{std::vector<std::string>{}};
    table.loadBytes(std::vector<unsigned char>(data, data + size));
    const std::vector<std::string>& lines = table.lines();
    FUZZ_CHECK(table.isLoaded() == !lines.empty());
    std::vector<char32_t> ignored;
    for (const std::string& line : lines)
        FUZZ_CHECK(decodeUtf8(line, ignored) &&
                   (line.empty() || (line[0] != ';' && line[0] != '\'')));

    const std::vector<int> ids = table.languageIds();
    const std::vector<std::string> names = table.languageNames();
    FUZZ_CHECK(ids.size() == names.size());
    std::vector<platform::LANGID> asked = {1033, 1041, 0, 0xFFFF};
    for (std::size_t i = 0; i < ids.size(); ++i) {
        FUZZ_CHECK(ids[i] != 0);
        asked.push_back(static_cast<platform::LANGID>(ids[i]));
    }
    for (std::size_t i = 0; i < ids.size(); ++i) {
        if (ids[i] < 0 || ids[i] > 0xFFFF)
            continue;
        std::size_t first = 0;
        while (ids[first] != ids[i])
            ++first;
        const auto name = table.languageName(static_cast<platform::LANGID>(ids[i]));
        FUZZ_CHECK(name && *name == names[first]);
    }

    // Every English text of the file, and one that cannot be in it (lines are
    // valid UTF-8, this is not).
    std::vector<std::string> english = {"\xFF not in any file"};
    for (const std::string& line : lines)
        if (line.rfind("English=", 0) == 0 && english.size() < 16)
            english.push_back(line.substr(8));
    for (const platform::LANGID id : asked) {
        FUZZ_CHECK(table.translate(english[0], id) == english[0]);
        Window dialog(english.back());
        for (const std::string& text : english) {
            const std::string translation = table.translate(text, id);
            FUZZ_CHECK(table.translatedLength(text, id) == translation.size());
            FUZZ_CHECK(text.empty() || !translation.empty());
            dialog.add(text);
        }
        table.translateDialog(dialog, id);
        FUZZ_CHECK(dialog.windowText() == table.translate(english.back(), id));
        for (std::size_t i = 0; i < dialog.childCount(); ++i)
            FUZZ_CHECK(english[i].empty()
                           ? dialog.child(i).windowText().empty()
                           : dialog.child(i).windowText() == table.translate(english[i], id));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    checkRawLines(data, size);
    checkTable(data, size);
    return 0;
}
