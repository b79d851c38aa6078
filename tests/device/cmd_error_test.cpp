#include "device/cmd_error.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <exception>
#include <string>

namespace {

// Hardware error (key 4), ASC 0x80, ASCQ 0x04; the high bits of byte 2 must
// not leak into the key.
const std::array<std::uint8_t, 14> kHardwareSense = {0x70, 0, 0xE4, 0, 0, 0,    0,
                                                     6,    0, 0,    0, 0, 0x80, 0x04};

TEST(CmdError, FromSenseBytesBuildsAnErrorRequestBlock) {
    const CCmdError error(kHardwareSense.data(), kHardwareSense.size());
    ASSERT_EQ(error.size(), 80u);
    EXPECT_EQ(error[1], 4);
    EXPECT_EQ(std::memcmp(error.data() + 64, kHardwareSense.data(), 14), 0);
    EXPECT_EQ(error.senseKey(), 4);
    EXPECT_EQ(error.asc(), 0x80);
    EXPECT_EQ(error.ascq(), 0x04);
    EXPECT_EQ(error.senseCode(), 0x8004);
    EXPECT_TRUE(error.is(4, 0x80, 0x04));
    EXPECT_TRUE(error.is(4, 0x8004));
    EXPECT_FALSE(error.is(4, 0x8000));
    EXPECT_FALSE(error.is(3, 0x80, 0x04));
}

TEST(CmdError, SenseLongerThanTheSenseAreaIsCutToSixteenBytes) {
    std::array<std::uint8_t, 40> sense;
    sense.fill(0x5A);
    const CCmdError error(sense.data(), sense.size());
    EXPECT_EQ(error.size(), 80u);
    EXPECT_EQ(error[79], 0x5A);
    EXPECT_EQ(error[63], 0);
}

TEST(CmdError, FromTextHasNoRequestBlockAndReportsNothing) {
    const CCmdError error(std::string("Data Compare Error"));
    EXPECT_TRUE(error.empty());
    EXPECT_STREQ(error.what(), "Data Compare Error");
    EXPECT_EQ(error.status(), 0);
    EXPECT_EQ(error.senseKey(), 0);
    EXPECT_FALSE(error.is(0, 0, 0));
    EXPECT_FALSE(error.is(0, 0));
}

TEST(CmdError, KeepsTheWholeRequestBlockOfAFailedCommand) {
    SRB_ExecSCSICmd block{};
    block.status = srb::kComplete;
    block.hostAdapterStatus = 0x11;
    block.dataLength = 0x01020304;
    block.sense[2] = 0x05;
    block.sense[12] = 0x24;
    const CCmdError error(block);
    ASSERT_EQ(error.size(), 80u);
    EXPECT_EQ(error.status(), 1);
    EXPECT_EQ(error[22], 0x11);
    EXPECT_EQ(error[12], 0x04); // a little-endian platform field
    EXPECT_TRUE(error.is(5, 0x2400));
}

TEST(CmdError, AnyOtherBufferSizeReportsZeros) {
    for (std::size_t size : {79u, 81u}) {
        CCmdError error(kHardwareSense.data(), kHardwareSense.size());
        error.setSize(size);
        EXPECT_EQ(error.status(), 0) << size;
        EXPECT_EQ(error.senseCode(), 0) << size;
        EXPECT_FALSE(error.is(4, 0x8004)) << size;
    }
}

TEST(CmdError, ThrownByValueCaughtByReferenceKeepsEverything) {
    try {
        CCmdError error(kHardwareSense.data(), kHardwareSense.size());
        error.setMessage("Scanner hardware problem.");
        error.setDetail("Fan Motor Error");
        throw error;
    } catch (const std::exception& caught) {
        EXPECT_STREQ(caught.what(), "Scanner hardware problem.");
        const auto* error = dynamic_cast<const CCmdError*>(&caught);
        ASSERT_NE(error, nullptr);
        EXPECT_EQ(error->detail(), "Fan Motor Error");
        EXPECT_TRUE(error->is(4, 0x8004));
        return;
    }
    FAIL() << "nothing was thrown";
}

} // namespace
