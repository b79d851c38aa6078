#include "sim/profile_values.h"

#include <cctype>
#include <stdexcept>

namespace sim {

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::uint64_t parseDigits(const std::string& text, std::size_t from, unsigned radix,
                          std::uint64_t max) {
    if (from >= text.size())
        throw std::invalid_argument("\"" + text + "\" is not a number");
    std::uint64_t value = 0;
    for (std::size_t i = from; i < text.size(); ++i) {
        const int digit = hexDigit(text[i]);
        if (digit < 0 || static_cast<unsigned>(digit) >= radix)
            throw std::invalid_argument("\"" + text + "\" is not a number");
        value = value * radix + static_cast<unsigned>(digit);
        if (value > max)
            throw std::invalid_argument("\"" + text + "\" is too large");
    }
    return value;
}

bool hasHexPrefix(const std::string& text) {
    return text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
}

} // namespace

std::string TrimBlanks(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

std::string LowerCase(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() &&
           LowerCase(text.substr(0, prefix.size())) == LowerCase(prefix);
}

std::uint64_t ParseProfileNumber(const std::string& raw, std::uint64_t max) {
    const std::string text = TrimBlanks(raw);
    if (hasHexPrefix(text))
        return parseDigits(text, 2, 16, max);
    return parseDigits(text, 0, 10, max);
}

std::uint64_t ParseProfileHex(const std::string& raw, std::uint64_t max) {
    const std::string text = TrimBlanks(raw);
    return parseDigits(text, hasHexPrefix(text) ? 2 : 0, 16, max);
}

bool ParseProfileBool(const std::string& raw) {
    const std::string text = LowerCase(TrimBlanks(raw));
    if (text == "1" || text == "true" || text == "yes")
        return true;
    if (text == "0" || text == "false" || text == "no")
        return false;
    throw std::invalid_argument("\"" + raw + "\" is not 1/0, true/false or yes/no");
}

} // namespace sim
