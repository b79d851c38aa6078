// The main controller's command set and its download mode, driven with raw
// command blocks.
#include "scanner_test_kit.h"

#include <vector>

using namespace scanner_kit;

namespace {

// 64 KiB blocks from 0 (the common geometry), firmware from 0x10000 up.
const std::string kDownloadProfile = "Product=SX-2300C\nRevision=1.00\nUpgradedRevision=1.01\n"
                                     "DownloadProduct=SX-2300C BOOT\nDownloadRevision=0.01\n"
                                     "FirmwareArea=0x10000-0xFFFFF\n"
                                     "[Processor0]\nUpgradedVersion=1.01\n";

class DownloadMode : public ScannerTest {};

} // namespace

TEST_F(DownloadMode, FullUpgradeSequence) {
    auto scanner = load(kDownloadProfile + "[Scanner]\nLeavesOnUpdateMode=1\n");
    Host host(*scanner);
    std::vector<std::uint64_t> arrivals;
    scanner->setArrivalHook([&](std::uint64_t tick) {
        // Called outside the scanner's lock: asking it anything is safe.
        EXPECT_FALSE(scanner->present());
        arrivals.push_back(tick);
    });
    const Bytes image = {'N', 'E', 'W', 0x00};

    EXPECT_EQ(host.out(memWrite(0x10000, 4), image).status(), "5/2C/00");
    EXPECT_EQ(host.none(updateMode()).status(), "5/2C/00");
    EXPECT_EQ(host.out(Host::downloadCodeCdb(), std::string(32, 'X')).status(), "5/26/00");
    EXPECT_EQ(host.out(Host::downloadCodeCdb(), kCode).status(), "GOOD");

    platform::AdvanceClock(500);
    EXPECT_EQ(host.none(updateMode()).status(), "GOOD");
    EXPECT_TRUE(scanner->inDownloadMode());
    EXPECT_FALSE(scanner->present());
    ASSERT_EQ(arrivals, std::vector<std::uint64_t>{2500});
    EXPECT_EQ(host.none(tur()).status(), "NO DEVICE");
    platform::AdvanceClock(1999);
    EXPECT_FALSE(scanner->present());
    EXPECT_EQ(scanner->appearance(), 1u);
    platform::AdvanceClock(1);
    EXPECT_TRUE(scanner->present());
    EXPECT_EQ(scanner->appearance(), 2u);

    const Answer identity = host.in(inquiry(), 36);
    ASSERT_EQ(identity.data.size(), 36u);
    EXPECT_EQ(text(identity.data, 16, 16), "SX-2300C BOOT   ");
    EXPECT_EQ(text(identity.data, 32, 4), "0.01");

    EXPECT_EQ(host.none(eraseBlock(0x10000)).status(), "GOOD");
    EXPECT_EQ(host.out(memWrite(0x10000, 4), image).status(), "GOOD");
    EXPECT_EQ(host.in(memRead(0x10000, 4), 4).data, image);

    EXPECT_EQ(host.none(restart()).status(), "GOOD");
    EXPECT_FALSE(scanner->inDownloadMode());
    ASSERT_EQ(arrivals.size(), 2u);
    EXPECT_EQ(arrivals[1], 4500u);
    platform::AdvanceClock(2000);
    EXPECT_EQ(scanner->appearance(), 3u);
    EXPECT_EQ(text(host.in(inquiry(), 36).data, 32, 4), "1.01");
    EXPECT_EQ(scanner->reportedRevision(), "1.01");
    EXPECT_EQ(scanner->reportedVersion(0), "1.01");
    // Download mode ended with the restart.
    EXPECT_EQ(host.none(eraseBlock(0x10000)).status(), "5/2C/00");
}

TEST_F(DownloadMode, RestartWithoutWritingKeepsTheRevision) {
    auto scanner = load(kDownloadProfile + "[Scanner]\nLeavesOnUpdateMode=0\nLeaveTime=10\n");
    Host host(*scanner);
    host.enterDownloadMode();
    EXPECT_TRUE(scanner->present()); // it does not leave on update mode
    EXPECT_EQ(host.none(restart()).status(), "GOOD");
    platform::AdvanceClock(10);
    EXPECT_EQ(scanner->reportedRevision(), "1.00");
    EXPECT_EQ(scanner->reportedVersion(0), "1.00");
}

