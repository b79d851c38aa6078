#include "platform/address32.h"
#include "platform/aspi.h"
#include "platform/clock.h"
#include "platform/scripted_scsi_kernel.h"
#include "platform/scsi_generic.h"
#include "platform/sync.h"

#include <fcntl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>

using namespace platform;
using sg_kit::Bytes;

namespace {

const Bytes kSgInquiry = {0x12, 0, 0, 0, 0x24, 0};

// The backend over a fake sysfs tree and scripted devices, installed as the
// only ASPI backend.
class ScsiGenericBackend : public testing::Test {
protected:
    // The backend reads sysfs again for empty positions only after a while.
    void SetUp() override { SetManualClock(true); }
    void TearDown() override {
        if (backend)
            RemoveAspiBackend(backend);
        SetManualClock(false);
    }

    void install() {
        backend = std::make_shared<ScsiGenericAspi>(kernel, sysfs.root());
        InstallAspiBackend(backend);
    }

    // One command to an ASPI position, as the transport sends it; the block
    // as the layer left it.
    SRB_ExecSCSICmd send(int adapter, int target, const Bytes& cdb, BYTE direction,
                         Bytes* data = nullptr) {
        SRB_ExecSCSICmd block{};
        block.command = SC_EXEC_SCSI_CMD;
        block.hostAdapter = static_cast<BYTE>(adapter);
        block.target = static_cast<BYTE>(target);
        block.flags = static_cast<BYTE>(direction | SRB_EVENT_NOTIFY);
        Address32 buffer(data != nullptr && !data->empty() ? data->data() : nullptr);
        block.dataLength = data != nullptr ? static_cast<DWORD>(data->size()) : 0;
        block.dataBuffer = buffer.value();
        block.senseLength = 14;
        block.cdbLength = static_cast<BYTE>(cdb.size());
        std::memcpy(block.cdb, cdb.data(), cdb.size());
        HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        block.postEvent = static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(event));
        const DWORD sent = SendASPI32Command(&block);
        EXPECT_TRUE(sent != SS_PENDING || WaitForSingleObject(event, 0) == WAIT_OBJECT_0);
        CloseHandle(event);
        return block;
    }

    sg_kit::FakeSysfs sysfs;
    std::shared_ptr<sg_kit::ScriptedKernel> kernel = std::make_shared<sg_kit::ScriptedKernel>();
    std::shared_ptr<ScsiGenericAspi> backend;
};

} // namespace

TEST(ScsiGenericDevices, ReadFromSysfsInDeviceOrder) {
    sg_kit::FakeSysfs sysfs;
    sysfs.add(10, 9, 0, 8, 0);
    sysfs.add(0, 0, 0, 0, 0, 0, "ATA", "DISK ONE");
    sysfs.add(2, 3, 0, 2, 0);
    std::filesystem::create_directories(sysfs.root() + "/class/scsi_generic/bogus");
    std::filesystem::create_directories(sysfs.root() + "/class/scsi_generic/sg7"); // no link

    const auto devices = ReadScsiGenericDevices(sysfs.root());
    ASSERT_EQ(devices.size(), 3u);
    EXPECT_EQ(devices[0].name, "sg0");
    EXPECT_EQ(devices[0].type, 0);
    EXPECT_EQ(devices[0].vendor, "ATA");
    EXPECT_EQ(devices[1].name, "sg2");
    EXPECT_EQ(devices[1].host, 3);
    EXPECT_EQ(devices[1].target, 2);
    EXPECT_EQ(devices[1].type, 6);
    EXPECT_EQ(devices[1].model, "SX-2500C"); // trailing blanks gone
    EXPECT_EQ(devices[1].describe(), "/dev/sg2 (3:0:2:0, KORVA SX-2500C)");
    EXPECT_EQ(devices[2].name, "sg10");

    EXPECT_TRUE(ReadScsiGenericDevices(sysfs.root() + "/missing").empty());
}

