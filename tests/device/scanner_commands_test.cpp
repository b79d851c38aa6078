#include "device/error_text.h"
#include "firmware/address_data.h"
#include "platform/bus_trace.h"
#include "scanner_fixture.h"

#include <algorithm>

namespace {

const char* const kUsb = "Product=SX-4600C\nRevision=0300\nBus=USB\n";
const char* const kAspi = "Product=SX-4600C\nRevision=0300\nTransport=ASPI\n";

bool startsWith(const std::string& line, const std::string& head) {
    return line.rfind(head, 0) == 0;
}

std::size_t count(const std::vector<std::string>& lines, const std::string& head) {
    return static_cast<std::size_t>(std::count_if(
        lines.begin(), lines.end(), [&](const std::string& l) { return startsWith(l, head); }));
}

std::string fault(const std::string& command, const std::string& sense,
                  const std::string& more = "") {
    return "[Fault1]\nCommand=" + command + "\nSense=" + sense + "\n" + more;
}

} // namespace

class ScannerCommandsTest : public ScannerFixture, public testing::WithParamInterface<const char*> {
protected:
    void open(const std::string& moreSections = "", const std::string& keys = "") {
        attach({profile("scanner", GetParam() + keys, moreSections)});
        scanner.quietErrors = 1;
        ASSERT_EQ(scanner.openWith({"STI\\KORVA SX-4600C USB", "ASPI\\KORVA   SX-4600C"}), 1);
        clearTrace("scanner");
    }
    // Only the command part of each trace line: kind, block, direction, length.
    std::vector<std::string> commands() {
        std::vector<std::string> lines = trace("scanner");
        for (auto& line : lines)
            line = line.substr(0, line.find(" ->"));
        return lines;
    }
};

INSTANTIATE_TEST_SUITE_P(BothTransports, ScannerCommandsTest, testing::Values(kUsb, kAspi));

TEST_P(ScannerCommandsTest, WriteMemoryGoesOutInPiecesOf1024) {
    open("", "Legacy=1\n");
    std::vector<std::uint8_t> bytes(2500, 0x5A);
    scanner.writeMemory(0x10000000, bytes.data(), bytes.size());
    EXPECT_EQ(commands(), (std::vector<std::string>{
                              "memwrite 2D 00 10 00 00 00 00 04 00 00 out 1024",
                              "memwrite 2D 00 10 00 04 00 00 04 00 00 out 1024",
                              "memwrite 2D 00 10 00 08 00 00 01 C4 00 out 452",
                          }));
    scanner.writeMemory(0x10000000, bytes.data(), 0);
    EXPECT_EQ(trace("scanner").size(), 3u);

    CAddressData record(0x10000000, nullptr, 2500);
    scanner.readMemory(record);
    EXPECT_EQ(record.data()[0], 0x5A & virtualScanner().flashByte(0, 0x10000000));
    EXPECT_EQ(count(trace("scanner"), "memread 2E 00 10 00 08 00 00 01 C4 00 in 452"), 1u);
}

TEST_P(ScannerCommandsTest, ChecksumOfOneByteSendsEqualBounds) {
    open();
    const std::uint32_t sum = scanner.checksum(0x10000100, 1);
    EXPECT_EQ(sum, virtualScanner().flashByte(0, 0x10000100));
    EXPECT_EQ(commands(), (std::vector<std::string>{
                              "checksumrange FF 00 B2 00 00 00 00 00 0C 00 out 12",
                              "checksumread FF 00 B3 00 00 00 00 00 0C 00 in 12",
                          }));
}

TEST_P(ScannerCommandsTest, IdentifyInModeThreeSendsOnlyTestUnitReady) {
    open();
    const std::string before = scanner.inquiryString;
    scanner.identify(3);
    EXPECT_EQ(commands(), std::vector<std::string>{"tur 00 00 00 00 00 00 none 0"});
    EXPECT_EQ(scanner.legacyDevice, 1);
    EXPECT_EQ(scanner.inquiryString, before);
    EXPECT_NE(scanner.flashWriter.get(), nullptr);
}

