#include "platform/system_info.h"

#include "platform/native.h"

#include <array>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <string_view>

namespace platform {

namespace {

struct LanguageRow {
    std::string_view language; // ISO 639 code
    std::uint16_t primary;     // Windows primary language id
};

struct RegionRow {
    std::string_view locale; // language_TERRITORY
    LANGID id;
};

// Primary languages; a locale whose territory is not listed below gets the
// language's default sub-language.
constexpr std::array kLanguages{
    LanguageRow{"zh", 0x04}, LanguageRow{"cs", 0x05}, LanguageRow{"da", 0x06},
    LanguageRow{"de", 0x07}, LanguageRow{"el", 0x08}, LanguageRow{"en", 0x09},
    LanguageRow{"es", 0x0A}, LanguageRow{"fi", 0x0B}, LanguageRow{"fr", 0x0C},
    LanguageRow{"hu", 0x0E}, LanguageRow{"it", 0x10}, LanguageRow{"ja", 0x11},
    LanguageRow{"ko", 0x12}, LanguageRow{"nl", 0x13}, LanguageRow{"nb", 0x14},
    LanguageRow{"pl", 0x15}, LanguageRow{"pt", 0x16}, LanguageRow{"ru", 0x19},
    LanguageRow{"sv", 0x1D}, LanguageRow{"th", 0x1E}, LanguageRow{"tr", 0x1F},
};

constexpr std::array kRegions{
    RegionRow{"en_US", 1033}, RegionRow{"en_GB", 2057}, RegionRow{"en_AU", 3081},
    RegionRow{"en_CA", 4105}, RegionRow{"en_NZ", 5129}, RegionRow{"en_IE", 6153},
    RegionRow{"ja_JP", 1041}, RegionRow{"de_DE", 1031}, RegionRow{"de_CH", 2055},
    RegionRow{"de_AT", 3079}, RegionRow{"fr_FR", 1036}, RegionRow{"fr_BE", 2060},
    RegionRow{"fr_CA", 3084}, RegionRow{"fr_CH", 4108}, RegionRow{"es_ES", 3082},
    RegionRow{"es_MX", 2058}, RegionRow{"it_IT", 1040}, RegionRow{"nl_NL", 1043},
    RegionRow{"nl_BE", 2067}, RegionRow{"pt_BR", 1046}, RegionRow{"pt_PT", 2070},
    RegionRow{"zh_TW", 1028}, RegionRow{"zh_CN", 2052}, RegionRow{"zh_HK", 3076},
    RegionRow{"ko_KR", 1042}, RegionRow{"ru_RU", 1049}, RegionRow{"sv_SE", 1053},
    RegionRow{"pl_PL", 1045},
};

constexpr LANGID kEnglishUs = 1033;

} // namespace

std::string GetEnvironmentVariableA(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    return value ? std::string(value) : std::string();
}

static std::mutex& moduleMutex() {
    static std::mutex m;
    return m;
}

static std::string& moduleOverride() {
    static std::string path;
    return path;
}

void SetModuleFileNameOverride(const std::string& path) {
    std::lock_guard<std::mutex> lock(moduleMutex());
    moduleOverride() = path;
}

std::string GetModuleFileNameA() {
    {
        std::lock_guard<std::mutex> lock(moduleMutex());
        if (!moduleOverride().empty())
            return moduleOverride();
    }
    return native::ExecutablePath();
}

std::string ApplicationName() {
    std::string path = GetModuleFileNameA();
    std::string name = path.substr(path.find_last_of("/\\") + 1);
    const auto dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0)
        name.erase(dot);
    return name;
}

std::string GetCurrentDirectoryA() {
    return native::CurrentDirectory();
}

char PathListSeparator() {
    return native::PathListSeparator();
}

char PathSeparator() {
    return native::PathSeparator();
}

std::string GetTempPathA() {
    std::string dir = native::TempDirectory();
    if (dir.empty())
        return "./";
    if (dir.back() != '/' && dir.back() != '\\')
        dir += '/';
    return dir;
}

std::string GetWindowsDirectoryA() {
    std::string dir = GetEnvironmentVariableA("REFIRM_WINDIR");
    return dir.empty() ? native::WindowsDirectory() : dir;
}

SYSTEMTIME GetLocalTime() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto sinceEpoch = now.time_since_epoch();
    const auto milliseconds =
        std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch).count() % 1000;
    std::tm local{};
    native::ToLocalTime(seconds, local);
    SYSTEMTIME st;
    st.wYear = static_cast<std::uint16_t>(local.tm_year + 1900);
    st.wMonth = static_cast<std::uint16_t>(local.tm_mon + 1);
    st.wDayOfWeek = static_cast<std::uint16_t>(local.tm_wday);
    st.wDay = static_cast<std::uint16_t>(local.tm_mday);
    st.wHour = static_cast<std::uint16_t>(local.tm_hour);
    st.wMinute = static_cast<std::uint16_t>(local.tm_min);
    st.wSecond = static_cast<std::uint16_t>(local.tm_sec);
    st.wMilliseconds = static_cast<std::uint16_t>(milliseconds);
    return st;
}

std::uint32_t GetCurrentThreadId() {
    return native::ThreadId();
}

LANGID LangIdFromLocale(const std::string& locale) {
    // "ja_JP.UTF-8@modifier" -> "ja_JP"
    const std::string name = locale.substr(0, locale.find_first_of(".@"));
    for (const RegionRow& row : kRegions)
        if (row.locale == name)
            return row.id;
    const std::string language = name.substr(0, name.find('_'));
    for (const LanguageRow& row : kLanguages)
        if (row.language == language)
            return static_cast<LANGID>(0x400 | row.primary);
    return kEnglishUs;
}

LANGID GetUserDefaultLangID() {
    LANGID id = 0;
    if (native::UserLanguage(id))
        return id;
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        std::string value = GetEnvironmentVariableA(variable);
        if (!value.empty())
            return LangIdFromLocale(value);
    }
    return kEnglishUs;
}

} // namespace platform
