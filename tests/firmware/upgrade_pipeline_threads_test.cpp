#include "device/messages.h"
#include "device/scanner.h"
#include "firmware/upgrade_pipeline.h"
#include "platform/clock.h"
#include "sim/simulation.h"
#include "support/scratch_dir.h"
#include "support/srecord_image.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <sstream>
#include <vector>

namespace {

std::string image(std::uint32_t start, std::uint32_t length, std::uint8_t (*value)(std::uint32_t)) {
    return testing_support::SRecordImage({{start, length}}, value);
}

std::uint8_t pattern(std::uint32_t address) {
    return static_cast<std::uint8_t>(address * 7 + 3);
}

struct DisplayLog {
    std::vector<std::string> texts;
    std::vector<std::int32_t> totals;
    std::int64_t written = 0, compared = 0;
    bool ended = false;
};

DisplayLog drain(CMessageQueue& queue) {
    DisplayLog log;
    for (auto& message : queue.takeAll()) {
        if (message->type() == CMessage::kEnd) {
            log.ended = true;
        } else if (message->type() == CMessage::kString) {
            log.texts.push_back(static_cast<CMessageString&>(*message).text());
        } else if (message->type() == CMessage::kLong) {
            auto& number = static_cast<CMessageLong&>(*message);
            if (number.code() == CMessageAny::kTotalBytes)
                log.totals.push_back(number.value());
            else if (number.code() == CMessageAny::kBytesWritten)
                log.written += number.value();
            else if (number.code() == CMessageAny::kBytesCompared)
                log.compared += number.value();
        }
    }
    return log;
}

class PipelineTest : public testing::Test {
protected:
    void SetUp() override { platform::SetManualClock(true); }
    void TearDown() override {
        scanner.close();
        simulation.reset();
        platform::SetManualClock(false);
    }

    void attach(const std::string& extraKeys = "") {
        testing_support::writeFile(scratch.file("scanner.ini"),
                                   "[Scanner]\nProduct=SX-4600C\nRevision=0300\nLegacy=1\n"
                                   "InitialContent=erased\nTrace=scanner.trace\n" +
                                       extraKeys);
        simulation = std::make_unique<sim::Simulation>(
            std::vector<std::string>{scratch.file("scanner.ini")});
        simulation->install();
        ASSERT_EQ(scanner.openWith({"STI\\KORVA SX-4600C USB"}), 1);
        testing_support::writeFile(scratch.file("scanner.trace"), "");
    }

    std::vector<std::string> trace() {
        std::stringstream stream(testing_support::readFile(scratch.file("scanner.trace")));
        std::vector<std::string> lines;
        for (std::string line; std::getline(stream, line);)
            lines.push_back(line);
        return lines;
    }

    std::size_t countKind(const std::string& kind) {
        std::size_t n = 0;
        for (const auto& line : trace())
            n += line.rfind(kind + " ", 0) == 0;
        return n;
    }

    platform::DWORD run(CUpgradePipeline& pipeline, const std::string& text) {
        testing_support::writeFile(scratch.file("image.mot"), text);
        pipeline.firmwarePath = scratch.file("image.mot");
        return pipeline.producer();
    }

    testing_support::ScratchDir scratch;
    CScanner scanner;
    std::unique_ptr<sim::Simulation> simulation;
};

} // namespace

TEST_F(PipelineTest, ImageIsWrittenReadBackAndReportedInOrder) {
    attach();
    CUpgradePipeline pipeline(scanner);
    ASSERT_EQ(run(pipeline, image(0x10000100, 5000, pattern)), 1u);
    EXPECT_EQ(pipeline.result.load(), 1);
    EXPECT_FALSE(pipeline.deviceError());

    const DisplayLog log = drain(pipeline.displayQueue);
    EXPECT_EQ(log.totals, (std::vector<std::int32_t>{8192, 65536}));
    EXPECT_EQ(log.written, 65536);
    EXPECT_EQ(log.compared, 65536);
    EXPECT_TRUE(log.ended);
    ASSERT_GE(log.texts.size(), 6u);
    EXPECT_EQ(log.texts.front(), "Reading file...");
    EXPECT_EQ(log.texts.back(), "Compare data completed.");
    const auto writing = std::find(log.texts.begin(), log.texts.end(), "Writing data...");
    ASSERT_NE(writing, log.texts.end());
    EXPECT_EQ(*(writing - 1), "Expanding data... 0x10000000 100%");

    auto& flash = *simulation->scanners()[0];
    for (std::uint32_t a = 0x10000100; a < 0x10000100 + 5000; a += 499)
        EXPECT_EQ(flash.flashByte(0, a), pattern(a));
    EXPECT_EQ(flash.flashByte(0, 0x100000FF), 0xFF);
    EXPECT_EQ(countKind("erase"), 1u); // the model's firmware erase
    EXPECT_EQ(countKind("eraseblock"), 1u);
    EXPECT_EQ(countKind("memwrite"), 64u);
    EXPECT_EQ(countKind("memread"), 64u);
}

