#pragma once

#include <cstdint>
#include <string>

// The value syntax of scanner profiles. Every parser throws
// std::invalid_argument with a short description of what is wrong; the
// profile reader adds the file, section and key.
namespace sim {

// Decimal or 0x-hexadecimal, no sign, nothing after the digits.
std::uint64_t ParseProfileNumber(const std::string& text, std::uint64_t max = 0xFFFFFFFFu);

// Hexadecimal digits, with or without a 0x prefix.
std::uint64_t ParseProfileHex(const std::string& text, std::uint64_t max = 0xFFFFFFFFu);

// 1/0, true/false, yes/no (any letter case).
bool ParseProfileBool(const std::string& text);

std::string TrimBlanks(const std::string& text);
std::string LowerCase(std::string text);
bool StartsWithNoCase(const std::string& text, const std::string& prefix);

} // namespace sim
