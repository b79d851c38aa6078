#include "device/sti_passthrough.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const std::uint8_t kWrite[10] = {0x2D, 0, 0x00, 0x01, 0x02, 0x03, 0x00, 0x00, 0x05, 0};
const std::uint8_t kInquiry[6] = {0x12, 0, 0, 0, 0x24, 0};

std::vector<std::uint8_t> header(std::uint8_t direction, const std::uint8_t* cdb,
                                 std::size_t length) {
    std::vector<std::uint8_t> bytes{direction, 0, 0, 0};
    for (std::size_t i = 0; i < 10; ++i)
        bytes.push_back(i < length ? cdb[i] : 0);
    bytes.push_back(static_cast<std::uint8_t>(length));
    bytes.push_back(0);
    return bytes;
}

} // namespace

TEST(StiPassThrough, ThirtyTwoBitRequestLayout) {
    const auto request = sti::BuildRequest32(sti::kDataIn, kInquiry, 6, 36, 0x00123456, 0xCAFE0010);
    auto expected = header(1, kInquiry, 6);
    for (std::uint8_t b : {36, 0, 0, 0, 0x56, 0x34, 0x12, 0x00, 0x10, 0x00, 0xFE, 0xCA, 0, 0, 0, 0})
        expected.push_back(b);
    EXPECT_EQ(std::vector<std::uint8_t>(request.begin(), request.end()), expected);
}

TEST(StiPassThrough, PacketCarriesOutgoingDataByValue) {
    const std::uint8_t data[5] = {1, 2, 3, 4, 5};
    const auto packet = sti::BuildPacket(sti::kDataOut, kWrite, 10, data, 5);
    auto expected = header(2, kWrite, 10);
    for (std::uint8_t b : {0, 0, 0, 0, 5, 0, 0, 0, 1, 2, 3, 4, 5})
        expected.push_back(b);
    EXPECT_EQ(packet, expected);
}

TEST(StiPassThrough, ShortPacketsKeepTwentyEightBytes) {
    const std::uint8_t four[4] = {9, 8, 7, 6};
    auto out = sti::BuildPacket(sti::kDataOut, kWrite, 10, four, 4);
    ASSERT_EQ(out.size(), 28u);
    EXPECT_EQ(out[24], 9);
    EXPECT_EQ(out[27], 6);
    // Incoming and no data: the length is told, nothing follows.
    auto in = sti::BuildPacket(sti::kDataIn, kInquiry, 6, nullptr, 36);
    ASSERT_EQ(in.size(), 28u);
    EXPECT_EQ(in[20], 36);
    EXPECT_EQ(in[24], 0);
    EXPECT_EQ(sti::BuildPacket(sti::kNoData, kInquiry, 6, nullptr, 0).size(), 28u);
}

TEST(StiPassThrough, OutputBufferSizes) {
    EXPECT_EQ(sti::BuildOutputBuffer(sti::kDataIn, 36).size(), 104u);
    EXPECT_EQ(sti::BuildOutputBuffer(sti::kDataIn, 2).size(), 72u);
    EXPECT_EQ(sti::BuildOutputBuffer(sti::kNoData, 0).size(), 72u);
    EXPECT_EQ(sti::BuildOutputBuffer(sti::kDataOut, 1024).size(), 72u);
}

TEST(StiPassThrough, GuardBytesOfALargeRead) {
    const auto out = sti::BuildOutputBuffer(sti::kDataIn, 600);
    ASSERT_EQ(out.size(), 668u);
    std::vector<std::size_t> guarded;
    for (std::size_t i = 0; i < out.size(); ++i)
        if (out[i] != 0)
            guarded.push_back(i - sti::kStatusBlockSize);
    EXPECT_EQ(guarded, (std::vector<std::size_t>{0, 256, 599}));

    const auto large = sti::BuildOutputBuffer(sti::kDataIn, 1024);
    guarded.clear();
    for (std::size_t i = 0; i < large.size(); ++i)
        if (large[i] == sti::kGuardByte)
            guarded.push_back(i - sti::kStatusBlockSize);
    EXPECT_EQ(guarded, (std::vector<std::size_t>{0, 256, 1023}));

    const auto small = sti::BuildOutputBuffer(sti::kDataIn, 511);
    for (std::uint8_t b : small)
        EXPECT_EQ(b, 0);
}

TEST(StiPassThrough, CompletionValueIsLittleEndian) {
    const std::uint8_t one[4] = {1, 0, 0, 0};
    const std::uint8_t big[4] = {0, 0, 0, 1};
    EXPECT_EQ(sti::CompletionValue(one), 1u);
    EXPECT_EQ(sti::CompletionValue(big), 0x01000000u);
}
