#include "settings/settings_file.h"

#include "platform/ini_file.h"
#include "platform/system_info.h"

#include <cctype>
#include <limits>

namespace {

constexpr std::size_t kFallbackBuffer = 256; // 255 characters
constexpr std::size_t kNamedBuffer = 128;    // 127 characters
constexpr const char* kHexMissing = "?????";

std::string settingsFileName() {
    return platform::ApplicationName() + ".ini";
}

std::string section() {
    return platform::ApplicationName();
}

std::string upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// Base-16 conversion as the C library's 64-bit one does it: leading blanks, an
// optional sign, digits up to the first non-digit, saturating on overflow.
std::uint64_t parseHex64(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    std::uint64_t value = 0;
    bool overflow = false;
    for (; i < text.size() && std::isxdigit(static_cast<unsigned char>(text[i])); ++i) {
        const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(text[i])));
        const unsigned digit =
            (c >= 'a') ? static_cast<unsigned>(c - 'a' + 10) : static_cast<unsigned>(c - '0');
        if (value > (std::numeric_limits<std::uint64_t>::max() >> 4))
            overflow = true;
        value = (value << 4) | digit;
    }
    if (overflow)
        return std::numeric_limits<std::uint64_t>::max();
    return negative ? 0 - value : value;
}

} // namespace

std::string ExecutableSettingsFile() {
    std::string module = platform::GetModuleFileNameA();
    return module.substr(0, module.find_last_of("/\\")) + "\\" + settingsFileName();
}

std::string CurrentDirSettingsFile() {
    return platform::GetCurrentDirectoryA() + "\\" + settingsFileName();
}

std::string ReadSettingString(const std::string& key, const std::string& defaultText) {
    const std::string fromExe = platform::GetPrivateProfileStringA(
        section(), key, defaultText, kFallbackBuffer, ExecutableSettingsFile());
    return platform::GetPrivateProfileStringA(section(), key, fromExe, kFallbackBuffer,
                                              CurrentDirSettingsFile());
}

std::int32_t ReadSettingInt(const std::string& key, std::int32_t defaultValue) {
    const std::int32_t fromExe =
        platform::GetPrivateProfileIntA(section(), key, defaultValue, ExecutableSettingsFile());
    return platform::GetPrivateProfileIntA(section(), key, fromExe, CurrentDirSettingsFile());
}

std::uint32_t ReadSettingHex(const std::string& key, std::uint32_t defaultValue) {
    std::string text = ReadSettingString(key, kHexMissing);
    if (text == kHexMissing)
        return defaultValue;
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text.erase(0, 2);
    return static_cast<std::uint32_t>(parseHex64(text));
}

int ReadSettingBool(const std::string& key) {
    const std::string text = upper(ReadSettingString(key, "FALSE"));
    if (text == "TRUE")
        return 1;
    if (text == "FALSE")
        return 0;
    return platform::ParseProfileInt(text) != 0 ? 1 : 0;
}

std::string ReadNamedString(const std::string& key, const std::string& defaultText,
                            const std::optional<std::string>& fileName) {
    if (fileName)
        return platform::GetPrivateProfileStringA(section(), key, defaultText, kNamedBuffer,
                                                  *fileName);
    std::string text = platform::GetPrivateProfileStringA(section(), key, "", kNamedBuffer,
                                                          ExecutableSettingsFile());
    if (text.empty())
        text = platform::GetPrivateProfileStringA(section(), key, defaultText, kNamedBuffer,
                                                  CurrentDirSettingsFile());
    return text;
}

std::int32_t ReadNamedInt(const std::string& key, std::int32_t defaultValue,
                          const std::optional<std::string>& fileName) {
    if (fileName)
        return platform::GetPrivateProfileIntA(section(), key, defaultValue, *fileName);
    return ReadSettingInt(key, defaultValue);
}

int ReadNamedBool(const std::string& key, bool defaultValue,
                  const std::optional<std::string>& fileName) {
    const std::string text = upper(ReadNamedString(key, defaultValue ? "True" : "False", fileName));
    if (text == "TRUE")
        return 1;
    if (text == "FALSE")
        return 0;
    return ReadNamedInt(key, defaultValue ? 1 : 0, fileName) != 0 ? 1 : 0;
}

bool WriteNamedBool(const std::string& key, bool value,
                    const std::optional<std::string>& fileName) {
    return platform::WritePrivateProfileStringA(section(), key, value ? "True" : "False",
                                                fileName.value_or(ExecutableSettingsFile()));
}