TEST_F(PipelineTest, CompareDifferenceStopsBeforeTheNextBlock) {
    attach("CorruptReadAt=0x10010010\n");
    CUpgradePipeline pipeline(scanner);
    EXPECT_EQ(run(pipeline, image(0x10000000, 3 * 0x10000, pattern)), 0u);
    EXPECT_EQ(pipeline.result.load(), 0);
    ASSERT_TRUE(pipeline.deviceError());
    EXPECT_EQ(pipeline.deviceError()->message(), "Data Compare Error");
    EXPECT_EQ(pipeline.deviceError()->detail(), "0x10010010");
    // All three blocks were written; only the first was compared whole, and
    // nothing of the third.
    EXPECT_EQ(countKind("memwrite"), 192u);
    EXPECT_EQ(countKind("memread"), 65u);
    EXPECT_TRUE(drain(pipeline.displayQueue).ended);
}

TEST_F(PipelineTest, CorruptRecordEndsTheRunBeforeTheScannerIsTouched) {
    attach();
    std::string text = image(0x10000000, 256, pattern);
    text[text.find("S3", 20) + 20] ^= 1; // a data digit of the second record
    CUpgradePipeline pipeline(scanner);
    EXPECT_EQ(run(pipeline, text), 0u);
    EXPECT_EQ(pipeline.displayRunning.load(), 0);
    ASSERT_TRUE(pipeline.deviceError());
    EXPECT_NE(pipeline.deviceError()->message().find("line 3"), std::string::npos);
    EXPECT_TRUE(trace().empty());
}

TEST_F(PipelineTest, MissingFileFailsWithoutADeviceError) {
    attach();
    CUpgradePipeline pipeline(scanner);
    pipeline.firmwarePath = scratch.file("nowhere.mot");
    EXPECT_EQ(pipeline.producer(), 0u);
    EXPECT_EQ(pipeline.displayRunning.load(), 0);
    EXPECT_FALSE(pipeline.deviceError());
    EXPECT_TRUE(trace().empty());
}

TEST_F(PipelineTest, OnlySectionsToWriteAreSent) {
    attach();
    CUpgradePipeline pipeline(scanner);
    pipeline.sectionsInUse = true;
    pipeline.prepareBeforeWriting = false;
    pipeline.sectionsToWrite = {{0x10010000, 0x100}};
    ASSERT_EQ(run(pipeline, image(0x10000000, 3 * 0x10000, pattern)), 1u);
    EXPECT_EQ(countKind("erase"), 0u);
    EXPECT_EQ(countKind("eraseblock"), 1u);
    EXPECT_EQ(countKind("memwrite"), 64u);
    EXPECT_EQ(simulation->scanners()[0]->flashByte(0, 0x10000000), 0xFF);
    EXPECT_EQ(simulation->scanners()[0]->flashByte(0, 0x10010000), pattern(0x10010000));
}

TEST(PipelinePages, TotalsRoundUpToWholePages) {
    EXPECT_EQ(CUpgradePipeline::RoundUpToPage(0), 0u);
    EXPECT_EQ(CUpgradePipeline::RoundUpToPage(1), 8192u);
    EXPECT_EQ(CUpgradePipeline::RoundUpToPage(8192), 8192u);
    EXPECT_EQ(CUpgradePipeline::RoundUpToPage(8193), 16384u);
}
