#include "platform/aspi.h"
#include "platform/scsi_generic.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

// Linux: the SCSI generic driver's devices are the system's ASPI layer.
namespace platform {

namespace {

class SystemKernel final : public ScsiGenericKernel {
public:
    int open(const std::string& path, int flags, int& error) override {
        const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
        error = fd < 0 ? errno : 0;
        return fd;
    }
    int setFlags(int fd, int flags, int& error) override {
        const int result = ::fcntl(fd, F_SETFL, flags);
        error = result < 0 ? errno : 0;
        return result;
    }
    int ioctl(int fd, unsigned long request, void* argument, int& error) override {
        int result;
        do
            result = ::ioctl(fd, request, argument);
        while (result < 0 && errno == EINTR);
        error = result < 0 ? errno : 0;
        return result;
    }
    int close(int fd) override { return ::close(fd); }
    std::string ownerGroup(const std::string& path) override {
        struct stat status {};
        if (::stat(path.c_str(), &status) != 0)
            return {};
        std::vector<char> buffer(4096);
        struct group entry {};
        struct group* found = nullptr;
        if (::getgrgid_r(status.st_gid, &entry, buffer.data(), buffer.size(), &found) != 0 ||
            found == nullptr)
            return {};
        return found->gr_name;
    }
};

} // namespace

std::shared_ptr<ScsiGenericKernel> SystemScsiGenericKernel() {
    return std::make_shared<SystemKernel>();
}

bool InstallSystemAspi() {
    InstallAspiBackend(std::make_shared<ScsiGenericAspi>(SystemScsiGenericKernel(), "/sys"));
    return true;
}

} // namespace platform
