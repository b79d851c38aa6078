#pragma once

// The kernel side of the SCSI generic backend for tests: a fake sysfs tree
// in a scratch folder, and scripted /dev/sgN devices that answer SG_IO
// requests from a script or from a virtual scanner, with every request and
// every descriptor recorded.
#include "platform/scsi_generic.h"
#include "sim/virtual_scanner.h"
#include "support/scratch_dir.h"

#include <scsi/sg.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace sg_kit {

using Bytes = std::vector<std::uint8_t>;

// A sysfs tree with SCSI generic devices in it.
class FakeSysfs {
public:
    const std::string& root() const { return scratch_.path(); }

    // Adds /dev/sg<number> at host:channel:target:lun, linked the way sysfs
    // links it (class/scsi_generic/sgN/device -> devices/.../H:C:T:L).
    void add(int number, int host, int channel, int target, int lun, int type = 6,
             const std::string& vendor = "KORVA   ", const std::string& model = "SX-2500C") {
        namespace fs = std::filesystem;
        const std::string address = std::to_string(host) + ":" + std::to_string(channel) + ":" +
                                    std::to_string(target) + ":" + std::to_string(lun);
        const fs::path device = fs::path(root()) / "devices" / ("host" + std::to_string(host)) /
                                ("target" + address) / address;
        fs::create_directories(device);
        fs::remove_all(fs::path(root()) / "class" / "scsi_generic" /
                       ("sg" + std::to_string(number)));
        testing_support::writeFile((device / "type").string(), std::to_string(type) + "\n");
        testing_support::writeFile((device / "vendor").string(), vendor + "\n");
        testing_support::writeFile((device / "model").string(), model + "        \n");
        const fs::path entry =
            fs::path(root()) / "class" / "scsi_generic" / ("sg" + std::to_string(number));
        fs::create_directories(entry);
        fs::create_directory_symlink(device, entry / "device");
    }

    // The device leaves (its class entry goes; the device folder may stay).
    void remove(int number) {
        std::filesystem::remove_all(std::filesystem::path(root()) / "class" / "scsi_generic" /
                                    ("sg" + std::to_string(number)));
    }

private:
    testing_support::ScratchDir scratch_;
};

// One SG_IO request as the device saw it.
struct Request {
    int fd = -1;
    std::string path;
    int interfaceId = 0;
    int direction = 0;
    Bytes cdb;
    unsigned dataLength = 0;
    bool hasData = false;
    unsigned senseRoom = 0;
    unsigned timeout = 0;
    Bytes dataOut; // data-out requests: the bytes sent
};

// How a device answers a request: fills status, host and driver status,
// sense and data-in of the header.
using Answer = std::function<void(sg_io_hdr_t& header)>;

inline Answer good(Bytes dataIn = {}) {
    return [dataIn](sg_io_hdr_t& header) {
        if (header.dxfer_direction == SG_DXFER_FROM_DEV) {
            const std::size_t n = std::min<std::size_t>(dataIn.size(), header.dxfer_len);
            std::copy(dataIn.begin(), dataIn.begin() + static_cast<long>(n),
                      static_cast<std::uint8_t*>(header.dxferp));
            header.resid = static_cast<int>(header.dxfer_len - n);
        }
    };
}

// CHECK CONDITION with fixed-format sense: key, ASC, ASCQ.
inline Answer checkCondition(int key, int asc, int ascq) {
    return [=](sg_io_hdr_t& header) {
        std::uint8_t sense[18] = {0x70, 0, static_cast<std::uint8_t>(key), 0, 0, 0, 0, 10};
        sense[12] = static_cast<std::uint8_t>(asc);
        sense[13] = static_cast<std::uint8_t>(ascq);
        header.status = 0x02;
        header.masked_status = 0x01;
        header.driver_status = 0x08; // DRIVER_SENSE
        const std::size_t n = std::min<std::size_t>(sizeof sense, header.mx_sb_len);
        std::copy(sense, sense + n, header.sbp);
        header.sb_len_wr = static_cast<unsigned char>(n);
    };
}

inline Answer hostStatus(unsigned short status) {
    return [=](sg_io_hdr_t& header) { header.host_status = status; };
}

inline Answer driverTimeout() {
    return [](sg_io_hdr_t& header) { header.driver_status = 0x06; };
}