TEST(ScsiGenericDevices, HostsBecomeAdaptersInAscendingOrder) {
    std::vector<ScsiGenericDevice> devices;
    auto add = [&](int host, int channel, int target, int lun) {
        ScsiGenericDevice device;
        device.host = host;
        device.channel = channel;
        device.target = target;
        device.lun = lun;
        devices.push_back(device);
    };
    add(5, 0, 3, 0); // adapter 1
    add(2, 0, 6, 0); // adapter 0
    add(2, 1, 0, 0); // channel 1
    add(5, 0, 3, 1); // logical unit 1
    add(2, 0, 7, 0); // target 7 is never addressed
    for (int host = 10; host < 16; ++host)
        add(host, 0, 0, 0); // adapters 2..7
    std::vector<int> hosts;
    const auto positions = MapToAspi(devices, hosts);
    EXPECT_EQ(hosts, (std::vector<int>{2, 5, 10, 11, 12, 13, 14, 15}));
    ASSERT_EQ(positions.size(), devices.size());
    EXPECT_EQ(positions[0].adapter, 1);
    EXPECT_EQ(positions[0].target, 3);
    EXPECT_EQ(positions[1].adapter, 0);
    EXPECT_EQ(positions[1].target, 6);
    for (std::size_t i : {2u, 3u, 4u})
        EXPECT_FALSE(positions[i].reachable()) << i;
    EXPECT_EQ(positions[9].adapter, 6);
    EXPECT_FALSE(positions[10].reachable()); // adapter 7

    // A host that appears later is numbered after the others: no id moves.
    add(1, 0, 4, 0);
    const auto later = MapToAspi(devices, hosts);
    EXPECT_EQ(hosts, (std::vector<int>{2, 5, 10, 11, 12, 13, 14, 15, 1}));
    EXPECT_EQ(later[0].adapter, 1);
    EXPECT_FALSE(later.back().reachable()); // adapter 8
}

TEST(ScsiGenericDevices, TimeoutsAreLongerWhereTheScannerWorks) {
    auto timeout = [](const Bytes& cdb) { return ScsiGenericTimeout(cdb.data(), cdb.size()); };
    EXPECT_EQ(timeout(kSgInquiry), kScsiGenericTimeout);
    EXPECT_EQ(timeout({0x2D, 0, 0, 1, 0, 0, 0, 4, 0, 0}), kScsiGenericTimeout);
    EXPECT_EQ(timeout({0xFE, 0, 0x80, 0x21, 0, 0, 0, 0, 0x80, 0}), kScsiGenericTimeout);
    EXPECT_EQ(timeout({0x2C, 0, 0, 0x22, 0, 0, 0, 0, 0, 0}), kScsiGenericEraseTimeout);
    EXPECT_EQ(timeout({0xFF, 0, 0xC3, 0, 0, 0, 0, 0, 0, 0}), kScsiGenericEraseTimeout);
    EXPECT_EQ(timeout({0xFF, 0, 0x65, 0, 0, 0, 0, 0, 0, 0}), kScsiGenericModeTimeout);
    EXPECT_EQ(timeout({0xFE, 0, 0x65, 0, 0, 1, 0, 0, 0, 0}), kScsiGenericModeTimeout);
    EXPECT_EQ(timeout({0xFF, 0, 0xC7, 0, 0, 0, 0, 0, 0, 0}), kScsiGenericModeTimeout);
    EXPECT_EQ(timeout({0xFF, 0, 0xB2, 0, 0, 0, 0, 0, 0x0C, 0}), kScsiGenericModeTimeout);
}

TEST_F(ScsiGenericBackend, NotesNameEveryDeviceAndTheUnreachableOnes) {
    sysfs.add(0, 4, 0, 2, 0);
    sysfs.add(1, 4, 1, 0, 0);
    kernel->device("/dev/sg0");
    install();
    const auto notes = AspiNotes();
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[0], "SCSI generic: /dev/sg0 (4:0:2:0, KORVA SX-2500C) is ASPI host adapter "
                        "0, target 2.");
    EXPECT_NE(notes[1].find("/dev/sg1 (4:1:0:0, KORVA SX-2500C) cannot be reached"),
              std::string::npos);
    EXPECT_EQ(GetASPI32SupportInfo(), static_cast<DWORD>(SS_COMP) << 8 | 1);
    // Each reachable device was tried once, and given back.
    ASSERT_EQ(kernel->opens.size(), 1u);
    EXPECT_EQ(kernel->openDescriptors(), 0u);
}

TEST_F(ScsiGenericBackend, WithoutDevicesThereIsNoAdapter) {
    install();
    EXPECT_EQ(backend->adapterCount(), 0);
    EXPECT_EQ(GetASPI32SupportInfo() >> 8, SS_NO_ADAPTERS);
    ASSERT_EQ(AspiNotes().size(), 1u);
    EXPECT_NE(AspiNotes()[0].find("modprobe sg"), std::string::npos);
}

