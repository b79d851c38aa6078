#include "platform/clock.h"
#include "platform/scsi_generic.h"

#include <fcntl.h>
#include <scsi/sg.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace platform {

namespace {

// Host statuses of the SCSI mid-layer (DID_*) and driver statuses (DRIVER_*).
constexpr unsigned kDidOk = 0x00;
constexpr unsigned kDidNoConnect = 0x01;
constexpr unsigned kDidBusBusy = 0x02;
constexpr unsigned kDidTimeOut = 0x03;
constexpr unsigned kDidBadTarget = 0x04;
constexpr unsigned kDidAbort = 0x05;
constexpr unsigned kDidParity = 0x06;
constexpr unsigned kDidReset = 0x08;
constexpr unsigned kDriverTimeout = 0x06;
constexpr unsigned kDriverSense = 0x08;

// ASPI's host adapter statuses for them.
constexpr BYTE kHaTimeout = 0x09;
constexpr BYTE kHaCommandTimeout = 0x0B;
constexpr BYTE kHaBusReset = 0x0E;
constexpr BYTE kHaParityError = 0x0F;
constexpr BYTE kHaBusFree = 0x13;
constexpr BYTE kHaPhaseError = 0x14;

BYTE adapterStatusFor(unsigned hostStatus) {
    switch (hostStatus) {
    case kDidOk:
        return HASTAT_OK;
    case kDidNoConnect:
    case kDidBadTarget:
        return HASTAT_SEL_TO;
    case kDidBusBusy:
        return kHaBusFree;
    case kDidTimeOut:
        return kHaTimeout;
    case kDidAbort:
        return kHaCommandTimeout;
    case kDidParity:
        return kHaParityError;
    case kDidReset:
        return kHaBusReset;
    default:
        return kHaPhaseError;
    }
}

bool deviceGone(int error) {
    return error == ENODEV || error == ENXIO || error == ENOENT;
}

std::string systemText(int error) {
    return std::strerror(error);
}

std::string permissionText(const ScsiGenericDevice& device, const std::string& group) {
    std::string text = device.describe() + ": permission denied: run as root or add the user to ";
    text += group.empty() ? "the group that owns " + device.path() : "group \"" + group + "\"";
    return text + ".";
}

// Devices come and go (a scanner restarting behind a hot-plugged adapter
// comes back under another number, a scanner switched on late appears): sysfs
// is read again when a device node is gone, and otherwise at most once in
// this many milliseconds when the layer counts adapters or a command finds
// its position empty, so that a scan of every position reads it once.
constexpr std::uint64_t kFreshFor = 1000;

struct Placed {
    ScsiGenericDevice device;
    AspiPosition position;
};

} // namespace

struct ScsiGenericAspi::State {
    std::shared_ptr<ScsiGenericKernel> kernel;
    std::string sysfsRoot;

    std::mutex reading; // one read at a time
    mutable std::mutex lock;
    std::vector<Placed> devices;
    std::vector<int> hosts; // index: adapter id
    std::vector<std::string> notes;
    std::vector<std::string> accessProblems;
    std::uint64_t readAt = 0; // platform clock

    // With `probe` each reachable device is opened and closed again, and the
    // notes and access problems are made afresh.
    void read(bool probe) {
        std::lock_guard<std::mutex> one(reading);
        std::vector<ScsiGenericDevice> found = ReadScsiGenericDevices(sysfsRoot);
        std::vector<int> order;
        {
            std::lock_guard<std::mutex> guard(lock);
            order = hosts;
        }
        const std::vector<AspiPosition> positions = MapToAspi(found, order);
        std::vector<Placed> placed;
        std::vector<std::string> lines;
        std::vector<std::string> denied;
        if (found.empty())
            lines.push_back("SCSI generic: no devices in " + sysfsRoot +
                            "/class/scsi_generic (the sg driver loads with \"modprobe sg\").");
        for (std::size_t i = 0; i < found.size(); ++i) {
            const ScsiGenericDevice& device = found[i];
            const AspiPosition& position = positions[i];
            std::string line = " cannot be reached: only channel 0, logical unit 0, host "
                               "adapters 0-6 and targets 0-6 are scanned.";
            if (position.reachable())
                line = " is ASPI host adapter " + std::to_string(position.adapter) + ", target " +
                       std::to_string(position.target) + ".";
            lines.push_back("SCSI generic: " + device.describe() + line);
            if (!position.reachable())
                continue;
            placed.push_back({device, position});
            if (!probe)
                continue;
            int error = 0;
            const int fd = kernel->open(device.path(), O_RDWR | O_NONBLOCK, error);
            if (fd >= 0)
                kernel->close(fd);
            else if (error == EACCES || error == EPERM)
                denied.push_back(permissionText(device, kernel->ownerGroup(device.path())));
        }
        for (const auto& text : denied)
            lines.push_back("SCSI generic: " + text);
        std::lock_guard<std::mutex> guard(lock);
        readAt = GetTickCount64();
        devices = std::move(placed);
        hosts = std::move(order);
        if (probe) {
            notes = std::move(lines);
            accessProblems = std::move(denied);
        }
    }

