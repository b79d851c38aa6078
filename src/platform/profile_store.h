#pragma once

#include <cstdint>
#include <string>

// The per-user profile that the Windows framework keeps in the registry under
// HKEY_CURRENT_USER\Software\<key>\<application>\<section>. Here each
// (key, application) pair is one INI file:
//   $XDG_CONFIG_HOME/<key>/<application>.ini  (default ~/.config),
// the key's backslashes becoming directories, each section an INI section.
namespace platform {

// Sets the key for every later profile call of the process.
void SetRegistryKey(const std::string& key);

// Path of the file that holds the profile of the current key and application.
std::string ProfileFileName();

std::int32_t GetProfileIntA(const std::string& section, const std::string& entry,
                            std::int32_t defaultValue);
std::string GetProfileStringA(const std::string& section, const std::string& entry,
                              const std::string& defaultValue);
bool WriteProfileInt(const std::string& section, const std::string& entry, std::int32_t value);
bool WriteProfileStringA(const std::string& section, const std::string& entry,
                         const std::string& value);

} // namespace platform
