#pragma once

#include "platform/aspi.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// SCSI scanners on Linux, through the kernel's SCSI generic driver (/dev/sgN),
// as an ASPI backend: the program's ASPI calls reach real devices with the
// SG_IO request.
//
// Mapping onto ASPI positions: the SCSI hosts that carry a SCSI generic
// device are the host adapters, numbered 0.. in ascending host number (hosts
// that appear later are numbered after them); a
// device's target id is its SCSI target id. Only channel 0 and logical unit 0
// are reachable, as are only the adapter and target ids 0..6 that the
// transport's scan addresses; devices outside are named in the notes.
namespace platform {

// One /dev/sgN as sysfs describes it.
struct ScsiGenericDevice {
    std::string name; // "sg3"
    int host = -1, channel = -1, target = -1, lun = -1;
    int type = -1;      // SCSI peripheral device type (6: scanner)
    std::string vendor; // as sysfs has them, trailing blanks removed
    std::string model;  //

    std::string path() const { return "/dev/" + name; }
    // "/dev/sg3 (2:0:3:0, KORVA SX-2500C)"
    std::string describe() const;
};

// Every device under <sysfsRoot>/class/scsi_generic, in ascending number;
// none when the folder is missing (the driver not loaded). A device whose
// address cannot be read is left out.
std::vector<ScsiGenericDevice> ReadScsiGenericDevices(const std::string& sysfsRoot);

// Where a device stands for the ASPI layer.
struct AspiPosition {
    int adapter = -1;
    int target = -1;
    bool reachable() const { return adapter >= 0; }
};

// The ASPI positions of the devices, one per device in the same order (see
// the mapping above). `hosts` holds the SCSI host numbers of the adapter ids
// given so far (index = adapter id); hosts not in it yet are appended in
// ascending order. So an adapter id, once given, stays with its host: a host
// that appears later cannot shift the position of a scanner being upgraded.
std::vector<AspiPosition> MapToAspi(const std::vector<ScsiGenericDevice>& devices,
                                    std::vector<int>& hosts);

// Time-out of one command in milliseconds of the platform clock: generous
// for every command, longer where the scanner works before it answers
// (erasing flash, changing mode or restarting, summing a memory range).
std::uint32_t ScsiGenericTimeout(const std::uint8_t* cdb, std::size_t length);

constexpr std::uint32_t kScsiGenericTimeout = 60000;
constexpr std::uint32_t kScsiGenericModeTimeout = 120000;
constexpr std::uint32_t kScsiGenericEraseTimeout = 300000;

// The system calls the backend makes, so that tests can put a scripted device
// in place of the kernel. Calls return what the system calls do, with the
// error number in `error` when they fail.
class ScsiGenericKernel {
public:
    virtual ~ScsiGenericKernel() = default;
    // open(2) with these flags; a descriptor or -1.
    virtual int open(const std::string& path, int flags, int& error) = 0;
    // fcntl(F_SETFL) with these flags.
    virtual int setFlags(int fd, int flags, int& error) = 0;
    // ioctl(2) with a pointer argument.
    virtual int ioctl(int fd, unsigned long request, void* argument, int& error) = 0;
    virtual int close(int fd) = 0;
    // The name of the group that owns the file, empty when unknown.
    virtual std::string ownerGroup(const std::string& path) = 0;
};

std::shared_ptr<ScsiGenericKernel> SystemScsiGenericKernel();

// The backend. It reads sysfs when made and on every rescan, and tries to
// open each reachable device once then (without sending anything), so that
// missing permissions are known before the scan; it also reads sysfs again
// when devices may have come or gone. Each command opens its device and
// closes it again.
class ScsiGenericAspi : public AspiBackend {
public:
    ScsiGenericAspi(std::shared_ptr<ScsiGenericKernel> kernel, std::string sysfsRoot);
    ~ScsiGenericAspi() override;

    int adapterCount() const override;
    void describeAdapter(int adapter, SRB_HAInquiry& block) override;
    bool execute(int adapter, SRB_ExecSCSICmd& block, BYTE* data) override;
    void rescan(int adapter) override;
    std::vector<std::string> notes() const override;
    std::vector<std::string> accessProblems() const override;

private:
    // NotOpened: the device node was gone before anything was sent; Gone: it
    // went during the command.
    enum class Outcome { Answered, Failed, NotOpened, Gone };
    // One command to one device.
    Outcome run(const ScsiGenericDevice& device, SRB_ExecSCSICmd& block, BYTE* data);

    struct State;
    std::unique_ptr<State> state_;
};

} // namespace platform
