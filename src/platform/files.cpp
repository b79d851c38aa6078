#include "platform/files.h"

#include "platform/file_names.h"

#include "platform/native.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <utility>

namespace platform {

namespace {

constexpr std::uint32_t kErrorGenFailure = 31;

} // namespace

std::optional<std::vector<unsigned char>> ReadWholeFile(const std::string& fileName) {
    std::uint32_t ignored = 0;
    return ReadWholeFile(fileName, ignored);
}

std::optional<std::vector<unsigned char>> ReadWholeFile(const std::string& fileName,
                                                        std::uint32_t& lastError) {
    FileReader file = FileReader::open(fileName, lastError);
    if (!file.valid())
        return std::nullopt;
    // Read straight into place, in large pieces: images run to many MiB.
    constexpr std::size_t kPiece = 1 << 20;
    std::vector<unsigned char> bytes;
    std::size_t filled = 0;
    bytes.resize(file.sizeHint() > 0 ? static_cast<std::size_t>(file.sizeHint()) : kPiece);
    for (;;) {
        if (filled == bytes.size())
            bytes.resize(bytes.size() + kPiece);
        const long n =
            file.read(bytes.data() + filled, std::min(kPiece, bytes.size() - filled), lastError);
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            break;
        filled += static_cast<std::size_t>(n);
    }
    bytes.resize(filled);
    return bytes;
}

FileReader FileReader::open(const std::string& fileName, std::uint32_t& lastError) {
    // Opened without waiting, so that a pipe nobody writes to cannot hold the
    // run; only a regular file is read then (a pipe could be read only once, a
    // device might never end).
    const int fd = native::OpenRegularFileForReading(ResolveFileName(fileName), lastError);
    if (fd < 0)
        return FileReader(-1, 0);
    const long long size = native::FileSize(fd);
    return FileReader(fd, size > 0 ? static_cast<std::uint64_t>(size) : 0);
}

FileReader::FileReader(FileReader&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), sizeHint_(other.sizeHint_) {}

FileReader& FileReader::operator=(FileReader&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
        sizeHint_ = other.sizeHint_;
    }
    return *this;
}

FileReader::~FileReader() {
    close();
}

void FileReader::close() {
    if (fd_ >= 0)
        native::Close(fd_);
    fd_ = -1;
}

long FileReader::read(void* buffer, std::size_t size, std::uint32_t& lastError) {
    const long n = native::Read(fd_, buffer, size);
    if (n < 0)
        lastError = kErrorGenFailure;
    return n;
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
    if (!native::RenameOver(temporary, target)) {
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
    return native::RemoveFile(ResolveFileName(fileName));
}

bool CanCreateFile(const std::string& fileName) {
    const std::string name = ResolveFileName(fileName);
    const bool existed = FileExists(name);
    const int fd = native::OpenForAppending(name, false);
    if (fd < 0)
        return false;
    native::Close(fd);
    if (!existed)
        native::RemoveFile(name);
    return true;
}

bool CreateDirectories(const std::string& dirName) {
    std::error_code ec;
    const std::filesystem::path dir(ResolveFileName(dirName));
    std::filesystem::create_directories(dir, ec);
    return std::filesystem::is_directory(dir, ec);
}

AppendFile AppendFile::open(const std::string& fileName) {
    return AppendFile(native::OpenForAppending(ResolveFileName(fileName), true));
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
    native::Close(fd_); // also releases the lock
    fd_ = -1;
}

bool AppendFile::write(const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const long n = native::Write(fd_, p, size);
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace platform
