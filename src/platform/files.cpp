#include "platform/files.h"

#include "platform/file_names.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

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

} // namespace

std::optional<std::vector<unsigned char>> ReadWholeFile(const std::string& fileName) {
    std::uint32_t ignored = 0;
    return ReadWholeFile(fileName, ignored);
}

std::optional<std::vector<unsigned char>> ReadWholeFile(const std::string& fileName,
                                                        std::uint32_t& lastError) {
    // Opened without waiting, so that a pipe nobody writes to cannot hold the
    // run; only a regular file is read then (a pipe could be read only once, a
    // device might never end).
    const int fd = ::open(ResolveFileName(fileName).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        lastError = windowsError(errno);
        return std::nullopt;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        lastError = kErrorAccessDenied;
        ::close(fd);
        return std::nullopt;
    }
    std::vector<unsigned char> bytes;
    unsigned char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            lastError = windowsError(errno);
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0)
            break;
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    ::close(fd);
    return bytes;
}

bool ReplaceFileContents(const std::string& fileName, const std::string& content) {
    const std::string target = ResolveFileName(fileName);
    const std::string temporary = target + ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out)
            return false;
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        out.flush();
        if (!out) {
            std::remove(temporary.c_str());
            return false;
        }
    }
    if (std::rename(temporary.c_str(), target.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

bool FileExists(const std::string& fileName) {
    std::error_code error;
    return std::filesystem::exists(ResolveFileName(fileName), error);
}

bool DeleteFileA(const std::string& fileName) {
    return ::unlink(ResolveFileName(fileName).c_str()) == 0;
}

bool CanCreateFile(const std::string& fileName) {
    const std::string name = ResolveFileName(fileName);
    const bool existed = FileExists(name);
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    ::close(fd);
    if (!existed)
        ::unlink(name.c_str());
    return true;
}

bool CreateDirectories(const std::string& dirName) {
    std::error_code ec;
    const std::filesystem::path dir(ResolveFileName(dirName));
    std::filesystem::create_directories(dir, ec);
    return std::filesystem::is_directory(dir, ec);
}

AppendFile AppendFile::open(const std::string& fileName) {
    int fd =
        ::open(ResolveFileName(fileName).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        return AppendFile(-1);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return AppendFile(-1);
    }
    return AppendFile(fd);
}

AppendFile::AppendFile(AppendFile&& other) noexcept : fd_(other.fd_) {
    other.fd_ = -1;
}

AppendFile& AppendFile::operator=(AppendFile&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

AppendFile::~AppendFile() {
    close();
}

void AppendFile::close() {
    if (fd_ >= 0)
        ::close(fd_); // also releases the lock
    fd_ = -1;
}

bool AppendFile::write(const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::write(fd_, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace platform
