#include "platform/files.h"

#include "platform/file_names.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/file.h>
#include <unistd.h>

namespace platform {

std::optional<std::vector<unsigned char>> ReadWholeFile(const std::string& fileName) {
    std::ifstream in(ResolveFileName(fileName), std::ios::binary);
    if (!in)
        return std::nullopt;
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    if (in.bad())
        return std::nullopt;
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

bool DeleteFileA(const std::string& fileName) {
    return ::unlink(ResolveFileName(fileName).c_str()) == 0;
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
