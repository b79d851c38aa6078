#pragma once

#include <string>
#include <vector>

namespace testing_support {

// The bytes of a .LOC file holding `text` (UTF-16 little-endian), with the
// byte-order mark unless told otherwise.
inline std::vector<unsigned char> LocBytes(const std::u16string& text, bool byteOrderMark = true) {
    std::vector<unsigned char> bytes;
    if (byteOrderMark)
        bytes = {0xFF, 0xFE};
    for (char16_t unit : text) {
        bytes.push_back(static_cast<unsigned char>(unit & 0xFF));
        bytes.push_back(static_cast<unsigned char>(unit >> 8));
    }
    return bytes;
}

inline std::string LocFileContent(const std::u16string& text) {
    const std::vector<unsigned char> bytes = LocBytes(text);
    return std::string(bytes.begin(), bytes.end());
}

// A UTF-8 literal as std::string (u8"" literals are char8_t in C++20).
inline std::string Utf8(const char8_t* text) {
    return reinterpret_cast<const char*>(text);
}

} // namespace testing_support
