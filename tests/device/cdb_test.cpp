#include "device/cdb.h"

#include <gtest/gtest.h>

#include <array>
#include <stdexcept>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kInquiry[6] = {0x12, 0x00, 0x00, 0x00, 0x00, 0x00};
constexpr std::array<std::uint8_t, 10> kMemoryWrite = {0x2D, 0, 0, 0, 0, 0, 0, 0, 0, 0};

TEST(Cdb, SixByteTemplateStaysSixBytesAndRefusesPatchesPastIt) {
    CCDB cdb(kInquiry);
    cdb.setByte(4, 36);
    cdb.setBE32(2, 0xA1B2C3D4);
    EXPECT_EQ(cdb.bytes(), (Bytes{0x12, 0x00, 0xA1, 0xB2, 0xC3, 0xD4}));
    EXPECT_THROW(cdb.setByte(6, 1), std::out_of_range);
    EXPECT_THROW(cdb.setBE24(4, 1), std::out_of_range);
    EXPECT_EQ(cdb.size(), 6u);
}

TEST(Cdb, SixteenAndTwentyFourBitPatchesAreBigEndian) {
    CCDB cdb(kMemoryWrite);
    cdb.setBE32(2, 0x00010000);
    cdb.setBE24(6, 0x12345678); // only the low 24 bits fit
    cdb.setBE16(4, 0xBEEF);
    EXPECT_EQ(cdb.bytes(), (Bytes{0x2D, 0, 0x00, 0x01, 0xBE, 0xEF, 0x34, 0x56, 0x78, 0}));
}

} // namespace
