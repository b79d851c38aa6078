#include "platform/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace platform {

FileLock::~FileLock() {
    release();
}

bool FileLock::tryAcquire(const std::string& fileName) {
    if (held())
        return true;
    const int handle = ::open(fileName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (handle < 0)
        return false;
    if (::flock(handle, LOCK_EX | LOCK_NB) != 0) {
        ::close(handle);
        return false;
    }
    handle_ = handle;
    return true;
}

void FileLock::release() {
    if (!held())
        return;
    ::flock(handle_, LOCK_UN);
    ::close(handle_);
    handle_ = -1;
}

} // namespace platform
