// What outlives one scanner object: the state file, the flash dumps, the
// command trace; and content loaded from S-record files.
#include "platform/files.h"
#include "scanner_test_kit.h"

#include <sstream>
#include <stdexcept>
#include <vector>

using namespace scanner_kit;
using testing_support::readFile;
using testing_support::writeFile;

namespace {

class Persistence : public ScannerTest {};

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

unsigned hexByte(const std::string& line, std::size_t at) {
    return static_cast<unsigned>(std::stoul(line.substr(at, 2), nullptr, 16));
}

const std::string kStateProfile = "Product=SX-2300C\nRevision=1.00\nUpgradedRevision=1.01\n"
                                  "LeaveTime=10\nState=state.txt\nFlashDump=main.s19\n"
                                  "[Processor1]\nName=MAIN DRIVE\nVersion=5\nUpgradedVersion=6\n"
                                  "FlashDump=drive.s19\n";

} // namespace

TEST_F(Persistence, StateCarriesOverToTheNextScanner) {
    {
        auto scanner = load(kStateProfile);
        Host host(*scanner);
        host.enterDownloadMode();
        platform::AdvanceClock(10);
        ASSERT_EQ(host.none(eraseBlock(0x20000)).status(), "GOOD");
        ASSERT_EQ(host.out(memWrite(0x20010, 3), std::string("ABC")).status(), "GOOD");
        ASSERT_EQ(host.in(memRead(0x20010, 3), 3).status(), "GOOD");
        ASSERT_EQ(host.none(restart()).status(), "GOOD");
        platform::AdvanceClock(10);
        ASSERT_EQ(host.none(vendorFrame(true, 0x01, 0)).status(), "GOOD");
        host.out(vendorFrame(true, 0x03, 10), addressParameter(0x80100));
        host.out(vendorFrame(true, 0x04, 2), std::string("\x12\x34"));
        host.none(vendorFrame(true, 0x02, 0));
        scanner->persist();
    }
    auto again = load(kStateProfile);
    EXPECT_EQ(again->reportedRevision(), "1.01");
    EXPECT_EQ(again->reportedVersion(1), "6");
    EXPECT_EQ(again->flashByte(0, 0x20010), 'A');
    EXPECT_EQ(again->flashByte(0, 0x20012), 'C');
    EXPECT_EQ(again->flashByte(0, 0x20000), 0xFF); // erased, not the profile's marker
    EXPECT_EQ(again->flashByte(0, 0x30000), 'O');  // the marker that was never erased
    EXPECT_EQ(again->flashByte(1, 0x80000), 0xFF);
    EXPECT_EQ(again->flashByte(1, 0x80101), 0x34);
}

// New firmware is booted only when everything written was read back; an
// upgrade cut short leaves the boot loader, which the next run upgrades.
TEST_F(Persistence, UpgradeCutShortComesBackInTheBootLoader) {
    for (const bool restarted : {true, false}) {
        SCOPED_TRACE(restarted ? "restarted" : "power lost");
        platform::DeleteFileA(dir_.file("state.txt"));
        {
            auto scanner = load(kStateProfile);
            Host host(*scanner);
            host.enterDownloadMode();
            platform::AdvanceClock(10);
            ASSERT_EQ(host.none(eraseBlock(0x20000)).status(), "GOOD");
            ASSERT_EQ(host.out(memWrite(0x20000, 4), std::string("ABCD")).status(), "GOOD");
            ASSERT_EQ(host.in(memRead(0x20000, 2), 2).status(), "GOOD"); // half of it
            if (restarted) {
                ASSERT_EQ(host.none(restart()).status(), "GOOD");
                platform::AdvanceClock(10);
                EXPECT_EQ(scanner->reportedRevision(), "B000");
            }
            scanner->persist();
        }
        auto again = load(kStateProfile);
        EXPECT_EQ(again->reportedRevision(), "B000");
        EXPECT_EQ(again->flashByte(0, 0x20003), 'D'); // what was written stays
    }
}

TEST_F(Persistence, DamagedStateFileIsReported) {
    writeFile(dir_.file("state.txt"), "something else\n");
    EXPECT_THROW(load(kStateProfile), std::runtime_error);
}

