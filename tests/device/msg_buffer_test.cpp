#include "device/msg_buffer.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(MsgBuffer, Is32BitBigEndianAtAnyPositionAndReadsBack) {
    CMsgBuffer buffer(8);
    buffer.writeBE32(2, 0x12345678);
    EXPECT_EQ(buffer.bytes(), (Bytes{0, 0, 0x12, 0x34, 0x56, 0x78, 0, 0}));
    EXPECT_EQ(buffer.readBE32(2), 0x12345678u);
    EXPECT_EQ(buffer.readBE32(0), 0x00001234u);
}

TEST(MsgBuffer, NumbersThatDoNotFitThrowInsteadOfGrowing) {
    CMsgBuffer buffer(6);
    EXPECT_THROW(buffer.writeBE32(3, 1), std::out_of_range);
    EXPECT_THROW(buffer.readBE32(static_cast<std::size_t>(-2)), std::out_of_range);
    EXPECT_EQ(buffer.size(), 6u);
}

TEST(MsgBuffer, SizeChangesAddZerosAssignReplacesEverything) {
    CMsgBuffer buffer(3);
    buffer.fill(0xAB);
    buffer.setSize(2);
    buffer.setSize(4);
    EXPECT_EQ(buffer.bytes(), (Bytes{0xAB, 0xAB, 0, 0}));
    const std::uint8_t source[] = {1, 2, 3};
    buffer.assign(source, 3);
    EXPECT_EQ(buffer.bytes(), (Bytes{1, 2, 3}));
}

TEST(MsgBuffer, ByteSumIsUnsignedAndDoesNotWrapAtEightBits) {
    CMsgBuffer buffer(300);
    buffer.fill(0xFF);
    EXPECT_EQ(buffer.byteSum(), 300u * 255u);
}

} // namespace