    void refreshWhenStale() {
        {
            std::lock_guard<std::mutex> guard(lock);
            if (GetTickCount64() - readAt < kFreshFor)
                return;
        }
        read(false);
    }

    bool find(int adapter, int target, int lun, ScsiGenericDevice& into) const {
        std::lock_guard<std::mutex> guard(lock);
        if (lun != 0)
            return false;
        for (const auto& entry : devices)
            if (entry.position.adapter == adapter && entry.position.target == target) {
                into = entry.device;
                return true;
            }
        return false;
    }
};

ScsiGenericAspi::ScsiGenericAspi(std::shared_ptr<ScsiGenericKernel> kernel, std::string sysfsRoot)
    : state_(std::make_unique<State>()) {
    state_->kernel = std::move(kernel);
    state_->sysfsRoot = std::move(sysfsRoot);
    state_->read(true);
}

ScsiGenericAspi::~ScsiGenericAspi() = default;

int ScsiGenericAspi::adapterCount() const {
    state_->refreshWhenStale();
    std::lock_guard<std::mutex> guard(state_->lock);
    return static_cast<int>(state_->hosts.size());
}

void ScsiGenericAspi::describeAdapter(int adapter, SRB_HAInquiry& block) {
    int host = -1;
    {
        std::lock_guard<std::mutex> guard(state_->lock);
        if (adapter >= 0 && adapter < static_cast<int>(state_->hosts.size()))
            host = state_->hosts[static_cast<std::size_t>(adapter)];
    }
    char identifier[17];
    std::snprintf(identifier, sizeof identifier, "SCSI HOST %d", host);
    static const char manager[] = "SCSI GENERIC";
    std::memset(block.managerId, ' ', sizeof block.managerId);
    std::memcpy(block.managerId, manager, sizeof manager - 1);
    std::memset(block.identifier, ' ', sizeof block.identifier);
    std::memcpy(block.identifier, identifier, std::strlen(identifier));
    block.adapterScsiId = 7;
    block.unique[3] = 8; // targets per bus
}

void ScsiGenericAspi::rescan(int) {
    state_->read(true);
}

std::vector<std::string> ScsiGenericAspi::notes() const {
    std::lock_guard<std::mutex> guard(state_->lock);
    return state_->notes;
}

std::vector<std::string> ScsiGenericAspi::accessProblems() const {
    std::lock_guard<std::mutex> guard(state_->lock);
    return state_->accessProblems;
}

bool ScsiGenericAspi::execute(int adapter, SRB_ExecSCSICmd& block, BYTE* data) {
    ScsiGenericDevice device;
    bool found = state_->find(adapter, block.target, block.lun, device);
    if (!found) {
        state_->refreshWhenStale();
        found = state_->find(adapter, block.target, block.lun, device);
    }
    if (!found) {
        block.status = SS_ERR;
        block.hostAdapterStatus = HASTAT_SEL_TO;
        return true;
    }
    switch (run(device, block, data)) {
    case Outcome::NotOpened: {
        // Nothing was sent: the device is tried once more where sysfs has it
        // now, when that is another node.
        state_->read(false);
        ScsiGenericDevice now;
        if (state_->find(adapter, block.target, block.lun, now) && now.name != device.name) {
            SetAspiErrorText({});
            run(now, block, data);
        }
        break;
    }
    case Outcome::Gone:
        // The command may have reached the device before it went, so it is
        // not sent again; the next one goes where sysfs has the device now.
        state_->read(false);
        break;
    default:
        break;
    }
    return true;
}

