// The ASPI transport and the scanner object over the SCSI generic backend,
// with scripted devices in place of the kernel.
#include "device/cmd_error.h"
#include "device/config_dialog.h"
#include "device/error_text.h"
#include "device/scanner.h"
#include "device/scsi_transport.h"
#include "platform/bus_trace.h"
#include "platform/clock.h"
#include "platform/front_end.h"
#include "platform/scripted_front_end.h"
#include "platform/scripted_scsi_kernel.h"
#include "sim/scanner_profile.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace platform;
using sg_kit::Bytes;

namespace {

Bytes inquiryData(const std::string& identification) {
    Bytes data(36, 0);
    std::copy(identification.begin(), identification.end(), data.begin() + 8);
    return data;
}

class ListedScsi : public CScsi {
public:
    explicit ListedScsi(std::vector<std::string> list) : list_(std::move(list)) {}
    ~ListedScsi() override { close(); }
    std::string identifier(std::size_t n) const override {
        return n < list_.size() ? list_[n] : std::string();
    }

private:
    std::vector<std::string> list_;
};

class ScsiGenericScan : public testing::Test {
protected:
    // The backend reads sysfs again for empty positions only after a while.
    void SetUp() override { SetManualClock(true); }
    void TearDown() override {
        SetManualClock(false);
        SetBusTraceFile("");
        if (backend)
            RemoveAspiBackend(backend);
    }
    void install() {
        backend = std::make_shared<ScsiGenericAspi>(kernel, sysfs.root());
        InstallAspiBackend(backend);
    }
    std::vector<std::string> traceLines() {
        std::stringstream text(testing_support::readFile(trace.file("bus.trace")));
        std::vector<std::string> lines;
        for (std::string line; std::getline(text, line);)
            lines.push_back(line);
        return lines;
    }

    sg_kit::FakeSysfs sysfs;
    testing_support::ScratchDir trace;
    std::shared_ptr<sg_kit::ScriptedKernel> kernel = std::make_shared<sg_kit::ScriptedKernel>();
    std::shared_ptr<ScsiGenericAspi> backend;
};

} // namespace

TEST_F(ScsiGenericScan, WithoutAMatchEveryPositionIsTriedOnce) {
    // A disk on host 0 (adapter 0, target 0), a scanner of another model on
    // host 3 (adapter 1, target 4).
    sysfs.add(0, 0, 0, 0, 0, 0, "ATA", "DISK");
    sysfs.add(1, 3, 0, 4, 0);
    kernel->device("/dev/sg0").answer = sg_kit::good(inquiryData("ATA     DISK"));
    kernel->device("/dev/sg1").answer = sg_kit::good(inquiryData("KORVA   SX-4600C"));
    install();
    SetBusTraceFile(trace.file("bus.trace"));

    ListedScsi scsi({"STI\\KORVA SX-2500C SCSI", "ASPI\\KORVA   SX-2500C"});
    EXPECT_FALSE(scsi.open());
    EXPECT_EQ(scsi.adapter(), -1);
    EXPECT_EQ(scsi.target(), -1);
    EXPECT_EQ(scsi.adapterCount(), 2);

    // 49 positions, TEST UNIT READY (no data, flagged "to host") then INQUIRY
    // for 36 bytes at each.
    const auto lines = traceLines();
    ASSERT_EQ(lines.size(), 98u);
    for (int position = 0; position < 49; ++position) {
        const std::string at =
            "ASPI " + std::to_string(position / 7) + ":" + std::to_string(position % 7) + ":0 ";
        EXPECT_EQ(lines[2 * position].rfind(at + "00 00 00 00 00 00 in 0", 0), 0u)
            << lines[2 * position];
        EXPECT_EQ(lines[2 * position + 1].rfind(at + "12 00 00 00 24 00 in 36", 0), 0u)
            << lines[2 * position + 1];
    }
    // Only the two devices were reached, each with those two commands.
    ASSERT_EQ(kernel->requests.size(), 4u);
    const Bytes tur = {0, 0, 0, 0, 0, 0};
    const Bytes inquiry = {0x12, 0, 0, 0, 0x24, 0};
    EXPECT_EQ(kernel->requests[0].path, "/dev/sg0");
    EXPECT_EQ(kernel->requests[0].cdb, tur);
    EXPECT_EQ(kernel->requests[1].cdb, inquiry);
    EXPECT_EQ(kernel->requests[2].path, "/dev/sg1");
    EXPECT_EQ(kernel->requests[2].cdb, tur);
    EXPECT_EQ(kernel->requests[3].cdb, inquiry);
    EXPECT_EQ(kernel->openDescriptors(), 0u);
}

