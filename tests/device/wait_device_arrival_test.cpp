#include "device/caution_text.h"
#include "device/cdb.h"
#include "device/wait_device_arrival.h"
#include "device/wait_dialog_templates.h"
#include "platform/message_box.h"
#include "scanner_fixture.h"
#include "wait_dialog_support.h"

#include <algorithm>

namespace {

using Outcome = std::pair<int, std::uint64_t>;
const std::string kId4600 = "STI\\KORVA SX-4600C USB";
const std::string kId1400 = "STI\\KORVA SX-1400C USB";
const std::string kId1300 = "STI\\KORVA SX-1300C USB";

std::string usbScanner(const std::string& product, const std::string& more = "") {
    return "Product=" + product + "\nRevision=2100\nBus=USB\nDownloadCode=*\n" + more;
}

// Its download mode is a device of its own: it leaves on the update mode command.
std::string reenumerating(const std::string& more) {
    return usbScanner("SX-4600C", "LeavesOnUpdateMode=1\n" + more);
}

} // namespace

class WaitDeviceArrivalTest : public ScannerFixture {
protected:
    // Opened as `identifier` and, unless told otherwise, armed by the download
    // SEND that the mode commands need.
    void attachScanner(const std::string& keys, const std::string& identifier, bool armed = true) {
        attach({profile("scanner", keys)});
        ASSERT_EQ(scanner.openWith({identifier}), 1);
        const std::uint8_t send[10] = {0x2A, 0, 0x84, 0, 0, 0x64, 0, 0, 0x20, 0};
        const std::vector<std::uint8_t> code(32, 'X');
        if (armed)
            scanner.executeOut(CCDB(send), code.data(), code.size());
        clearTrace("scanner");
    }
    Outcome run(int mode, const std::string& identifier, int silent = 0) {
        CWaitDeviceArrival wait(scanner);
        wait.mode = mode;
        wait.identifier = identifier;
        wait.silent = silent;
        return wait_test::RunModal(wait);
    }
    std::vector<std::string> kinds() {
        std::vector<std::string> lines = trace("scanner");
        for (auto& line : lines)
            line = line.substr(0, line.find(' '));
        return lines;
    }
    std::vector<platform::ScriptedFrontEnd::Box> boxes() { return surroundings.frontEnd->boxes(); }

    wait_test::Surroundings surroundings;
};

class WaitDeviceArrivalMode2Test : public WaitDeviceArrivalTest,
                                   public testing::WithParamInterface<unsigned> {};

// Back before the 12 s check, and back after it (that check fails, the arrival
// starts another).
INSTANTIATE_TEST_SUITE_P(LeaveTimes, WaitDeviceArrivalMode2Test, testing::Values(6000u, 15000u));

TEST_P(WaitDeviceArrivalMode2Test, ChecksFourSecondsAfterTheScannerArrives) {
    attachScanner(reenumerating("LeaveTime=" + std::to_string(GetParam()) + "\n"), kId4600);
    EXPECT_EQ(run(2, kId4600), Outcome(1, GetParam() + 4000));
    // Reopened with the identifier alone and no identification commands.
    const std::vector<std::string> seen = kinds();
    EXPECT_EQ(seen.front(), "updatemode");
    EXPECT_EQ(std::count(seen.begin(), seen.end(), "inquiry"), 0);
    EXPECT_EQ(scanner.identifiers, std::vector<std::string>{kId4600});
    EXPECT_EQ(scanner.legacyDevice, 1);
    EXPECT_EQ(surroundings.frontEnd
                  ->textsOf(wait_dialogs::kWaitArrivalTemplateId, wait_dialogs::kMessageText)
                  .back(),
              CautionText());
    EXPECT_TRUE(boxes().empty());
}

TEST_F(WaitDeviceArrivalTest, Mode2GivesUpAtTheBoundWhenTheScannerNeverReturns) {
    attachScanner(reenumerating("NeverReturn=1\n"), kId4600);
    EXPECT_EQ(run(2, kId4600), Outcome(2, 180000));
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].caption, "Error");
    EXPECT_EQ(boxes()[0].text, wait_test::kFailureText);
    EXPECT_EQ(boxes()[0].type, static_cast<unsigned>(platform::MB_ICONSTOP));
    wait_test::ExpectJapaneseForEachLine(wait_test::kFailureText + "\n" + CautionText());
}