TEST_P(ScannerCommandsTest, ModeCommandsAndProcessors) {
    open("[Processor1]\nName=MAIN DRIVE\nVersion=12a\n");
    std::string name, version;
    ASSERT_EQ(scanner.processorInfo(1, name, version), 1);
    EXPECT_EQ(name, "MAIN DRIVE");
    EXPECT_EQ(version, "12a");
    EXPECT_EQ(scanner.processorVersion(1), 12);
    EXPECT_EQ(scanner.processorInfo(5, name, version), 0);
    EXPECT_EQ(scanner.processorVersion(5), 0);
    scanner.selectProcessor(1);
    EXPECT_EQ(count(trace("scanner"), "processorinfo FF 00 CF 00 00 01 00 00 18 00 in 24"), 2u);
    EXPECT_EQ(count(trace("scanner"), "select D9 00 00 00 01 00 none 0"), 1u);
}

TEST_P(ScannerCommandsTest, ZeroProcessorReplyCountsAsNone) {
    open("[Processor1]\nName=MAIN DRIVE\nVersion=5\nZeroReply=1\n");
    std::string name = "x", version = "y";
    EXPECT_EQ(scanner.processorInfo(1, name, version), 0);
    EXPECT_EQ(name, "x");
    EXPECT_EQ(scanner.processorVersion(1), 0);
}

TEST_P(ScannerCommandsTest, FirmwareEraseFollowsTheModel) {
    open("", "Legacy=1\n");
    scanner.eraseFirmwareArea();
    EXPECT_EQ(commands(), std::vector<std::string>{"erase FF 00 C3 00 00 00 00 00 00 00 none 0"});
    scanner.inquiryString = "KORVA   SX-9999         0100";
    try {
        scanner.eraseFirmwareArea();
        FAIL() << "an unknown model must not be erased";
    } catch (const CCmdError& error) {
        EXPECT_EQ(errorText(error), "Unknown Error");
    }
}

TEST_P(ScannerCommandsTest, HardwareErrorGetsTheDiagnosticDetail) {
    struct Case {
        const char* diagnostic;
        const char* text;
    };
    for (const Case& c : {Case{"0", "Scanner hardware problem."},
                          Case{"E300", "Scanner hardware problem. - Fan Motor Error"},
                          Case{"1234", "Scanner hardware problem. - 1234"}}) {
        SCOPED_TRACE(c.diagnostic);
        open(fault("select", "4/80/04", std::string("Diagnostic=") + c.diagnostic + "\n"));
        try {
            scanner.selectProcessor(0);
            FAIL() << "the fault must fail the command";
        } catch (const CCmdError& error) {
            EXPECT_EQ(error.senseKey(), 4);
            EXPECT_EQ(errorText(error), c.text);
        }
        EXPECT_EQ(count(trace("scanner"), "diagnostic 1C 00 00 00 08 00 in 8"), 1u);
        scanner.close();
        simulation_.reset();
    }
}

TEST_P(ScannerCommandsTest, FailingDiagnosticKeepsTheOriginalErrorAndTranslatesLaterOnes) {
    open(fault("select", "4/80/04", "Count=0\nDiagnostic=E240\n") +
         "[Fault2]\nCommand=diagnostic\nSense=5/20/00\n");
    try {
        scanner.selectProcessor(0);
        FAIL();
    } catch (const CCmdError& error) {
        EXPECT_TRUE(error.is(4, 0x8004));
        EXPECT_EQ(error.detail(), "");
    }
    try {
        scanner.selectProcessor(0);
        FAIL();
    } catch (const CCmdError& error) {
        EXPECT_EQ(error.detail(), "Main Motor Error");
    }
}

TEST_P(ScannerCommandsTest, OtherErrorsPassUntranslated) {
    open(fault("select", "5/24/00"));
    try {
        scanner.selectProcessor(0);
        FAIL();
    } catch (const CCmdError& error) {
        EXPECT_EQ(errorText(error), "Invalid cdb");
    }
    EXPECT_EQ(count(trace("scanner"), "diagnostic"), 0u);
}

