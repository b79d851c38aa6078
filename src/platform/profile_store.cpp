#include "platform/profile_store.h"

#include "platform/files.h"
#include "platform/ini_file.h"
#include "platform/native.h"
#include "platform/system_info.h"

#include <algorithm>
#include <mutex>

namespace platform {

namespace {

// Registry values are not limited the way INI buffers are; this is ample.
constexpr std::size_t kProfileStringLimit = 65536;

std::mutex& keyMutex() {
    static std::mutex m;
    return m;
}

std::string& registryKey() {
    static std::string key;
    return key;
}

std::string configHome() {
    return native::UserSettingsHome();
}

std::string profileDirectory() {
    std::string key;
    {
        std::lock_guard<std::mutex> lock(keyMutex());
        key = registryKey();
    }
    std::replace(key.begin(), key.end(), '\\', '/');
    return key.empty() ? configHome() : configHome() + "/" + key;
}

} // namespace

void SetRegistryKey(const std::string& key) {
    std::lock_guard<std::mutex> lock(keyMutex());
    registryKey() = key;
}

std::string ProfileFileName() {
    return profileDirectory() + "/" + ApplicationName() + ".ini";
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
    if (!CreateDirectories(profileDirectory()))
        return false;
    return WritePrivateProfileStringA(section, entry, value, ProfileFileName());
}

bool WriteProfileInt(const std::string& section, const std::string& entry, std::int32_t value) {
    return WriteProfileStringA(section, entry, std::to_string(value));
}

} // namespace platform
