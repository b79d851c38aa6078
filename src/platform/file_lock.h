#pragma once

#include <string>

namespace platform {

// An exclusive lock on a file that holds across processes, as a lock file
// beside a shared resource. Released by release(), by destruction, or when
// the process ends, however it ends.
class FileLock {
public:
    FileLock() = default;
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Creates the file when needed; false when another holder has it locked
    // or the file cannot be opened. Does not wait.
    bool tryAcquire(const std::string& fileName);
    void release();
    bool held() const { return handle_ >= 0; }

private:
    int handle_ = -1;
};

} // namespace platform
