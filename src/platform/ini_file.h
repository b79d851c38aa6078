#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Private-profile (INI) functions with the semantics of their Windows namesakes:
// sections and keys are matched ignoring letter case, blanks around keys and
// values are trimmed, a missing file, section or key gives the default, and a
// write keeps every other line of the file.
namespace platform {

// At most bufferSize - 1 characters come back, as from a buffer of that size.
std::string GetPrivateProfileStringA(const std::string& section, const std::string& key,
                                     const std::string& defaultValue, std::size_t bufferSize,
                                     const std::string& fileName);

// Decimal value of the key: leading blanks and a sign are accepted and reading
// stops at the first non-digit ("12abc" is 12, "abc" is 0). A missing or empty
// value gives the default.
std::int32_t GetPrivateProfileIntA(const std::string& section, const std::string& key,
                                   std::int32_t defaultValue, const std::string& fileName);

// Creates the file and the section when missing; replaces the key's value in
// place or adds the key at the end of its section. False when the file cannot
// be written.
bool WritePrivateProfileStringA(const std::string& section, const std::string& key,
                                const std::string& value, const std::string& fileName);

// The integer conversion of GetPrivateProfileIntA, on a text already read.
std::int32_t ParseProfileInt(const std::string& text);

} // namespace platform