TEST_F(ScsiGenericScan, TheMatchingDeviceIsOpenedAndCommandsGoToIt) {
    sysfs.add(0, 3, 0, 4, 0);
    kernel->device("/dev/sg0").answer = sg_kit::good(inquiryData("KORVA   SX-2500C        1.05"));
    install();
    ListedScsi scsi({"ASPI\\KORVA SX-2500C", "ASPI\\KORVA   SX-2500C"});
    ASSERT_TRUE(scsi.open());
    EXPECT_EQ(scsi.adapter(), 0);
    EXPECT_EQ(scsi.target(), 4);
    EXPECT_EQ(scsi.deviceName(), "ASPI\\KORVA   SX-2500C");

    // A refused command carries its sense to the error text.
    kernel->device("/dev/sg0").script = {sg_kit::checkCondition(5, 0x24, 0)};
    try {
        const std::uint8_t select[6] = {0xD9, 0, 0, 0, 3, 0};
        scsi.execute(CCDB(select));
        FAIL() << "no error";
    } catch (const CCmdError& error) {
        EXPECT_EQ(error.status(), SS_ERR);
        EXPECT_EQ(errorText(error), "Invalid cdb");
    }
    // A device gone from the bus: a command error that says so.
    kernel->device("/dev/sg0").ioctlError = ENODEV;
    try {
        const std::uint8_t ready[6] = {};
        scsi.execute(CCDB(ready));
        FAIL() << "no error";
    } catch (const CCmdError& error) {
        EXPECT_EQ(errorText(error), "Unknown error. - /dev/sg0 (3:0:4:0, KORVA SX-2500C): the "
                                    "device is gone (No such device).");
    }
    EXPECT_EQ(kernel->openDescriptors(), 0u);
}

TEST_F(ScsiGenericScan, AVirtualScannerBehindTheKernelIsIdentified) {
    sim::VirtualScanner morvi(
        sim::LoadScannerProfile(REFIRM_SOURCE_DIR "/examples/scanners/MORVI_aspi.ini"));
    sysfs.add(0, 1, 0, 2, 0, 6, "KORVA", "MORVI");
    kernel->device("/dev/sg0").scanner = &morvi;
    install();

    CScanner scanner;
    scanner.identifiers = {"STI\\KORVA MORVI USB", "ASPI\\KORVA   MORVI"};
    ASSERT_EQ(scanner.open(0), 1);
    EXPECT_EQ(scanner.transportPrefix(), "ASPI\\");
    EXPECT_EQ(scanner.inquiryString.substr(0, 13), "KORVA   MORVI");
    EXPECT_EQ(scanner.versionString, "1.18");
    EXPECT_EQ(scanner.modelString, "KORVA   MORVI");
    EXPECT_NE(scanner.flashWriter.get(), nullptr);
    // Identification: TEST UNIT READY and INQUIRY of the scan, then its own
    // TEST UNIT READY, INQUIRY and the vendor inquiry page.
    std::vector<int> opcodes;
    for (const auto& request : kernel->requests)
        opcodes.push_back(request.cdb.at(0));
    EXPECT_EQ(opcodes, (std::vector<int>{0x00, 0x12, 0x00, 0x12, 0x12}));
    EXPECT_EQ(kernel->requests.back().cdb, (Bytes{0x12, 0x01, 0xF0, 0, 0x1E, 0}));
    scanner.close();
    EXPECT_EQ(kernel->openDescriptors(), 0u);
}

TEST_F(ScsiGenericScan, NoPermissionIsReportedBeforeNoDevicesFound) {
    sysfs.add(0, 0, 0, 5, 0);
    kernel->device("/dev/sg0").openError = EACCES;
    install();
    auto frontEnd = std::make_shared<ScriptedFrontEnd>();
    SetFrontEnd(frontEnd);
    CScanner scanner;
    CConfig config(scanner);
    config.deviceList = {"ASPI\\KORVA   SX-2500C"};
    EXPECT_EQ(config.findDevice(1), 0);
    SetFrontEnd(nullptr);

    const auto boxes = frontEnd->boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, "/dev/sg0 (0:0:5:0, KORVA SX-2500C): permission denied: run as "
                             "root or add the user to group \"disk\".");
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_EQ(boxes[1].text, "No Devices Found.");
}
