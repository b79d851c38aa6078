#include "platform/file_lock.h"

#include "platform/native.h"

namespace platform {

FileLock::~FileLock() {
    release();
}

bool FileLock::tryAcquire(const std::string& fileName) {
    if (held())
        return true;
    handle_ = native::OpenLockFile(fileName);
    return held();
}

void FileLock::release() {
    if (!held())
        return;
    native::Close(handle_);
    handle_ = -1;
}

} // namespace platform
