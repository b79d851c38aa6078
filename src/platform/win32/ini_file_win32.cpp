#include "platform/ini_file.h"

#include "platform/win32/windows_api.h"

#include <algorithm>
#include <optional>
#include <vector>

// The system's private-profile functions.
namespace platform {

namespace {

// What no INI value holds: tells a missing key from an empty one.
constexpr char kMissing[] = "\x01\x02missing\x03";

// The value as the system reads it, at most `limit` characters; nothing for a
// missing file, section or key.
std::optional<std::string> lookUp(const std::string& section, const std::string& key,
                                  std::size_t limit, const std::string& fileName) {
    // The call fills its buffer to size - 1 when the value is longer: grow it
    // until the value fits or the limit is reached.
    std::size_t size = std::min<std::size_t>(256, limit + 1);
    for (;;) {
        std::vector<char> buffer(size, '\0');
        const DWORD n =
            ::GetPrivateProfileStringA(section.c_str(), key.c_str(), kMissing, buffer.data(),
                                       static_cast<DWORD>(size), fileName.c_str());
        if (n + 1 < size || size > limit) {
            std::string value(buffer.data(), n);
            if (value == kMissing)
                return std::nullopt;
            return value.substr(0, limit);
        }
        size = std::min(size * 4, limit + 1);
    }
}

} // namespace

std::string GetPrivateProfileStringA(const std::string& section, const std::string& key,
                                     const std::string& defaultValue, std::size_t bufferSize,
                                     const std::string& fileName) {
    if (bufferSize == 0)
        return {};
    if (auto found = lookUp(section, key, bufferSize - 1, fileName))
        return *found;
    // Trailing blanks of the default are dropped, as the system does.
    std::string value = defaultValue;
    const auto last = value.find_last_not_of(' ');
    value.erase(last == std::string::npos ? 0 : last + 1);
    return value.substr(0, bufferSize - 1);
}

std::int32_t GetPrivateProfileIntA(const std::string& section, const std::string& key,
                                   std::int32_t defaultValue, const std::string& fileName) {
    const auto found = lookUp(section, key, 4096, fileName);
    if (!found || found->empty())
        return defaultValue;
    return ParseProfileInt(*found);
}

bool WritePrivateProfileStringA(const std::string& section, const std::string& key,
                                const std::string& value, const std::string& fileName) {
    return ::WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(),
                                        fileName.c_str()) != FALSE;
}

} // namespace platform