ScsiGenericAspi::Outcome ScsiGenericAspi::run(const ScsiGenericDevice& device,
                                              SRB_ExecSCSICmd& block, BYTE* data) {
    block.status = SS_PENDING;
    block.hostAdapterStatus = HASTAT_OK;
    block.targetStatus = SCSI_STATUS_GOOD;
    std::memset(block.sense, 0, sizeof block.sense);
    ScsiGenericKernel& kernel = *state_->kernel;
    // Fails the request outside the SCSI protocol, with a text for it.
    auto fail = [&](BYTE adapterStatus, std::string text) {
        block.status = SS_ERR;
        block.hostAdapterStatus = adapterStatus;
        SetAspiErrorText(std::move(text));
        return Outcome::Failed;
    };
    auto gone = [&](int error, Outcome outcome) {
        fail(HASTAT_SEL_TO,
             device.describe() + ": the device is gone (" + systemText(error) + ").");
        return outcome;
    };

    int error = 0;
    const int fd = kernel.open(device.path(), O_RDWR | O_NONBLOCK, error);
    if (fd < 0) {
        if (error == EACCES || error == EPERM)
            return fail(HASTAT_OK, permissionText(device, kernel.ownerGroup(device.path())));
        if (deviceGone(error))
            return gone(error, Outcome::NotOpened);
        return fail(HASTAT_OK,
                    device.describe() + ": cannot be opened (" + systemText(error) + ").");
    }
    // Opened without waiting; the command itself waits for its completion.
    if (kernel.setFlags(fd, O_RDWR, error) < 0) {
        kernel.close(fd);
        return fail(HASTAT_OK,
                    device.describe() + ": cannot be opened (" + systemText(error) + ").");
    }

    const std::size_t cdbLength = std::min<std::size_t>(block.cdbLength, sizeof block.cdb);
    const std::uint32_t timeout = ScsiGenericTimeout(block.cdb, cdbLength);
    const auto realTimeout =
        std::chrono::duration_cast<std::chrono::milliseconds>(RealDuration(timeout)).count();
    std::uint8_t sense[sizeof block.sense] = {};
    sg_io_hdr_t header{};
    header.interface_id = 'S';
    header.dxfer_direction = SG_DXFER_NONE;
    if (data != nullptr && block.dataLength != 0)
        header.dxfer_direction = (block.flags & SRB_DIR_OUT) ? SG_DXFER_TO_DEV : SG_DXFER_FROM_DEV;
    header.cmd_len = static_cast<unsigned char>(cdbLength);
    header.cmdp = block.cdb;
    header.mx_sb_len =
        static_cast<unsigned char>(std::min<std::size_t>(block.senseLength, sizeof sense));
    header.sbp = sense;
    header.dxfer_len = header.dxfer_direction == SG_DXFER_NONE ? 0 : block.dataLength;
    header.dxferp = header.dxfer_direction == SG_DXFER_NONE ? nullptr : data;
    header.timeout = static_cast<unsigned>(std::max<long long>(realTimeout, 1));

    const int result = kernel.ioctl(fd, SG_IO, &header, error);
    kernel.close(fd);
    if (result < 0) {
        if (deviceGone(error))
            return gone(error, Outcome::Gone);
        return fail(HASTAT_OK, device.describe() + ": the command could not be sent (" +
                                   systemText(error) + ").");
    }

    block.targetStatus = header.status;
    const std::size_t senseWritten = std::min<std::size_t>(header.sb_len_wr, header.mx_sb_len);
    std::memcpy(block.sense, sense, senseWritten);
    const unsigned driverStatus = header.driver_status & 0x0F;
    if (driverStatus == kDriverTimeout || header.host_status == kDidTimeOut) {
        char text[48];
        std::snprintf(text, sizeof text, ": no answer within %u s.", (timeout + 999) / 1000);
        return fail(kHaCommandTimeout, device.describe() + text);
    }
    if (header.host_status != kDidOk) {
        char text[48];
        std::snprintf(text, sizeof text, ": host status 0x%02X.", header.host_status);
        return fail(adapterStatusFor(header.host_status), device.describe() + text);
    }
    if (header.status != SCSI_STATUS_GOOD) {
        // CHECK CONDITION and the other statuses are the device's answer: the
        // sense area tells the rest.
        block.status = SS_ERR;
        return Outcome::Answered;
    }
    if (driverStatus != 0 && driverStatus != kDriverSense) {
        char text[48];
        std::snprintf(text, sizeof text, ": driver status 0x%02X.", header.driver_status);
        return fail(HASTAT_OK, device.describe() + text);
    }
    block.status = SS_COMP;
    return Outcome::Answered;
}

} // namespace platform
