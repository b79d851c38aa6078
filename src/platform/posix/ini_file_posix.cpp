#include "platform/ini_file.h"
#include "platform/ini_text.h"

// On Linux the private-profile functions are the program's own INI reader and
// writer.
namespace platform {

std::string GetPrivateProfileStringA(const std::string& section, const std::string& key,
                                     const std::string& defaultValue, std::size_t bufferSize,
                                     const std::string& fileName) {
    return ini_text::GetString(section, key, defaultValue, bufferSize, fileName);
}

std::int32_t GetPrivateProfileIntA(const std::string& section, const std::string& key,
                                   std::int32_t defaultValue, const std::string& fileName) {
    return ini_text::GetInt(section, key, defaultValue, fileName);
}

bool WritePrivateProfileStringA(const std::string& section, const std::string& key,
                                const std::string& value, const std::string& fileName) {
    return ini_text::WriteString(section, key, value, fileName);
}

} // namespace platform
