#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// File access by Windows-style names (see ResolveFileName).
namespace platform {

// The whole content of a regular file; nothing when it cannot be opened or
// read, or is a directory, a pipe or a device.
std::optional<std::vector<unsigned char>> ReadWholeFile(const std::string& fileName);

// As above; when the file cannot be opened or read, `lastError` gets the Windows
// error code of the failure (2 file not found, 3 path not found, 5 access denied,
// which a directory, a pipe or a device gives too; 31 for anything else).
std::optional<std::vector<unsigned char>> ReadWholeFile(const std::string& fileName,
                                                        std::uint32_t& lastError);

// A regular file opened for reading from its start, in pieces (the image
// loader reads files of many MiB this way without holding them whole). Closed
// by its destructor.
class FileReader {
public:
    // An invalid object when the file cannot be opened; `lastError` then gets
    // the code ReadWholeFile gives.
    static FileReader open(const std::string& fileName, std::uint32_t& lastError);

    FileReader(FileReader&& other) noexcept;
    FileReader& operator=(FileReader&& other) noexcept;
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;
    ~FileReader();

    bool valid() const { return fd_ >= 0; }
    // The size when opened, a hint only (a file may grow or shrink meanwhile).
    std::uint64_t sizeHint() const { return sizeHint_; }
    // Reads up to `size` bytes: the number read, 0 at the end of the file, or -1
    // (with `lastError` set to 31) when reading failed.
    long read(void* buffer, std::size_t size, std::uint32_t& lastError);

private:
    FileReader(int fd, std::uint64_t sizeHint) : fd_(fd), sizeHint_(sizeHint) {}
    void close();
    int fd_ = -1;
    std::uint64_t sizeHint_ = 0;
};

// Writes the file anew through a temporary file beside it, so that a crash never
// leaves a half-written file. False when it cannot be written.
bool ReplaceFileContents(const std::string& fileName, const std::string& content);

// Whether a file (or directory) of that name exists.
bool FileExists(const std::string& fileName);

// Deletes a file; false when it could not be deleted (a missing file included).
bool DeleteFileA(const std::string& fileName);

// Whether a file of that name can be opened for writing; a file created to
// find out is removed again.
bool CanCreateFile(const std::string& fileName);

// Creates a directory and its parents; true when it exists afterwards.
bool CreateDirectories(const std::string& dirName);

// A file opened for appending, created if missing, denying other writers while
// it is open (as a Windows handle opened with FILE_SHARE_READ only). Closed by
// its destructor.
class AppendFile {
public:
    // An invalid object when the file cannot be opened or another writer holds it.
    static AppendFile open(const std::string& fileName);

    AppendFile(AppendFile&& other) noexcept;
    AppendFile& operator=(AppendFile&& other) noexcept;
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;
    ~AppendFile();

    bool valid() const { return fd_ >= 0; }
    // Writes all bytes at the end of the file; false on any failure.
    bool write(const void* data, std::size_t size);

private:
    explicit AppendFile(int fd) : fd_(fd) {}
    void close();
    int fd_ = -1;
};

} // namespace platform