TEST_F(DownloadMode, PrepareUpdateModeNeedsTheCode) {
    auto scanner = load(kDownloadProfile + "[Scanner]\nLeavesOnUpdateMode=0\n");
    Host host(*scanner);
    EXPECT_EQ(host.none(prepare(0)).status(), "5/2C/00");
    host.out(Host::downloadCodeCdb(), kCode);
    EXPECT_EQ(host.none(prepare(2)).status(), "5/24/00");
    EXPECT_EQ(host.none(prepare(1)).status(), "GOOD");
    EXPECT_FALSE(scanner->present());
    platform::AdvanceClock(2000);
    EXPECT_TRUE(scanner->inDownloadMode());
    EXPECT_EQ(host.none(eraseBlock(0x20000)).status(), "GOOD");
}

TEST_F(DownloadMode, WritingWithoutEraseReadsBackWrong) {
    auto scanner = load(kDownloadProfile + "[Scanner]\nLegacy=1\n");
    Host host(*scanner);
    const std::string firmware = "NEW FIRMWARE 2.0";
    // Legacy: no download mode needed.
    ASSERT_EQ(host.out(memWrite(0x20000, 16), firmware).status(), "GOOD");
    const Bytes back = host.in(memRead(0x20000, 16), 16).data;
    ASSERT_EQ(back.size(), 16u);
    EXPECT_NE(text(back, 0, 16), firmware);
    const std::string marker = std::string("OLD FW 00020000") + '\0';
    for (std::size_t i = 0; i < 16; ++i)
        EXPECT_EQ(back[i], static_cast<std::uint8_t>(firmware[i] & marker[i])) << i;

    ASSERT_EQ(host.none(eraseBlock(0x2FFFF)).status(), "GOOD");
    EXPECT_EQ(scanner->flashByte(0, 0x20000), 0xFF);
    EXPECT_EQ(scanner->flashByte(0, 0x30000), 'O'); // the next block keeps its marker
    ASSERT_EQ(host.out(memWrite(0x20000, 16), firmware).status(), "GOOD");
    EXPECT_EQ(text(host.in(memRead(0x20000, 16), 16).data, 0, 16), firmware);
}

TEST_F(DownloadMode, EraseCommandErasesTheFirmwareArea) {
    auto scanner = load(kDownloadProfile);
    Host host(*scanner);
    host.enterDownloadMode();
    platform::AdvanceClock(2000);
    EXPECT_EQ(host.none(eraseFirmware()).status(), "GOOD");
    EXPECT_EQ(scanner->flashByte(0, 0x0000), 'O'); // the boot block is outside it
    EXPECT_EQ(scanner->flashByte(0, 0x10000), 0xFF);
    EXPECT_EQ(scanner->flashByte(0, 0xFC000), 0xFF);
}

TEST_F(DownloadMode, MemoryCommandFields) {
    auto scanner = load(kDownloadProfile + "[Scanner]\nLegacy=1\n");
    Host host(*scanner);
    EXPECT_EQ(host.out(memWrite(0x20000, 1025), Bytes(1025, 0)).status(), "5/24/00");
    EXPECT_EQ(host.out(memWrite(0x20000, 4), Bytes(3, 0)).status(), "5/24/00");
    EXPECT_EQ(host.out(memWrite(0xFFFFE, 4), Bytes(4, 0)).status(), "5/21/00");
    EXPECT_EQ(host.in(memRead(0x100000, 1), 1).status(), "5/21/00");
    EXPECT_EQ(host.none(eraseBlock(0x100000)).status(), "5/21/00");
    EXPECT_EQ(host.in(memRead(0xFFFFC, 4), 4).data.size(), 4u);
}

