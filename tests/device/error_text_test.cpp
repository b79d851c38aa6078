#include "device/cmd_error.h"
#include "device/error_text.h"

#include <gtest/gtest.h>

namespace {

CCmdError senseError(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq,
                     std::uint8_t status = 4) {
    std::uint8_t sense[14] = {0x70, 0, key, 0, 0, 0, 0, 6, 0, 0, 0, 0, asc, ascq};
    CCmdError error(sense, sizeof sense);
    SRB_ExecSCSICmd block = srb::fromBytes(error.data());
    block.status = status;
    return CCmdError(block);
}

} // namespace

TEST(ErrorText, EverySenseRow) {
    struct Row {
        std::uint8_t key, asc, ascq;
        const char* text;
    };
    const Row rows[] = {
        {3, 0x80, 0x01, "Scanner cover is open."},
        {3, 0x80, 0x00, "Paper jammed in scanner; clear paper and continue."},
        {3, 0x80, 0x02, "Paper jammed in scanner; clear paper and continue."},
        {3, 0x3A, 0x00, "No page was found in the feeder."},
        {3, 0x60, 0x00, "Lamp was over."},
        {4, 0x12, 0x34, "Scanner hardware problem."},
        {5, 0x2C, 0x00, "Command sequence error."},
        {5, 0x2C, 0x01, "Too many Windows specified."},
        {5, 0x3A, 0x00, "No page was found in the feeder."},
        {5, 0x26, 0x00, "Invalid field in parameter list."},
        {5, 0x1A, 0x00, "Paramater list length error."},
        {5, 0x20, 0x00, "Invalid operation code"},
        {5, 0x24, 0x00, "Invalid cdb"},
        {3, 0x80, 0x03, "Unknown error. 3-128-3"},
        {5, 0x25, 0x00, "Unknown error. 5-37-0"},
        {2, 0x04, 0x01, "Unknown error."},
        {6, 0x29, 0x00, "Unknown error."},
    };
    for (const Row& row : rows)
        EXPECT_EQ(errorText(senseError(row.key, row.asc, row.ascq)), row.text)
            << int(row.key) << "/" << int(row.asc) << "/" << int(row.ascq);
}

TEST(ErrorText, CompletedStatusStillReadsTheSense) {
    EXPECT_EQ(errorText(senseError(5, 0x24, 0, 1)), "Invalid cdb");
}

TEST(ErrorText, OtherStatusIsUnknownWhateverTheSense) {
    EXPECT_EQ(errorText(senseError(3, 0x80, 0x01, 2)), "Unknown error.");
    EXPECT_EQ(errorText(senseError(5, 0x24, 0, 0)), "Unknown error.");
}

TEST(ErrorText, MessageOnlyErrors) {
    EXPECT_EQ(errorText(CCmdError(std::string("Data Compare Error"))), "Data Compare Error");
    EXPECT_EQ(errorText(CCmdError(std::string())), "Unknown error.");
    CCmdError withDetail{std::string()};
    withDetail.setDetail("Fan Motor Error");
    EXPECT_EQ(errorText(withDetail), "Unknown error. - Fan Motor Error");
}

TEST(ErrorText, DetailFollowsTheSenseText) {
    CCmdError error = senseError(4, 0x80, 0x04);
    error.setDetail("Fan Motor Error");
    EXPECT_EQ(errorText(error), "Scanner hardware problem. - Fan Motor Error");
}
