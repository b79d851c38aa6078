#include "platform/native.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform::native {

namespace {

constexpr std::uint32_t kErrorFileNotFound = 2;
constexpr std::uint32_t kErrorPathNotFound = 3;
constexpr std::uint32_t kErrorTooManyOpenFiles = 4;
constexpr std::uint32_t kErrorAccessDenied = 5;
constexpr std::uint32_t kErrorNotEnoughMemory = 8;
constexpr std::uint32_t kErrorGenFailure = 31;
constexpr std::uint32_t kErrorFilenameExcedRange = 206;

std::uint32_t windowsError(int error) {
    switch (error) {
    case ENOENT:
        return kErrorFileNotFound;
    case ENOTDIR:
        return kErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EISDIR:
        return kErrorAccessDenied;
    case EMFILE:
    case ENFILE:
        return kErrorTooManyOpenFiles;
    case ENOMEM:
        return kErrorNotEnoughMemory;
    case ENAMETOOLONG:
        return kErrorFilenameExcedRange;
    default:
        return kErrorGenFailure;
    }
}

// Opened and locked without waiting; -1 when either fails.
int openLocked(const std::string& name, int flags, mode_t mode) {
    const int file = ::open(name.c_str(), flags | O_CREAT | O_CLOEXEC, mode);
    if (file < 0)
        return -1;
    if (::flock(file, LOCK_EX | LOCK_NB) != 0) {
        ::close(file);
        return -1;
    }
    return file;
}

} // namespace

int OpenRegularFileForReading(const std::string& name, std::uint32_t& lastError) {
    const int file = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (file < 0) {
        lastError = windowsError(errno);
        return -1;
    }
    struct stat status {};
    if (::fstat(file, &status) != 0 || !S_ISREG(status.st_mode)) {
        lastError = kErrorAccessDenied;
        ::close(file);
        return -1;
    }
    return file;
}

int OpenForAppending(const std::string& name, bool excludeWriters) {
    if (excludeWriters)
        return openLocked(name, O_WRONLY | O_APPEND, 0644);
    return ::open(name.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
}

int OpenLockFile(const std::string& name) {
    return openLocked(name, O_RDWR, 0666);
}

long Read(int file, void* buffer, std::size_t size) {
    for (;;) {
        const ssize_t n = ::read(file, buffer, size);
        if (n < 0 && errno == EINTR)
            continue;
        return static_cast<long>(n);
    }
}

long long FileSize(int file) {
    struct stat status {};
    return ::fstat(file, &status) == 0 ? static_cast<long long>(status.st_size) : -1;
}

long Write(int file, const void* data, std::size_t size) {
    for (;;) {
        const ssize_t n = ::write(file, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        return static_cast<long>(n);
    }
}

void Close(int file) {
    if (file >= 0)
        ::close(file); // also releases a lock
}

bool RemoveFile(const std::string& name) {
    return ::unlink(name.c_str()) == 0;
}

bool RenameOver(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
}

bool NamesNeedResolving() {
    return true;
}

char PathListSeparator() {
    return ':';
}

char PathSeparator() {
    return '/';
}

std::string ExecutablePath() {
    std::string path(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size() - 1);
    if (n <= 0)
        return {};
    path.resize(static_cast<std::size_t>(n));
    return path;
}

std::string CurrentDirectory() {
    std::string dir(4096, '\0');
    if (::getcwd(dir.data(), dir.size()) == nullptr)
        return ".";
    dir.resize(dir.find('\0'));
    return dir;
}

std::string TempDirectory() {
    const char* dir = ::getenv("TMPDIR");
    return dir != nullptr && *dir != '\0' ? std::string(dir) : std::string("/tmp");
}

std::string UserSettingsHome() {
    const char* config = ::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && *config != '\0')
        return config;
    std::string home;
    if (const char* value = ::getenv("HOME"); value != nullptr)
        home = value;
    if (home.empty()) {
        if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir)
            home = pw->pw_dir;
    }
    return home + "/.config";
}

std::string WindowsDirectory() {
    return "/usr/share";
}

bool UserLanguage(std::uint16_t&) {
    return false;
}

bool ToLocalTime(std::time_t time, std::tm& local) {
    return ::localtime_r(&time, &local) != nullptr;
}

std::uint32_t ThreadId() {
    return static_cast<std::uint32_t>(::syscall(SYS_gettid));
}

void* RegisterSystemDeviceNotification(void*, void*) {
    return nullptr;
}

void UnregisterSystemDeviceNotification(void*) {}

bool IsTerminal(std::FILE* file) {
    return file != nullptr && ::isatty(::fileno(file)) == 1;
}

bool TerminalSize(std::FILE* file, int& columns, int& rows) {
    struct winsize ws {};
    if (file == nullptr || ::ioctl(::fileno(file), TIOCGWINSZ, &ws) != 0)
        return false;
    columns = ws.ws_col;
    rows = ws.ws_row;
    return true;
}

void* AllocatePages(std::size_t size) {
    void* pages = mmap(nullptr, size, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    return pages == MAP_FAILED ? nullptr : pages;
}

void ReleasePages(void* pages, std::size_t size) {
    if (pages != nullptr)
        munmap(pages, size);
}

} // namespace platform::native