TEST_F(Persistence, DumpHoldsEveryNonErasedByteInShortS3Records) {
    auto scanner = load("Product=SX-2300C\nRevision=1.00\nLegacy=1\nInitialContent=erased\n"
                        "FlashDump=main.s19\n");
    Host host(*scanner);
    Bytes data(40, 0x5A);
    data[10] = 0xFF; // splits the run: 10 bytes, then 29
    ASSERT_EQ(host.out(memWrite(0x1000, 40), data).status(), "GOOD");
    ASSERT_EQ(host.out(memWrite(0x1000, 1), Bytes{0x00}).status(), "GOOD");
    scanner->persist();

    const auto lines = linesOf(readFile(dir_.file("main.s19")));
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines.front().substr(0, 2), "S0");
    EXPECT_EQ(lines.back(), "S70500000000FA");
    std::vector<std::pair<std::uint32_t, std::size_t>> records; // address, data length
    for (std::size_t i = 1; i + 1 < lines.size(); ++i) {
        const std::string& line = lines[i];
        ASSERT_EQ(line.substr(0, 2), "S3") << line;
        const unsigned count = hexByte(line, 2);
        ASSERT_EQ(line.size(), 4 + 2 * count) << line;
        const auto address = static_cast<std::uint32_t>(std::stoul(line.substr(4, 8), nullptr, 16));
        records.push_back({address, count - 5});
        for (std::size_t at = 12; at + 2 < line.size(); at += 2)
            EXPECT_NE(hexByte(line, at), 0xFFu) << line;
    }
    const std::vector<std::pair<std::uint32_t, std::size_t>> expected = {{0x1000, 10},
                                                                         {0x100B, 29}};
    EXPECT_EQ(records, expected);
    EXPECT_EQ(lines[1].substr(12, 4), "005A");
}

TEST_F(Persistence, InitialContentFromAnSRecordFile) {
    writeFile(dir_.file("old.s19"), "S0030000FC\nS307000010000102E5\nS70500000000FA\n");
    auto scanner = load("Product=SX-2300C\nRevision=1.00\nInitialContent=old.s19\n");
    EXPECT_EQ(scanner->flashByte(0, 0x1000), 0x01);
    EXPECT_EQ(scanner->flashByte(0, 0x1001), 0x02);
    EXPECT_EQ(scanner->flashByte(0, 0x0000), 0xFF); // no markers

    writeFile(dir_.file("far.s19"), "S307010000000102F4\n");
    EXPECT_THROW(load("Product=SX-2300C\nRevision=1.00\nInitialContent=far.s19\n"),
                 std::runtime_error);
}

TEST_F(Persistence, TraceHasOneLinePerCommand) {
    auto scanner = load(
        "Product=SX-2300C\nRevision=1.00\nTrace=trace.txt\nLeaveTime=5\nLeavesOnUpdateMode=1\n");
    Host host(*scanner);
    host.none(tur());
    host.out(memWrite(0x10, 2), Bytes{1, 2});
    host.in(inquiry(), 36);
    host.out(Host::downloadCodeCdb(), kCode);
    host.none(updateMode());
    host.none(tur());
    const auto lines = linesOf(readFile(dir_.file("trace.txt")));
    const std::vector<std::string> expected = {
        "tur 00 00 00 00 00 00 none 0 -> GOOD",
        "memwrite 2D 00 00 00 00 10 00 00 02 00 out 2 -> CHECK 05/2C/00",
        "inquiry 12 00 00 00 24 00 in 36 -> GOOD",
        "downloadcode 2A 00 84 00 00 64 00 00 20 00 out 32 -> GOOD",
        "updatemode FF 00 65 00 00 00 00 00 00 00 none 0 -> GOOD",
        "tur 00 00 00 00 00 00 none 0 -> NO DEVICE",
    };
    EXPECT_EQ(lines, expected);
}

TEST(CommandKinds, NamesOfCommandBlocks) {
    auto kind = [](const Bytes& cdb) { return sim::CommandKindName(cdb.data(), cdb.size()); };
    EXPECT_EQ(kind(vendorPage()), "vendorpage");
    EXPECT_EQ(kind(inquiry()), "inquiry");
    EXPECT_EQ(kind(checksumRange()), "checksumrange");
    EXPECT_EQ(kind(processorInfo(1)), "processorinfo");
    EXPECT_EQ(kind(prepare(0)), "prepare");
    EXPECT_EQ(kind(vendorFrame(true, 0x01, 0)), "start");
    EXPECT_EQ(kind(vendorFrame(false, 0x04, 8)), "dataread");
    EXPECT_EQ(kind(sendFrame(true, 0xA3, 0x04, 8)), "datawrite");
    EXPECT_EQ(kind(sendFrame(false, 0xA3, 0x04, 8)), "dataread");
    EXPECT_EQ(kind({0xD9, 0, 0, 0, 1, 0}), "select");
    EXPECT_EQ(kind(vendor(0x42)), "unknown");
    EXPECT_EQ(kind({}), "unknown");
}