// The kernel's calls, answered by scripted devices.
class ScriptedKernel : public platform::ScsiGenericKernel {
public:
    struct Device {
        Answer answer = good();            // when `script` has run out
        std::vector<Answer> script;        // answers for the next requests, in turn
        sim::VirtualScanner* scanner = {}; // answers every request, when set
        int openError = 0;                 // open fails with it
        int ioctlError = 0;                // SG_IO fails with it
    };

    Device& device(const std::string& path) { return devices_[path]; }

    int open(const std::string& path, int flags, int& error) override {
        opens.push_back({path, flags});
        auto it = devices_.find(path);
        if (it == devices_.end()) {
            error = ENOENT;
            return -1;
        }
        if (it->second.openError != 0) {
            error = it->second.openError;
            return -1;
        }
        const int fd = next_++;
        open_[fd] = path;
        return fd;
    }
    int setFlags(int fd, int flags, int& error) override {
        if (!open_.count(fd)) {
            error = EBADF;
            return -1;
        }
        flagChanges.push_back(flags);
        return 0;
    }
    int ioctl(int fd, unsigned long request, void* argument, int& error) override {
        if (!open_.count(fd) || request != SG_IO) {
            error = open_.count(fd) ? ENOTTY : EBADF;
            return -1;
        }
        Device& target = devices_[open_[fd]];
        auto& header = *static_cast<sg_io_hdr_t*>(argument);
        Request seen;
        seen.fd = fd;
        seen.path = open_[fd];
        seen.interfaceId = header.interface_id;
        seen.direction = header.dxfer_direction;
        seen.cdb.assign(header.cmdp, header.cmdp + header.cmd_len);
        seen.dataLength = header.dxfer_len;
        seen.hasData = header.dxferp != nullptr;
        seen.senseRoom = header.mx_sb_len;
        seen.timeout = header.timeout;
        if (header.dxfer_direction == SG_DXFER_TO_DEV && header.dxferp != nullptr) {
            const auto* bytes = static_cast<const std::uint8_t*>(header.dxferp);
            seen.dataOut.assign(bytes, bytes + header.dxfer_len);
        }
        requests.push_back(seen);
        if (target.ioctlError != 0) {
            error = target.ioctlError;
            return -1;
        }
        if (target.scanner != nullptr) {
            answerFrom(*target.scanner, header);
        } else if (!target.script.empty()) {
            Answer next = target.script.front();
            target.script.erase(target.script.begin());
            next(header);
        } else {
            target.answer(header);
        }
        return 0;
    }
    int close(int fd) override {
        if (open_.erase(fd) == 0)
            return -1;
        ++closes;
        return 0;
    }
    std::string ownerGroup(const std::string&) override { return "disk"; }

    // Descriptors opened and not yet closed.
    std::size_t openDescriptors() const { return open_.size(); }

    struct Open {
        std::string path;
        int flags = 0;
    };
    std::vector<Open> opens;
    std::vector<int> flagChanges;
    std::vector<Request> requests;
    int closes = 0;

private:
    // A virtual scanner answers as it would on a SCSI bus.
    static void answerFrom(sim::VirtualScanner& scanner, sg_io_hdr_t& header) {
        sim::DataDirection direction = sim::DataDirection::None;
        if (header.dxfer_direction == SG_DXFER_TO_DEV)
            direction = sim::DataDirection::Out;
        else if (header.dxfer_direction == SG_DXFER_FROM_DEV)
            direction = sim::DataDirection::In;
        const sim::CommandOutcome outcome =
            scanner.execute(header.cmdp, header.cmd_len, direction,
                            static_cast<std::uint8_t*>(header.dxferp), header.dxfer_len);
        if (outcome.hangs) {
            header.driver_status = 0x06;
            return;
        }
        if (!outcome.answered) {
            header.host_status = 0x01; // DID_NO_CONNECT
            return;
        }
        if (!outcome.good) {
            header.status = 0x02;
            header.driver_status = 0x08;
            const std::size_t n = std::min<std::size_t>(outcome.sense.size(), header.mx_sb_len);
            std::copy(outcome.sense.begin(), outcome.sense.begin() + static_cast<long>(n),
                      header.sbp);
            header.sb_len_wr = static_cast<unsigned char>(n);
        }
        header.resid = static_cast<int>(header.dxfer_len - outcome.transferred);
    }

    std::map<std::string, Device> devices_;
    std::map<int, std::string> open_;
    int next_ = 100;
};

} // namespace sg_kit
