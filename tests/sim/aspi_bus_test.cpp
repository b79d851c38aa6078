#include "bus_fixture.h"

#include "platform/bus_trace.h"
#include "platform/device_notification.h"

using namespace platform;

namespace {

const std::vector<BYTE> kTestUnitReady{0x00, 0, 0, 0, 0, 0};
const std::vector<BYTE> kAspiInquiry{0x12, 0, 0, 0, 36, 0};
const std::vector<BYTE> kRestart{0xFF, 0, 0xC7, 0, 0, 0, 0, 0, 0, 0};

const char* const kAspiScanner = "[Scanner]\n"
                                 "Product=SX-2500C\n"
                                 "Revision=1.20\n"
                                 "Transport=ASPI\n"
                                 "Adapter=1\n"
                                 "Target=3\n"
                                 "LeaveTime=1500\n";

} // namespace

class AspiBusTest : public BusFixture {};

TEST_F(AspiBusTest, OnlyTheScannersPositionAnswers) {
    attach({profile("scsi.ini", kAspiScanner)});
    EXPECT_EQ(GetASPI32SupportInfo(), static_cast<DWORD>(SS_COMP) << 8 | 2);

    auto empty = aspi(1, 2, kTestUnitReady);
    EXPECT_EQ(empty.status, SS_ERR);
    EXPECT_EQ(empty.hostAdapterStatus, HASTAT_SEL_TO);

    auto ready = aspi(1, 3, kTestUnitReady);
    EXPECT_EQ(ready.status, SS_COMP);
    EXPECT_EQ(ready.hostAdapterStatus, HASTAT_OK);

    std::vector<BYTE> data(36);
    auto inquiry = aspi(1, 3, kAspiInquiry, SRB_DIR_IN, data);
    EXPECT_EQ(inquiry.status, SS_COMP);
    EXPECT_EQ(std::string(data.begin() + 8, data.end()), "KORVA   SX-2500C        1.20");

    // Adapters beyond the bus are no adapters at all.
    EXPECT_EQ(aspi(2, 3, kTestUnitReady).status, SS_INVALID_HA);
}

TEST_F(AspiBusTest, FailedCommandLeavesSenseInTheBlock) {
    attach({profile("scsi.ini", kAspiScanner)});
    auto block = aspi(1, 3, {0xEE, 0, 0, 0, 0, 0});
    EXPECT_EQ(block.status, SS_ERR);
    EXPECT_EQ(block.hostAdapterStatus, HASTAT_OK);
    EXPECT_EQ(block.targetStatus, SCSI_STATUS_CHECK_CONDITION);
    EXPECT_EQ(block.sense[0], 0x70);
    EXPECT_EQ(block.sense[2] & 0x0F, 5);
    EXPECT_EQ(block.sense[12], 0x20);
    EXPECT_EQ(block.sense[13], 0x00);
}

TEST_F(AspiBusTest, RestartedScannerIsGoneUntilItsLeaveTimeHasPassed) {
    attach({profile("scsi.ini", kAspiScanner)});
    ASSERT_EQ(aspi(1, 3, kRestart).status, SS_COMP);
    auto gone = aspi(1, 3, kTestUnitReady);
    EXPECT_EQ(gone.status, SS_ERR);
    EXPECT_EQ(gone.hostAdapterStatus, HASTAT_SEL_TO);
    AdvanceClock(1499);
    EXPECT_EQ(aspi(1, 3, kTestUnitReady).hostAdapterStatus, HASTAT_SEL_TO);
    AdvanceClock(1);
    EXPECT_EQ(aspi(1, 3, kTestUnitReady).status, SS_COMP);
    // A SCSI scanner announces nothing to the image device class.
    EXPECT_FALSE(NextDeviceArrival().has_value());
}

TEST_F(AspiBusTest, HungBusNeverSignalsCompletion) {
    attach({profile("scsi.ini", std::string(kAspiScanner) + "HangAfter=1\n")});
    EXPECT_EQ(aspi(1, 3, kTestUnitReady).status, SS_COMP);
    EXPECT_EQ(aspi(1, 3, kTestUnitReady).status, SS_PENDING);
}

TEST_F(AspiBusTest, BusTraceRecordsEveryPositionTried) {
    const std::string tracePath = scratch_.file("bus.trace");
    SetBusTraceFile(tracePath);
    attach({profile("scsi.ini", kAspiScanner)});
    for (int adapter = 0; adapter < 7; ++adapter)
        for (int target = 0; target < 7; ++target)
            aspi(adapter, target, kTestUnitReady);
    SetBusTraceFile("");
    const std::string trace = testing_support::readFile(tracePath);
    int lines = 0;
    for (char c : trace)
        lines += c == '\n';
    EXPECT_EQ(lines, 49);
    EXPECT_NE(trace.find("ASPI 0:0:0 00 00 00 00 00 00 none 0 -> status 04 ha 11"),
              std::string::npos);
    EXPECT_NE(trace.find("ASPI 1:3:0 00 00 00 00 00 00 none 0 -> status 01 ha 00"),
              std::string::npos);
    EXPECT_NE(trace.find("ASPI 6:6:0 00 00 00 00 00 00 none 0 -> status 81"), std::string::npos);
}