TEST_F(ScsiGenericBackend, RescanReadsSysfsAgain) {
    install();
    sysfs.add(3, 1, 0, 5, 0);
    kernel->device("/dev/sg3");
    SRB_RescanPort rescan{};
    rescan.command = SC_RESCAN_SCSI_BUS;
    // Adapter 0 does not exist yet: nothing is rescanned.
    EXPECT_EQ(SendASPI32Command(&rescan), SS_INVALID_HA);
    backend->rescan(0);
    EXPECT_EQ(backend->adapterCount(), 1);
    SRB_HAInquiry inquiry{};
    inquiry.command = SC_HA_INQUIRY;
    EXPECT_EQ(SendASPI32Command(&inquiry), SS_COMP);
    EXPECT_EQ(inquiry.adapterCount, 1);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(inquiry.identifier), 11), "SCSI HOST 1");
    EXPECT_EQ(SendASPI32Command(&rescan), SS_COMP);
}

TEST_F(ScsiGenericBackend, GoodInquiryFillsTheBlockAndTheBuffer) {
    sysfs.add(0, 2, 0, 3, 0);
    Bytes answer(36, 0);
    std::memcpy(answer.data() + 8, "KORVA   SX-2500C        1.05", 28);
    kernel->device("/dev/sg0").answer = sg_kit::good(answer);
    install();
    Bytes data(36, 0);
    const auto block = send(0, 3, kSgInquiry, SRB_DIR_IN, &data);

    EXPECT_EQ(block.status, SS_COMP);
    EXPECT_EQ(block.hostAdapterStatus, HASTAT_OK);
    EXPECT_EQ(block.targetStatus, SCSI_STATUS_GOOD);
    EXPECT_EQ(data, answer);
    EXPECT_EQ(AspiErrorText(), "");

    ASSERT_EQ(kernel->requests.size(), 1u);
    const auto& request = kernel->requests[0];
    EXPECT_EQ(request.interfaceId, 'S');
    EXPECT_EQ(request.direction, SG_DXFER_FROM_DEV);
    EXPECT_EQ(request.cdb, kSgInquiry);
    EXPECT_EQ(request.dataLength, 36u);
    EXPECT_EQ(request.senseRoom, 14u);
    EXPECT_EQ(request.timeout, kScsiGenericTimeout);
    // Opened without waiting, then switched to waiting I/O, and closed again.
    ASSERT_EQ(kernel->opens.size(), 2u); // the backend's first look, and this command
    EXPECT_EQ(kernel->opens[1].path, "/dev/sg0");
    EXPECT_EQ(kernel->opens[1].flags, O_RDWR | O_NONBLOCK);
    EXPECT_EQ(kernel->flagChanges, (std::vector<int>{O_RDWR}));
    EXPECT_EQ(kernel->openDescriptors(), 0u);
}

TEST_F(ScsiGenericBackend, DirectionFollowsTheFlagsAndTheLength) {
    sysfs.add(0, 0, 0, 1, 0);
    kernel->device("/dev/sg0");
    install();
    Bytes out = {1, 2, 3, 4, 5};
    EXPECT_EQ(send(0, 1, {0x2D, 0, 0, 0, 0, 0, 0, 0, 5, 0}, SRB_DIR_OUT, &out).status, SS_COMP);
    EXPECT_EQ(send(0, 1, {0, 0, 0, 0, 0, 0}, SRB_DIR_IN).status, SS_COMP);
    ASSERT_EQ(kernel->requests.size(), 2u);
    EXPECT_EQ(kernel->requests[0].direction, SG_DXFER_TO_DEV);
    EXPECT_EQ(kernel->requests[0].dataOut, out);
    EXPECT_EQ(kernel->requests[1].direction, SG_DXFER_NONE);
    EXPECT_FALSE(kernel->requests[1].hasData);
    EXPECT_EQ(kernel->requests[1].dataLength, 0u);
}

TEST_F(ScsiGenericBackend, CheckConditionIsACommandErrorWithSense) {
    sysfs.add(0, 0, 0, 1, 0);
    kernel->device("/dev/sg0").answer = sg_kit::checkCondition(5, 0x24, 0);
    install();
    const auto block = send(0, 1, {0xD9, 0, 0, 0, 9, 0}, SRB_DIR_IN);
    EXPECT_EQ(block.status, SS_ERR);
    EXPECT_EQ(block.hostAdapterStatus, HASTAT_OK);
    EXPECT_EQ(block.targetStatus, SCSI_STATUS_CHECK_CONDITION);
    EXPECT_EQ(block.sense[0], 0x70);
    EXPECT_EQ(block.sense[2], 5);
    EXPECT_EQ(block.sense[12], 0x24);
    EXPECT_EQ(block.sense[13], 0);
    EXPECT_EQ(block.sense[14], 0); // 14 bytes asked for, no more written
    EXPECT_EQ(AspiErrorText(), "");
}