TEST_F(DownloadMode, Checksum) {
    auto scanner = load(kDownloadProfile + "[Scanner]\nInitialContent=erased\nLegacy=1\n");
    Host host(*scanner);
    EXPECT_EQ(host.in(checksumRead(), 12).status(), "5/2C/00");
    EXPECT_EQ(host.out(checksumRange(), be32(0x10)).status(), "5/24/00"); // 12 bytes expected
    Bytes range = be32(0x100);
    for (std::uint8_t b : be32(0x0FF))
        range.push_back(b);
    range.resize(12, 0);
    EXPECT_EQ(host.out(checksumRange(), range).status(), "5/26/00");

    host.out(memWrite(0xFFFFE, 2), Bytes{0x01, 0x02});
    // Two bytes in the flash, two past its end read as 0xFF.
    range = be32(0xFFFFE);
    for (std::uint8_t b : be32(0x100001))
        range.push_back(b);
    range.resize(12, 0xAA);
    ASSERT_EQ(host.out(checksumRange(), range).status(), "GOOD");
    const Answer sum = host.in(checksumRead(), 12);
    Bytes expected = be32(0xFFFFE);
    for (std::uint32_t v : {0x100001u, 0x01u + 0x02u + 0xFFu + 0xFFu})
        for (std::uint8_t b : be32(v))
            expected.push_back(b);
    EXPECT_EQ(sum.data, expected);
}

TEST_F(DownloadMode, SenseWaitsForRequestSense) {
    auto scanner = load(kDownloadProfile);
    Host host(*scanner);
    EXPECT_EQ(host.none({0x42, 0, 0, 0, 0, 0}).status(), "5/20/00");
    EXPECT_EQ(scanner->pendingSense()[12], 0x20);
    const Answer first = host.in(requestSense(8), 18);
    // As much as was asked for; the rest of the buffer is untouched.
    EXPECT_EQ(first.data[8], 0xEE);
    EXPECT_EQ(first.data[0], 0x70);
    EXPECT_EQ(first.data[2], 0x05);
    const Answer second = host.in(requestSense(), 18);
    ASSERT_EQ(second.data.size(), 18u);
    EXPECT_EQ(second.data[2], 0x00); // fetched once, then gone
    EXPECT_EQ(second.data[12], 0x00);

    host.none(updateMode()); // out of sequence
    host.none(tur());        // any other command drops it
    EXPECT_EQ(host.in(requestSense(), 18).data[12], 0x00);
}

TEST_F(DownloadMode, InquiryPagesAndProcessorSelect) {
    auto scanner = load(kDownloadProfile);
    Host host(*scanner);
    const Answer standard = host.in(inquiry(8), 36);
    EXPECT_EQ(Bytes(standard.data.begin(), standard.data.begin() + 9),
              (Bytes{0x06, 0, 0x02, 0x02, 31, 0, 0, 0, 0xEE}));
    EXPECT_EQ(text(host.in(inquiry(), 36).data, 8, 8), "KORVA   ");

    const Answer page = host.in(vendorPage(), 30);
    ASSERT_EQ(page.data.size(), 30u);
    EXPECT_EQ(page.data[1], 0xF0);
    EXPECT_EQ(page.data[3], 26);
    EXPECT_EQ(host.in({0x12, 1, 0x80, 0, 30, 0}, 30).status(), "5/24/00");

    EXPECT_EQ(host.none({0xD9, 0, 0, 0, 0, 0}).status(), "GOOD");
    EXPECT_EQ(host.none({0xD9, 0, 0, 0, 1, 0}).status(), "5/24/00");
    EXPECT_EQ(host.none(vendor(0x99)).status(), "5/24/00");
    EXPECT_EQ(host.none({0xFF, 0, 0x65}).status(), "5/24/00"); // a block too short
}

TEST_F(DownloadMode, LinkValueIsKeptForTheDriver) {
    auto scanner = load(kDownloadProfile);
    EXPECT_EQ(scanner->linkValue(), 1u);
    scanner->setLinkValue(7);
    EXPECT_EQ(scanner->linkValue(), 7u);
}
