#pragma once

#include <cstdint>
#include <string>

// The process's surroundings, shaped as the Windows calls that report them.
namespace platform {

using LANGID = std::uint16_t;

struct SYSTEMTIME {
    std::uint16_t wYear = 0;
    std::uint16_t wMonth = 0;
    std::uint16_t wDayOfWeek = 0;
    std::uint16_t wDay = 0;
    std::uint16_t wHour = 0;
    std::uint16_t wMinute = 0;
    std::uint16_t wSecond = 0;
    std::uint16_t wMilliseconds = 0;
};

// Full path of the running executable.
std::string GetModuleFileNameA();

// Makes GetModuleFileNameA report `path` instead (empty: the real one again), so
// that tests can place the executable's settings and localisation files in a
// directory of their own.
void SetModuleFileNameOverride(const std::string& path);

// The executable's file name without directory and extension.
std::string ApplicationName();

// The current directory, without a trailing separator.
std::string GetCurrentDirectoryA();

// $TMPDIR, else /tmp (on Windows the system's temporary directory), always
// ending in a separator so that a file name can be
// appended directly.
std::string GetTempPathA();
// What separates the paths of a list in an environment variable (':', or ';'
// on Windows, whose paths hold drive letters).
char PathListSeparator();
// What separates the directories of a path ('/', or '\\' on Windows).
char PathSeparator();

// $REFIRM_WINDIR when set (rehearsals and tests), else the Windows directory
// (on Linux /usr/share stands in for it).
std::string GetWindowsDirectoryA();

SYSTEMTIME GetLocalTime();

// The kernel's id of the calling thread; distinct between live threads.
std::uint32_t GetCurrentThreadId();

// The user's language: on Windows the system's; on Linux from LC_ALL,
// LC_MESSAGES or LANG (the first one set), 1033 when none is set or the
// locale is not known.
LANGID GetUserDefaultLangID();

// Language id of a POSIX locale name such as "ja_JP.UTF-8"; 1033 when unknown.
LANGID LangIdFromLocale(const std::string& locale);

// Value of an environment variable; empty when unset.
std::string GetEnvironmentVariableA(const std::string& name);

} // namespace platform
