#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The settings file: the application name followed by ".ini", looked for in the
// executable's directory and in the current directory. Its section is always the
// application name. The file is never cached; every read opens it again.

// Readers with fallback: a key in the current-directory file wins, else the
// executable-directory value, else the default.
std::string ReadSettingString(const std::string& key, const std::string& defaultText);
std::int32_t ReadSettingInt(const std::string& key, std::int32_t defaultValue);
// "0x1F", "0X1f" and "1F" all read as 31; a missing key gives the default.
std::uint32_t ReadSettingHex(const std::string& key, std::uint32_t defaultValue);
// "TRUE"/"FALSE" in any case or a decimal number; a missing key reads as 0.
int ReadSettingBool(const std::string& key);

// Readers of one named file, or without a path of the settings file, where the
// executable-directory file comes first and the current directory is asked only
// when the first gives nothing.
std::string ReadNamedString(const std::string& key, const std::string& defaultText = "",
                            const std::optional<std::string>& fileName = std::nullopt);
std::int32_t ReadNamedInt(const std::string& key, std::int32_t defaultValue,
                          const std::optional<std::string>& fileName = std::nullopt);
int ReadNamedBool(const std::string& key, bool defaultValue,
                  const std::optional<std::string>& fileName = std::nullopt);

// Writes "True" or "False" under the application's section; without a path into
// the executable-directory settings file. False when the file cannot be written.
bool WriteNamedBool(const std::string& key, bool value,
                    const std::optional<std::string>& fileName = std::nullopt);

// The two settings file names, in the order they are consulted.
std::string ExecutableSettingsFile();
std::string CurrentDirSettingsFile();
