#pragma once

#include <cstdint>
#include <string>

// The per-user profile that the Windows framework keeps in the registry under
// HKEY_CURRENT_USER\Software\<key>\<application>\<section>. On Windows it
// is that registry key (integers as DWORD values, texts as string values). On
// Linux each (key, application) pair is one INI file:
//   $XDG_CONFIG_HOME/<key>/<application>.ini  (default ~/.config),
// the key's backslashes becoming directories, each section an INI section.
namespace platform {

// Sets the key for every later profile call of the process.
void SetRegistryKey(const std::string& key);

// Where the profile of the current key and application is kept: the INI
// file's path, or on Windows the registry key's full name.
std::string ProfileFileName();

// The directory for per-user files that go with the profile: the INI file's
// directory, or on Windows <application data>\<key>.
std::string ProfileDirectory();

std::int32_t GetProfileIntA(const std::string& section, const std::string& entry,
                            std::int32_t defaultValue);
std::string GetProfileStringA(const std::string& section, const std::string& entry,
                              const std::string& defaultValue);
bool WriteProfileInt(const std::string& section, const std::string& entry, std::int32_t value);
bool WriteProfileStringA(const std::string& section, const std::string& entry,
                         const std::string& value);

} // namespace platform