TEST_F(ScsiGenericBackend, TransportErrorsGiveTheHostAdapterStatus) {
    sysfs.add(0, 0, 0, 1, 0);
    kernel->device("/dev/sg0").script = {sg_kit::hostStatus(0x01), sg_kit::hostStatus(0x07)};
    install();
    auto block = send(0, 1, kSgInquiry, SRB_DIR_IN);
    EXPECT_EQ(block.status, SS_ERR);
    EXPECT_EQ(block.hostAdapterStatus, HASTAT_SEL_TO);
    block = send(0, 1, kSgInquiry, SRB_DIR_IN);
    EXPECT_EQ(block.status, SS_ERR);
    EXPECT_EQ(block.hostAdapterStatus, 0x14);
    EXPECT_EQ(AspiErrorText(), "/dev/sg0 (0:0:1:0, KORVA SX-2500C): host status 0x07.");
}

TEST_F(ScsiGenericBackend, ATimeOutIsACommandError) {
    sysfs.add(0, 0, 0, 1, 0);
    kernel->device("/dev/sg0").answer = sg_kit::driverTimeout();
    install();
    const auto block = send(0, 1, {0xFF, 0, 0xC3, 0, 0, 0, 0, 0, 0, 0}, SRB_DIR_IN);
    EXPECT_EQ(block.status, SS_ERR);
    EXPECT_EQ(block.hostAdapterStatus, 0x0B);
    EXPECT_EQ(kernel->requests.at(0).timeout, kScsiGenericEraseTimeout);
    EXPECT_NE(AspiErrorText().find("no answer within 300 s"), std::string::npos);
}

TEST_F(ScsiGenericBackend, AVanishedDeviceIsACleanErrorAndLeaksNothing) {
    sysfs.add(0, 0, 0, 1, 0);
    auto& device = kernel->device("/dev/sg0");
    install();
    device.ioctlError = ENODEV;
    auto block = send(0, 1, kSgInquiry, SRB_DIR_IN);
    EXPECT_EQ(block.status, SS_ERR);
    EXPECT_EQ(block.hostAdapterStatus, HASTAT_SEL_TO);
    EXPECT_NE(AspiErrorText().find("the device is gone"), std::string::npos);

    device.ioctlError = 0;
    device.openError = ENXIO;
    block = send(0, 1, kSgInquiry, SRB_DIR_IN);
    EXPECT_EQ(block.hostAdapterStatus, HASTAT_SEL_TO);
    EXPECT_NE(AspiErrorText().find("the device is gone"), std::string::npos);

    device.openError = 0;
    device.ioctlError = EIO;
    block = send(0, 1, kSgInquiry, SRB_DIR_IN);
    EXPECT_EQ(block.status, SS_ERR);
    EXPECT_NE(AspiErrorText().find("could not be sent"), std::string::npos);

    EXPECT_EQ(kernel->openDescriptors(), 0u);
    // A position without a device never reaches the kernel.
    const std::size_t opens = kernel->opens.size();
    block = send(0, 2, kSgInquiry, SRB_DIR_IN);
    EXPECT_EQ(block.hostAdapterStatus, HASTAT_SEL_TO);
    EXPECT_EQ(AspiErrorText(), "");
    EXPECT_EQ(kernel->opens.size(), opens);
}

TEST_F(ScsiGenericBackend, ADeviceThatCameBackUnderAnotherNumberIsFound) {
    sysfs.add(0, 1, 0, 3, 0);
    kernel->device("/dev/sg0");
    install();
    // The scanner leaves and comes back as /dev/sg4 at the same address.
    sysfs.remove(0);
    sysfs.add(4, 1, 0, 3, 0);
    kernel->device("/dev/sg0").openError = ENOENT;
    kernel->device("/dev/sg4");
    auto block = send(0, 3, kSgInquiry, SRB_DIR_IN);
    EXPECT_EQ(block.status, SS_COMP);
    EXPECT_EQ(AspiErrorText(), "");
    ASSERT_EQ(kernel->requests.size(), 1u);
    EXPECT_EQ(kernel->requests[0].path, "/dev/sg4");

    // Gone during a command: not sent again, and the next goes to the new node.
    sysfs.remove(4);
    sysfs.add(5, 1, 0, 3, 0);
    kernel->device("/dev/sg5");
    kernel->device("/dev/sg4").ioctlError = ENODEV;
    block = send(0, 3, {0xFF, 0, 0x65, 0, 0, 0, 0, 0, 0, 0}, SRB_DIR_IN);
    EXPECT_EQ(block.status, SS_ERR);
    EXPECT_EQ(block.hostAdapterStatus, HASTAT_SEL_TO);
    EXPECT_EQ(kernel->requests.size(), 2u);
    EXPECT_EQ(send(0, 3, kSgInquiry, SRB_DIR_IN).status, SS_COMP);
    EXPECT_EQ(kernel->requests.back().path, "/dev/sg5");
    EXPECT_EQ(kernel->openDescriptors(), 0u);
}

