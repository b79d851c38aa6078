#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>

// What the platform layer needs of the operating system itself, in one place:
// posix/native_posix.cpp on Linux, win32/native_win32.cpp on Windows. Everything
// else in the layer is written in standard C++ on top of this. Files are
// C runtime descriptors; -1 stands for none.
namespace platform::native {

// A regular file, opened without waiting (a pipe or device is refused, and a
// directory); `lastError` gets the Windows error code of a failure (2 file not
// found, 3 path not found, 5 access denied, 31 anything else).
int OpenRegularFileForReading(const std::string& name, std::uint32_t& lastError);
// Created when missing, written at its end. With `excludeWriters` no other
// process may write it while it is open (-1 when one does).
int OpenForAppending(const std::string& name, bool excludeWriters);
// A lock file held exclusively until closed; -1 when another holder has it.
int OpenLockFile(const std::string& name);
// Bytes moved, 0 at the end of a file, below 0 on failure (retried on signals).
long Read(int file, void* buffer, std::size_t size);
// Size in bytes of an open file; -1 when it cannot be told.
long long FileSize(int file);
long Write(int file, const void* data, std::size_t size);
void Close(int file);
bool RemoveFile(const std::string& name);
// Renames `from` to `to`, replacing a file of that name in one step.
bool RenameOver(const std::string& from, const std::string& to);

// Whether Windows-style file names must be mapped onto the file system
// (backslashes, letter case); Windows takes them as they are.
bool NamesNeedResolving();

// What separates the paths of a list in an environment variable.
char PathListSeparator();
char PathSeparator();

std::string ExecutablePath();
std::string CurrentDirectory();
// Where temporary files go: $TMPDIR or /tmp; on Windows the system's choice
// (TMP, TEMP, ...).
std::string TempDirectory();
// The directory under which per-user settings live.
std::string UserSettingsHome();
// The Windows directory: the system's on Windows, /usr/share elsewhere.
std::string WindowsDirectory();
// The user's language as the system reports it; false where the system has no
// such setting (then the locale variables decide).
bool UserLanguage(std::uint16_t& languageId);
bool ToLocalTime(std::time_t time, std::tm& local);
std::uint32_t ThreadId();

// The system's device-interface notification for a real window (`filter` is a
// DEV_BROADCAST_DEVICEINTERFACE_A record); null where there is none: no such
// window, or no such system (Linux).
void* RegisterSystemDeviceNotification(void* window, void* filter);
void UnregisterSystemDeviceNotification(void* registration);

bool IsTerminal(std::FILE* file);

// Memory straight from the system in whole pages (VirtualAlloc), zero-filled
// (and, where the system can, made ready at once rather than page by page as
// it is first touched), and given back to the system as soon as it is
// released, which the C runtime's heap does not do for what is freed inside
// it. Null when there is none.
void* AllocatePages(std::size_t size);
void ReleasePages(void* pages, std::size_t size);
// False when the file is no terminal or its size is unknown.
bool TerminalSize(std::FILE* file, int& columns, int& rows);

} // namespace platform::native
