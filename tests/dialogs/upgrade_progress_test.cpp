#include "device/messages.h"
#include "device/scanner.h"
#include "dialogs/firm_load_template.h"
#include "dialogs/upgrade_window.h"
#include "firmware/upgrade_pipeline.h"

#include <gtest/gtest.h>

#include <memory>

using namespace firm_load;

namespace {

struct UpgradeProgressTest : testing::Test {
    void postText(std::int32_t code, const std::string& text) {
        pipeline.displayQueue.post(std::make_unique<CMessageString>(code, text));
    }
    void postNumber(std::int32_t code, std::int32_t value) {
        pipeline.displayQueue.post(std::make_unique<CMessageLong>(code, value));
    }

    CScanner scanner;
    CUpgradePipeline pipeline{scanner};
    platform::CDialog dialog{UpgradeTemplate()};
    UpgradeProgress progress;
};

} // namespace

// A run of texts for one status line leaves its last one, whatever comes
// between the runs, and the bars and counters add up every piece.
TEST_F(UpgradeProgressTest, EveryLineEndsWithItsLastTextAndTheCountersWithTheirSums) {
    postNumber(CMessageAny::kTotalBytes, 300);
    postText(CMessageAny::kLoadingText, "Expanding data... 0x10000000 0%");
    postText(CMessageAny::kLoadingText, "Expanding data... 0x10000000 50%");
    postText(CMessageAny::kCompareText, "Compare data...");
    postText(CMessageAny::kLoadingText, "Writing data...");
    postNumber(CMessageAny::kBytesWritten, 100);
    postNumber(CMessageAny::kBytesCompared, 40);
    postNumber(CMessageAny::kBytesWritten, 100);
    postText(CMessageAny::kLoadingText, "Expanding data... 0x10010000 0%");
    postText(CMessageAny::kLoadingText, "Expanding data... 0x10010000 100%");
    progress.drain(dialog, pipeline);

    EXPECT_EQ(dialog.GetDlgItemTextA(kLoadingStatus), "Expanding data... 0x10010000 100%");
    EXPECT_EQ(dialog.GetDlgItemTextA(kCompareStatus), "Compare data...");
    EXPECT_EQ(dialog.GetPos(kLoadingBar), 200);
    EXPECT_EQ(dialog.GetDlgItemTextA(kLoadingCount), "200 / 300");
    EXPECT_EQ(dialog.GetPos(kCompareBar), 40);
    EXPECT_EQ(dialog.GetDlgItemTextA(kCompareCount), "40 / 300");
    EXPECT_EQ(pipeline.displayRunning.load(), 1);
}

// The texts before the run's end are shown; what follows the end stays queued.
TEST_F(UpgradeProgressTest, TextsBeforeTheEndAreShownAndNothingAfterIt) {
    postText(CMessageAny::kCompareText, "Compare data...");
    postText(CMessageAny::kCompareText, "Compare data completed.");
    pipeline.displayQueue.post(std::make_unique<CMessageEnd>());
    postText(CMessageAny::kCompareText, "after the end");
    progress.drain(dialog, pipeline);

    EXPECT_EQ(dialog.GetDlgItemTextA(kCompareStatus), "Compare data completed.");
    EXPECT_EQ(pipeline.displayRunning.load(), 0);
    auto left = pipeline.displayQueue.take(false);
    ASSERT_NE(left, nullptr);
    EXPECT_EQ(static_cast<const CMessageString&>(*left).text(), "after the end");
}
