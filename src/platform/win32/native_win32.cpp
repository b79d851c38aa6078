#include "platform/native.h"

#include "platform/device_notification.h"

#include "platform/win32/windows_api.h"

#include <fcntl.h>
#include <io.h>
#include <shlobj.h>

#include <dbt.h>

#include <cstddef>

// The notification filter goes to the system as it is.
static_assert(sizeof(platform::DEV_BROADCAST_DEVICEINTERFACE_A) ==
              sizeof(::DEV_BROADCAST_DEVICEINTERFACE_A));
static_assert(offsetof(platform::DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_classguid) ==
              offsetof(::DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_classguid));
static_assert(offsetof(platform::DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name) ==
              offsetof(::DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name));

namespace platform::native {

namespace {

constexpr std::uint32_t kErrorAccessDenied = 5;

// A handle of the system as a C runtime descriptor (which then owns it).
int descriptorOf(HANDLE handle, int flags) {
    if (handle == INVALID_HANDLE_VALUE)
        return -1;
    const int file = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), flags);
    if (file < 0)
        ::CloseHandle(handle);
    return file;
}

} // namespace

int OpenRegularFileForReading(const std::string& name, std::uint32_t& lastError) {
    const HANDLE handle =
        ::CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        lastError = ::GetLastError();
        return -1;
    }
    // A directory cannot be opened this way; a pipe or a device is refused.
    if (::GetFileType(handle) != FILE_TYPE_DISK) {
        ::CloseHandle(handle);
        lastError = kErrorAccessDenied;
        return -1;
    }
    return descriptorOf(handle, _O_RDONLY | _O_BINARY);
}

int OpenForAppending(const std::string& name, bool excludeWriters) {
    // Readers always welcome; other writers unless excluded.
    const DWORD share = excludeWriters ? FILE_SHARE_READ : FILE_SHARE_READ | FILE_SHARE_WRITE;
    const HANDLE handle = ::CreateFileA(name.c_str(), FILE_APPEND_DATA, share, nullptr, OPEN_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
    return descriptorOf(handle, _O_WRONLY | _O_APPEND | _O_BINARY);
}

int OpenLockFile(const std::string& name) {
    const HANDLE handle = ::CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    return descriptorOf(handle, _O_RDWR | _O_BINARY);
}

long Read(int file, void* buffer, std::size_t size) {
    return ::_read(file, buffer, static_cast<unsigned>(size));
}

long long FileSize(int file) {
    return ::_filelengthi64(file);
}

long Write(int file, const void* data, std::size_t size) {
    return ::_write(file, data, static_cast<unsigned>(size));
}

void Close(int file) {
    if (file >= 0)
        ::_close(file);
}

bool RemoveFile(const std::string& name) {
    return ::DeleteFileA(name.c_str()) != FALSE;
}

bool RenameOver(const std::string& from, const std::string& to) {
    return ::MoveFileExA(from.c_str(), to.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

bool NamesNeedResolving() {
    return false;
}

char PathListSeparator() {
    return ';';
}

char PathSeparator() {
    return '\\';
}

std::string ExecutablePath() {
    char path[MAX_PATH] = {};
    const DWORD n = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    return std::string(path, n);
}

std::string CurrentDirectory() {
    char dir[MAX_PATH] = {};
    const DWORD n = ::GetCurrentDirectoryA(MAX_PATH, dir);
    return n == 0 || n >= MAX_PATH ? std::string(".") : std::string(dir, n);
}

std::string TempDirectory() {
    char dir[MAX_PATH + 1] = {};
    const DWORD n = ::GetTempPathA(MAX_PATH + 1, dir);
    return n == 0 || n > MAX_PATH ? std::string(".") : std::string(dir, n);
}

std::string UserSettingsHome() {
    char dir[MAX_PATH] = {};
    if (SUCCEEDED(::SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, 0, dir)))
        return dir;
    return CurrentDirectory();
}

std::string WindowsDirectory() {
    char dir[MAX_PATH] = {};
    const UINT n = ::GetWindowsDirectoryA(dir, MAX_PATH);
    return n == 0 || n >= MAX_PATH ? std::string("C:\\Windows") : std::string(dir, n);
}

bool UserLanguage(std::uint16_t& languageId) {
    languageId = ::GetUserDefaultLangID();
    return true;
}

bool ToLocalTime(std::time_t time, std::tm& local) {
    return ::localtime_s(&local, &time) == 0;
}

std::uint32_t ThreadId() {
    return ::GetCurrentThreadId();
}

void* RegisterSystemDeviceNotification(void* window, void* filter) {
    const HWND handle = static_cast<HWND>(window);
    if (!::IsWindow(handle))
        return nullptr;
    return ::RegisterDeviceNotificationA(handle, filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

void UnregisterSystemDeviceNotification(void* registration) {
    if (registration != nullptr)
        ::UnregisterDeviceNotification(registration);
}

bool IsTerminal(std::FILE* file) {
    return file != nullptr && ::_isatty(::_fileno(file)) != 0;
}

bool TerminalSize(std::FILE* file, int& columns, int& rows) {
    if (!IsTerminal(file))
        return false;
    const HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(file)));
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!::GetConsoleScreenBufferInfo(handle, &info))
        return false;
    columns = info.srWindow.Right - info.srWindow.Left + 1;
    rows = info.srWindow.Bottom - info.srWindow.Top + 1;
    return true;
}

void* AllocatePages(std::size_t size) {
    return VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

void ReleasePages(void* pages, std::size_t) {
    if (pages != nullptr)
        VirtualFree(pages, 0, MEM_RELEASE);
}

} // namespace platform::native
