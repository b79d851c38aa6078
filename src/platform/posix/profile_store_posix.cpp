#include "platform/files.h"
#include "platform/ini_file.h"
#include "platform/native.h"
#include "platform/profile_key.h"
#include "platform/profile_store.h"
#include "platform/system_info.h"

#include <algorithm>

// The profile as one INI file per key and application, each section an INI
// section.
namespace platform {

namespace {

// Registry values are not limited the way INI buffers are; this is ample.
constexpr std::size_t kProfileStringLimit = 65536;

} // namespace

std::string ProfileDirectory() {
    std::string key = detail::RegistryKey();
    std::replace(key.begin(), key.end(), '\\', '/');
    const std::string home = native::UserSettingsHome();
    return key.empty() ? home : home + "/" + key;
}

std::string ProfileFileName() {
    return ProfileDirectory() + "/" + ApplicationName() + ".ini";
}

std::int32_t GetProfileIntA(const std::string& section, const std::string& entry,
                            std::int32_t defaultValue) {
    return GetPrivateProfileIntA(section, entry, defaultValue, ProfileFileName());
}

std::string GetProfileStringA(const std::string& section, const std::string& entry,
                              const std::string& defaultValue) {
    return GetPrivateProfileStringA(section, entry, defaultValue, kProfileStringLimit,
                                    ProfileFileName());
}

bool WriteProfileStringA(const std::string& section, const std::string& entry,
                         const std::string& value) {
    if (!CreateDirectories(ProfileDirectory()))
        return false;
    return WritePrivateProfileStringA(section, entry, value, ProfileFileName());
}

bool WriteProfileInt(const std::string& section, const std::string& entry, std::int32_t value) {
    return WriteProfileStringA(section, entry, std::to_string(value));
}

} // namespace platform
