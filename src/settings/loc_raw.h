#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// The raw content of a localisation file: UTF-16 little-endian text, with or
// without the byte-order mark FF FE. Hands out one line at a time, converted to
// UTF-8, which is the form every text has inside the program.
//
// A line ends at CR LF or at a lone LF; the line-end characters are not part of
// it, and a CR that no LF follows stays in the text. The data ends at the end of
// the buffer or at a U+0000 character, whichever comes first (the file used to be
// read into a zero-terminated buffer); a trailing odd byte is no character and is
// ignored. A surrogate that is not half of a proper pair becomes U+FFFD.
class CLocRaw {
public:
    explicit CLocRaw(std::vector<unsigned char> bytes);

    // The next line; nothing once the data has ended.
    std::optional<std::string> nextLine();

    bool atEnd() const;

private:
    // The code unit at the read position; the caller has made sure there is one.
    char16_t peekUnit() const;
    bool unitAvailable() const { return bytes_.size() - pos_ >= 2; }

    std::vector<unsigned char> bytes_;
    std::size_t pos_ = 0;
    bool ended_ = false;
};

// Appends a code point to a UTF-8 text.
void AppendUtf8(std::string& out, char32_t codePoint);