class StiSenseTest : public ScannerFixture {};

TEST_F(StiSenseTest, FailedCommandIsFollowedByRequestSense) {
    attach({profile("scanner", kUsb, fault("select", "5/24/00"))});
    ASSERT_EQ(scanner.openWith({"STI\\KORVA SX-4600C USB"}), 1);
    clearTrace("scanner");
    EXPECT_THROW(scanner.selectProcessor(0), CCmdError);
    const auto lines = trace("scanner");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(startsWith(lines[0], "select D9"));
    EXPECT_EQ(lines[1], "requestsense 03 00 00 00 0E 00 in 14 -> GOOD");
}

TEST_F(StiSenseTest, FailingRequestSenseIsNotAskedForItsOwnSense) {
    attach(
        {profile("scanner", kUsb,
                 fault("select", "5/24/00") + "[Fault2]\nCommand=requestsense\nSense=4/44/00\n")});
    ASSERT_EQ(scanner.openWith({"STI\\KORVA SX-4600C USB"}), 1);
    clearTrace("scanner");
    try {
        scanner.selectProcessor(0);
        FAIL();
    } catch (const CCmdError& error) {
        // Nothing came back from the device: the sense area is as it was.
        EXPECT_EQ(error.senseKey(), 0);
    }
    EXPECT_EQ(trace("scanner").size(), 2u);
    EXPECT_EQ(count(trace("scanner"), "requestsense"), 1u);
}

TEST_F(StiSenseTest, ThirtyTwoBitLayoutWorksToo) {
    platform::SetWow64Override(0);
    attach({profile("scanner", kUsb, fault("select", "5/24/00"))});
    ASSERT_EQ(scanner.openWith({"STI\\KORVA SX-4600C USB"}), 1);
    EXPECT_EQ(scanner.inquiryString, "KORVA   SX-4600C        0300");
    EXPECT_TRUE(scanner.linkFlag());
    try {
        scanner.selectProcessor(0);
        FAIL();
    } catch (const CCmdError& error) {
        EXPECT_EQ(errorText(error), "Invalid cdb");
    }
}

class AspiScanTest : public ScannerFixture {};

TEST_F(AspiScanTest, NoMatchTriesEveryPositionOnce) {
    const std::string busTrace = scratch.file("bus.trace");
    platform::SetBusTraceFile(busTrace);
    attach({profile("scanner", kAspi)});
    EXPECT_EQ(scanner.openWith({"ASPI\\KORVA   SX-3500C"}), 0);
    platform::SetBusTraceFile("");
    std::stringstream stream(testing_support::readFile(busTrace));
    std::size_t units = 0, inquiries = 0;
    for (std::string line; std::getline(stream, line);) {
        if (!startsWith(line, "ASPI "))
            continue;
        const std::string block = line.substr(line.find(' ', 5) + 1);
        units += startsWith(block, "00 00 00 00 00 00 ");
        inquiries += startsWith(block, "12 00 00 00 24 00 ");
    }
    EXPECT_EQ(units, 49u);
    EXPECT_EQ(inquiries, 49u);
    EXPECT_EQ(scanner.scsi().adapter(), -1);
    EXPECT_EQ(scanner.scsi().target(), -1);
}

TEST_F(AspiScanTest, HungBusFailsTheCommandInsteadOfWaitingForEver) {
    platform::SetManualClock(false);
    platform::SetTimeScale(0.0001);
    // Opening takes a dozen commands; a later one hangs.
    attach({profile("scanner", std::string(kAspi) + "HangAfter=20\n")});
    ASSERT_EQ(scanner.openWith({"ASPI\\KORVA   SX-4600C"}), 1);
    bool failed = false;
    for (int i = 0; i < 30 && !failed; ++i) {
        try {
            scanner.testUnitReady();
        } catch (const CCmdError& error) {
            failed = true;
            EXPECT_FALSE(errorText(error).empty());
        }
    }
    EXPECT_TRUE(failed);
    platform::SetTimeScale(1.0);
}
