// Failures a profile schedules, one of each kind.
#include "scanner_test_kit.h"

using namespace scanner_kit;

namespace {

const std::string kScanner = "Product=SX-2300C\nRevision=1.00\nLegacy=1\n";

class Faults : public ScannerTest {};

Bytes diagnosticCdb() {
    return {0x1C, 0, 0, 0, 8, 0};
}

} // namespace

TEST_F(Faults, SenseOnTheNthCommandOfAKind) {
    auto scanner = load(kScanner + "[Fault1]\nCommand=memread\nNth=2\nCount=2\nSense=3/80/01\n");
    Host host(*scanner);
    EXPECT_EQ(host.in(memRead(0, 4), 4).status(), "GOOD");
    EXPECT_EQ(host.none(tur()).status(), "GOOD"); // other kinds do not count
    const Answer failed = host.in(memRead(0, 4), 4);
    EXPECT_EQ(failed.status(), "3/80/01");
    EXPECT_TRUE(failed.data.empty());
    EXPECT_EQ(host.in(requestSense(), 18).data[2], 0x03);
    EXPECT_EQ(host.in(memRead(0, 4), 4).status(), "3/80/01");
    EXPECT_EQ(host.in(memRead(0, 4), 4).status(), "GOOD");
}

TEST_F(Faults, HardwareErrorReportsItsDiagnostic) {
    auto scanner = load(kScanner + "[Fault2]\nCommand=memwrite\nNth=1\nCount=0\nSense=4/80/04\n"
                                   "Diagnostic=0x80040001\n");
    Host host(*scanner);
    EXPECT_EQ(host.in(diagnosticCdb(), 8).data, (Bytes{0, 0, 0, 4, 0, 0, 0, 0}));
    EXPECT_EQ(host.out(memWrite(0, 1), Bytes{0}).status(), "4/80/04");
    EXPECT_EQ(scanner->flashByte(0, 0), 'O'); // the failed write did nothing
    EXPECT_EQ(host.in(diagnosticCdb(), 8).data, (Bytes{0, 0, 0, 4, 0x80, 0x04, 0x00, 0x01}));
    // Count=0: every one from then on.
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(host.out(memWrite(0, 1), Bytes{0}).status(), "4/80/04");
}

TEST_F(Faults, AnyCommandCountsEveryKind) {
    auto scanner = load(kScanner + "[Fault1]\nCommand=any\nNth=3\nSense=2/04/01\n");
    Host host(*scanner);
    EXPECT_EQ(host.none(tur()).status(), "GOOD");
    EXPECT_EQ(host.in(inquiry(), 36).status(), "GOOD");
    EXPECT_EQ(host.none(tur()).status(), "2/04/01");
    EXPECT_EQ(host.none(tur()).status(), "GOOD");
}

TEST_F(Faults, CorruptReadInvertsOneByte) {
    auto scanner = load(kScanner + "CorruptReadAt=0x10002\n");
    Host host(*scanner);
    const Bytes back = host.in(memRead(0x10000, 4), 4).data;
    ASSERT_EQ(back.size(), 4u);
    EXPECT_EQ(back[1], 'L');
    EXPECT_EQ(back[2], static_cast<std::uint8_t>(~'D'));
    EXPECT_EQ(scanner->flashByte(0, 0x10002), 'D');
}

TEST_F(Faults, UnpluggedAfterNAnsweredCommands) {
    auto scanner = load(kScanner + "UnplugAfter=3\nLeaveTime=100\n[Processor0]\n");
    Host host(*scanner);
    host.out(Host::downloadCodeCdb(), kCode);
    host.none(restart());                              // 2 answered; off the bus for 100 ms
    EXPECT_EQ(host.none(tur()).status(), "NO DEVICE"); // not counted
    platform::AdvanceClock(100);
    EXPECT_EQ(host.none(tur()).status(), "GOOD");
    EXPECT_FALSE(scanner->present());
    EXPECT_EQ(host.none(tur()).status(), "NO DEVICE");
    platform::AdvanceClock(1000000);
    EXPECT_FALSE(scanner->present());
}

TEST_F(Faults, NeverReturnsAfterARestart) {
    auto scanner = load(kScanner + "NeverReturn=1\n");
    Host host(*scanner);
    bool called = false;
    scanner->setArrivalHook([&](std::uint64_t) { called = true; });
    EXPECT_EQ(host.none(restart()).status(), "GOOD");
    platform::AdvanceClock(1000000);
    EXPECT_FALSE(scanner->present());
    EXPECT_EQ(host.none(tur()).status(), "NO DEVICE");
    EXPECT_FALSE(called);
    EXPECT_EQ(scanner->appearance(), 1u);
}

TEST_F(Faults, NeverReturnsAfterUpdateModeEvenWhenItWouldStay) {
    auto scanner = load(kScanner + "NeverReturn=1\nLeavesOnUpdateMode=0\n");
    Host host(*scanner);
    host.out(Host::downloadCodeCdb(), kCode);
    EXPECT_EQ(host.none(updateMode()).status(), "GOOD");
    platform::AdvanceClock(1000000);
    EXPECT_FALSE(scanner->present());
}

TEST_F(Faults, NoVendorPage) {
    auto scanner = load(kScanner + "VendorPage=0\n");
    Host host(*scanner);
    EXPECT_EQ(host.in(vendorPage(), 30).status(), "5/24/00");
    EXPECT_EQ(host.in(inquiry(), 36).status(), "GOOD");
}

TEST_F(Faults, ZeroProcessorReply) {
    auto scanner = load(kScanner + "[Processor0]\nZeroReply=1\n");
    Host host(*scanner);
    const Answer reply = host.in(processorInfo(0), 24);
    EXPECT_EQ(reply.status(), "GOOD");
    EXPECT_EQ(reply.data, Bytes(24, 0));
}

TEST_F(Faults, HangsAfterNCommands) {
    auto scanner = load(kScanner + "Transport=ASPI\nHangAfter=2\n");
    Host host(*scanner);
    EXPECT_EQ(host.none(tur()).status(), "GOOD");
    EXPECT_EQ(host.none(tur()).status(), "GOOD");
    EXPECT_EQ(host.none(tur()).status(), "HANG");
    EXPECT_TRUE(scanner->present());
    EXPECT_EQ(host.in(inquiry(), 36).status(), "HANG");
}

TEST_F(Faults, FramesAreCountedByTheirProcessorsBase) {
    auto scanner = load("Product=SX-2300C\nRevision=1.00\n[Processor1]\nName=SUB\n"
                        "SubCommandBase=0x11\n[Fault1]\nCommand=start\nSense=4/80/04\n");
    Host host(*scanner);
    EXPECT_EQ(host.none(vendorFrame(true, 0x11, 0)).status(), "4/80/04");
    EXPECT_EQ(host.none(vendorFrame(true, 0x11, 0)).status(), "GOOD");
}