TEST_F(ScsiGenericBackend, ANewDeviceIsSeenOnceSysfsHasBeenReadAgain) {
    sysfs.add(0, 4, 0, 0, 0);
    kernel->device("/dev/sg0");
    install();
    // A scanner switched on later, on a host with a lower number.
    sysfs.add(2, 1, 0, 1, 0);
    kernel->device("/dev/sg2");
    // Read just now: the position stays empty...
    EXPECT_EQ(send(1, 1, kSgInquiry, SRB_DIR_IN).status, SS_INVALID_HA);
    // ...until a second has passed; the first host keeps adapter 0.
    AdvanceClock(1000);
    EXPECT_EQ(send(1, 1, kSgInquiry, SRB_DIR_IN).status, SS_COMP);
    EXPECT_EQ(send(0, 0, kSgInquiry, SRB_DIR_IN).status, SS_COMP);
    ASSERT_EQ(kernel->requests.size(), 2u);
    EXPECT_EQ(kernel->requests[0].path, "/dev/sg2");
    EXPECT_EQ(kernel->requests[1].path, "/dev/sg0");
}

TEST_F(ScsiGenericBackend, NoPermissionSaysWhatToDo) {
    sysfs.add(0, 0, 0, 1, 0);
    kernel->device("/dev/sg0").openError = EACCES;
    install();
    const std::string expected = "/dev/sg0 (0:0:1:0, KORVA SX-2500C): permission denied: run as "
                                 "root or add the user to group \"disk\".";
    EXPECT_EQ(AspiAccessProblems(), (std::vector<std::string>{expected}));
    EXPECT_EQ(AspiNotes().back(), "SCSI generic: " + expected);
    const auto block = send(0, 1, kSgInquiry, SRB_DIR_IN);
    EXPECT_EQ(block.status, SS_ERR);
    EXPECT_EQ(AspiErrorText(), expected);
}

// The system's calls behind the seam, on a file that is no SCSI device.
TEST(ScsiGenericSystem, SystemCallsReportTheirErrors) {
    auto kernel = SystemScsiGenericKernel();
    int error = 0;
    EXPECT_LT(kernel->open("/nonexistent/sg0", O_RDWR | O_NONBLOCK, error), 0);
    EXPECT_EQ(error, ENOENT);
    const int fd = kernel->open("/dev/null", O_RDWR | O_NONBLOCK, error);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(kernel->setFlags(fd, O_RDWR, error), 0);
    sg_io_hdr_t header{};
    header.interface_id = 'S';
    EXPECT_LT(kernel->ioctl(fd, SG_IO, &header, error), 0);
    EXPECT_NE(error, 0);
    EXPECT_EQ(kernel->close(fd), 0);
    EXPECT_EQ(kernel->ownerGroup("/dev/null"), "root");
    EXPECT_EQ(kernel->ownerGroup("/nonexistent"), "");
}

// Talks to the SCSI generic devices of this machine, when it has any: an
// INQUIRY, which changes nothing on a device.
TEST(ScsiGenericSystem, InquiryOfARealDevice) {
    const auto devices = ReadScsiGenericDevices("/sys");
    if (devices.empty())
        GTEST_SKIP() << "no /dev/sg device on this machine";
    auto backend = std::make_shared<ScsiGenericAspi>(SystemScsiGenericKernel(), "/sys");
    if (!backend->accessProblems().empty())
        GTEST_SKIP() << backend->accessProblems().front();
    std::vector<int> hosts;
    const auto positions = MapToAspi(devices, hosts);
    for (std::size_t i = 0; i < devices.size(); ++i) {
        if (!positions[i].reachable())
            continue;
        SRB_ExecSCSICmd block{};
        block.command = SC_EXEC_SCSI_CMD;
        block.target = static_cast<BYTE>(positions[i].target);
        block.flags = SRB_DIR_IN;
        block.senseLength = 14;
        block.cdbLength = 6;
        std::memcpy(block.cdb, kSgInquiry.data(), kSgInquiry.size());
        BYTE data[36] = {};
        block.dataLength = sizeof data;
        ASSERT_TRUE(backend->execute(positions[i].adapter, block, data));
        EXPECT_EQ(block.status, SS_COMP) << devices[i].describe() << ": " << AspiErrorText();
        return;
    }
    GTEST_SKIP() << "no SCSI generic device at a reachable position";
}
