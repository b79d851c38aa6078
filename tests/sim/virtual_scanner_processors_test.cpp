// Processors behind the main controller: their information and their
// programming sessions, through vendor frames and through SEND/READ.
#include "scanner_test_kit.h"

using namespace scanner_kit;

namespace {

const std::string kProcessorsProfile =
    "Product=SX-4600C\nRevision=1.41\n"
    "[Processor0]\nVersion=0141\n"
    "[Processor1]\nName=MAIN DRIVE\nVersion=5\nUpgradedVersion=6\n"
    "[Processor2]\nName=SUB DRIVE\nVersion=3\nUpgradedVersion=4\n"
    "SubCommandBase=0x11\n"
    "[Processor3]\nName=SUB DFD\nVersion=7\nUpgradedVersion=8\n"
    "Access=Send\nDataType=0xA3\nCorruptReadAt=0x8005\n";

class Processors : public ScannerTest {};

Bytes counting(std::size_t n, std::uint8_t from = 0) {
    Bytes data(n);
    for (std::size_t i = 0; i < n; ++i)
        data[i] = static_cast<std::uint8_t>(from + i);
    return data;
}

} // namespace

TEST_F(Processors, InformationNamesEachProcessor) {
    auto scanner = load(kProcessorsProfile);
    Host host(*scanner);
    const Answer main = host.in(processorInfo(0), 24);
    ASSERT_EQ(main.data.size(), 24u);
    EXPECT_EQ(text(main.data, 0, 16), std::string("MAIN CONTROLLER") + '\0');
    EXPECT_EQ(text(main.data, 16, 8), std::string("0141") + std::string(4, '\0'));
    EXPECT_EQ(text(host.in(processorInfo(2), 24).data, 0, 10), std::string("SUB DRIVE") + '\0');
    EXPECT_EQ(host.in(processorInfo(4), 24).status(), "5/24/00");
    EXPECT_EQ(host.none({0xD9, 0, 0, 0, 3, 0}).status(), "GOOD");
    EXPECT_EQ(host.none({0xD9, 0, 0, 0, 4, 0}).status(), "5/24/00");
}

TEST_F(Processors, VendorFrameSession) {
    auto scanner = load(kProcessorsProfile);
    Host host(*scanner);
    EXPECT_EQ(scanner->flashByte(1, 0x80000), 'O'); // the old firmware's marker

    // Address and data belong to a session.
    EXPECT_EQ(host.out(vendorFrame(true, 0x03, 10), addressParameter(0x80000)).status(), "5/2C/00");
    EXPECT_EQ(host.out(vendorFrame(true, 0x04, 4), counting(4)).status(), "5/2C/00");

    ASSERT_EQ(host.none(vendorFrame(true, 0x01, 0)).status(), "GOOD");
    EXPECT_EQ(scanner->flashByte(1, 0x80000), 0xFF); // start erased all of it
    EXPECT_EQ(scanner->flashByte(1, 0xE0000), 0xFF);

    EXPECT_EQ(host.out(vendorFrame(true, 0x03, 10), addressParameter(0x70000)).status(), "5/21/00");
    Bytes badParameter = addressParameter(0x90000);
    badParameter[9] = 1;
    EXPECT_EQ(host.out(vendorFrame(true, 0x03, 10), badParameter).status(), "5/26/00");
    EXPECT_EQ(host.out(vendorFrame(true, 0x03, 8), Bytes(8, 0)).status(), "5/24/00");
    ASSERT_EQ(host.out(vendorFrame(true, 0x03, 10), addressParameter(0x90000)).status(), "GOOD");

    EXPECT_EQ(host.out(vendorFrame(true, 0x04, 113), counting(113)).status(), "5/24/00");
    ASSERT_EQ(host.out(vendorFrame(true, 0x04, 112), counting(112)).status(), "GOOD");
    ASSERT_EQ(host.out(vendorFrame(true, 0x04, 4), counting(4, 112)).status(), "GOOD");
    // The second frame landed right after the first.
    EXPECT_EQ(scanner->flashByte(1, 0x90000), 0);
    EXPECT_EQ(scanner->flashByte(1, 0x90000 + 115), 115);
    EXPECT_EQ(scanner->flashByte(1, 0x90000 + 116), 0xFF);

    host.out(vendorFrame(true, 0x03, 10), addressParameter(0x9006C));
    EXPECT_EQ(host.in(vendorFrame(false, 0x04, 4), 4).data, counting(4, 0x6C));
    EXPECT_EQ(host.in(vendorFrame(false, 0x04, 2), 2).data, counting(2, 0x70)); // advanced

    EXPECT_EQ(scanner->reportedVersion(1), "5");
    ASSERT_EQ(host.none(vendorFrame(true, 0x02, 0)).status(), "GOOD");
    EXPECT_EQ(scanner->reportedVersion(1), "6");
    EXPECT_EQ(text(host.in(processorInfo(1), 24).data, 16, 1), "6");
    EXPECT_EQ(scanner->reportedVersion(2), "3"); // untouched
    EXPECT_EQ(host.out(vendorFrame(true, 0x04, 1), Bytes{0}).status(), "5/2C/00");
}

