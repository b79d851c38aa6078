#include "platform/native.h"
#include "platform/profile_key.h"
#include "platform/profile_store.h"
#include "platform/system_info.h"

#include "platform/win32/windows_api.h"

#include <vector>

// The profile in the registry, as the framework keeps it:
// HKEY_CURRENT_USER\Software\<key>\<application>\<section>, integers as
// REG_DWORD values and texts as REG_SZ values.
namespace platform {

namespace {

std::string sectionKey(const std::string& section) {
    const std::string key = detail::RegistryKey();
    std::string path = "Software\\";
    if (!key.empty())
        path += key + "\\";
    return path + ApplicationName() + "\\" + section;
}

// An open registry key, closed with the object.
class RegistryKeyHandle {
public:
    RegistryKeyHandle(const std::string& section, bool create) {
        const std::string path = sectionKey(section);
        const LONG result =
            create ? ::RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0,
                                       KEY_READ | KEY_WRITE, nullptr, &key_, nullptr)
                   : ::RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key_);
        if (result != ERROR_SUCCESS)
            key_ = nullptr;
    }
    ~RegistryKeyHandle() {
        if (key_ != nullptr)
            ::RegCloseKey(key_);
    }
    RegistryKeyHandle(const RegistryKeyHandle&) = delete;
    RegistryKeyHandle& operator=(const RegistryKeyHandle&) = delete;

    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

} // namespace

std::string ProfileFileName() {
    return "HKEY_CURRENT_USER\\" + sectionKey("").substr(0, sectionKey("").size() - 1);
}

std::string ProfileDirectory() {
    const std::string key = detail::RegistryKey();
    const std::string home = native::UserSettingsHome();
    return key.empty() ? home : home + "\\" + key;
}

std::int32_t GetProfileIntA(const std::string& section, const std::string& entry,
                            std::int32_t defaultValue) {
    RegistryKeyHandle key(section, false);
    if (key.get() == nullptr)
        return defaultValue;
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (::RegQueryValueExA(key.get(), entry.c_str(), nullptr, &type,
                           reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof(value))
        return defaultValue;
    return static_cast<std::int32_t>(value);
}

std::string GetProfileStringA(const std::string& section, const std::string& entry,
                              const std::string& defaultValue) {
    RegistryKeyHandle key(section, false);
    if (key.get() == nullptr)
        return defaultValue;
    DWORD type = 0;
    DWORD size = 0;
    if (::RegQueryValueExA(key.get(), entry.c_str(), nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return defaultValue;
    std::vector<char> text(size + 1, '\0');
    if (::RegQueryValueExA(key.get(), entry.c_str(), nullptr, &type,
                           reinterpret_cast<BYTE*>(text.data()), &size) != ERROR_SUCCESS)
        return defaultValue;
    return std::string(text.data());
}

bool WriteProfileStringA(const std::string& section, const std::string& entry,
                         const std::string& value) {
    RegistryKeyHandle key(section, true);
    return key.get() != nullptr &&
           ::RegSetValueExA(key.get(), entry.c_str(), 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

bool WriteProfileInt(const std::string& section, const std::string& entry, std::int32_t value) {
    RegistryKeyHandle key(section, true);
    const DWORD data = static_cast<DWORD>(value);
    return key.get() != nullptr &&
           ::RegSetValueExA(key.get(), entry.c_str(), 0, REG_DWORD,
                            reinterpret_cast<const BYTE*>(&data), sizeof(data)) == ERROR_SUCCESS;
}

} // namespace platform