TEST_F(WaitDeviceArrivalTest, Mode2TakesALastLookAtTheBound) {
    // Back at 179 s: the check that arrival starts would come after the bound.
    attachScanner(reenumerating("LeaveTime=179000\n"), kId4600);
    EXPECT_EQ(run(2, kId4600), Outcome(1, 180000));
}

struct SiblingCase {
    int mode;
    std::string product, identifier, twin;
    unsigned checkAfter;
    std::string request, caption;
};

class WaitDeviceArrivalSiblingTest : public WaitDeviceArrivalTest,
                                     public testing::WithParamInterface<SiblingCase> {};

INSTANTIATE_TEST_SUITE_P(
    Modes0And1, WaitDeviceArrivalSiblingTest,
    testing::Values(SiblingCase{0, "SX-1400C", kId1400, kId1300, 4000,
                                "Please disconnect USB cable and reconnect it.", ""},
                    // Found through the twin: it comes back under its sibling's name.
                    SiblingCase{
                        1, "SX-1400C", kId1300, kId1400, 12000,
                        "Please turn off the scanner, wait for 5 seconds, and turn on again.",
                        "Error"}));

TEST_P(WaitDeviceArrivalSiblingTest, ReopensWithTheIdentifierAndItsTwin) {
    const SiblingCase& c = GetParam();
    attachScanner(usbScanner(c.product, "DownloadRevision=B100\n"), kId1400);
    EXPECT_EQ(run(c.mode, c.identifier), Outcome(1, c.checkAfter));
    EXPECT_EQ(scanner.identifiers, (std::vector<std::string>{c.identifier, c.twin}));
    EXPECT_EQ(trace("scanner").front().rfind("prepare FE 00 65 00 00 0" + std::to_string(c.mode)),
              0u);
    EXPECT_EQ(kinds().back(), "inquiry");
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].text, c.request);
    EXPECT_EQ(boxes()[0].caption, c.caption);
    wait_test::ExpectJapaneseForEachLine(c.request + "\nWait...");
}

class WaitDeviceArrivalRejectTest : public WaitDeviceArrivalTest,
                                    public testing::WithParamInterface<std::string> {};

INSTANTIATE_TEST_SUITE_P(Mode0, WaitDeviceArrivalRejectTest,
                         testing::Values("DownloadRevision=A100\n",
                                         "DownloadProduct=SX-4600C\nDownloadRevision=B100\n",
                                         "NeverReturn=1\n"));

TEST_P(WaitDeviceArrivalRejectTest, AScannerNotBackInItsDownloadFirmwareFails) {
    attachScanner(usbScanner("SX-1400C", GetParam()), kId1400);
    EXPECT_EQ(run(0, kId1400).first, 2);
    ASSERT_EQ(boxes().size(), 2u); // the request, then the failure
    EXPECT_EQ(boxes()[1].text, wait_test::kFailureText);
    EXPECT_EQ(boxes()[1].type, static_cast<unsigned>(platform::MB_ICONSTOP));
}

TEST_F(WaitDeviceArrivalTest, SilentLogsTheRequestAndTheFailure) {
    attachScanner(usbScanner("SX-1400C", "DownloadRevision=A100\n"), kId1400);
    EXPECT_EQ(run(1, kId1400, 1).first, 2);
    EXPECT_TRUE(boxes().empty());
    const std::string log = surroundings.log();
    const auto request =
        log.find("Please turn off the scanner, wait for 5 seconds, and turn on again.\r\n");
    ASSERT_NE(request, std::string::npos);
    EXPECT_NE(log.find(wait_test::kFailureText + "\r\n", request), std::string::npos);
}

class WaitDeviceArrivalCommandErrorTest : public WaitDeviceArrivalTest,
                                          public testing::WithParamInterface<int> {};

INSTANTIATE_TEST_SUITE_P(AllModes, WaitDeviceArrivalCommandErrorTest, testing::Values(0, 1, 2));

TEST_P(WaitDeviceArrivalCommandErrorTest, AFailingModeCommandEndsAtOnceWithoutAMessage) {
    attachScanner(usbScanner("SX-1400C"), kId1400, false); // not armed: 5/2C/00
    EXPECT_EQ(run(GetParam(), kId1400), Outcome(2, 0));
    EXPECT_TRUE(boxes().empty());
    const std::vector<std::string> seen = kinds();
    EXPECT_EQ(seen.front(), GetParam() == 2 ? "updatemode" : "prepare");
    EXPECT_EQ(std::count(seen.begin(), seen.end(), "tur"), 0); // no reopening
}