TEST_F(Processors, SubCommandBaseSelectsTheProcessor) {
    auto scanner = load(kProcessorsProfile);
    Host host(*scanner);
    ASSERT_EQ(host.none(vendorFrame(true, 0x11, 0)).status(), "GOOD");
    EXPECT_EQ(scanner->flashByte(2, 0x80000), 0xFF);
    EXPECT_EQ(scanner->flashByte(1, 0x80000), 'O');
    // A session without data leaves the version alone.
    ASSERT_EQ(host.none(vendorFrame(true, 0x12, 0)).status(), "GOOD");
    EXPECT_EQ(scanner->reportedVersion(2), "3");
    // Nobody's sub-command.
    EXPECT_EQ(host.none(vendorFrame(true, 0x21, 0)).status(), "5/24/00");
}

TEST_F(Processors, SendFrameSession) {
    auto scanner = load(kProcessorsProfile);
    Host host(*scanner);
    EXPECT_EQ(host.none(sendFrame(true, 0xA2, 0x01, 0)).status(), "5/24/00"); // no such type
    ASSERT_EQ(host.none(sendFrame(true, 0xA3, 0x01, 0)).status(), "GOOD");
    ASSERT_EQ(host.out(sendFrame(true, 0xA3, 0x03, 10), addressParameter(0x8000)).status(), "GOOD");
    ASSERT_EQ(host.out(sendFrame(true, 0xA3, 0x04, 8), counting(8, 0x10)).status(), "GOOD");
    EXPECT_EQ(host.out(sendFrame(true, 0xA3, 0x04, 113), counting(113)).status(), "5/24/00");
    ASSERT_EQ(host.out(sendFrame(true, 0xA3, 0x03, 10), addressParameter(0x8000)).status(), "GOOD");
    // The byte at 0x8005 reads back inverted; the flash itself holds it right.
    Bytes expected = counting(8, 0x10);
    expected[5] = static_cast<std::uint8_t>(~expected[5]);
    EXPECT_EQ(host.in(sendFrame(false, 0xA3, 0x04, 8), 8).data, expected);
    EXPECT_EQ(scanner->flashByte(3, 0x8005), 0x15);
    // Past the end of its 32 KiB.
    host.out(sendFrame(true, 0xA3, 0x03, 10), addressParameter(0xFFFC));
    EXPECT_EQ(host.out(sendFrame(true, 0xA3, 0x04, 8), counting(8)).status(), "5/21/00");
    ASSERT_EQ(host.none(sendFrame(true, 0xA3, 0x02, 0)).status(), "GOOD");
    EXPECT_EQ(scanner->reportedVersion(3), "8");
}
