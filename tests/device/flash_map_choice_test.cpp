#include "device/flash_map_choice.h"

#include "flash/region_flash_maps.h"
#include "flash/table_flash_maps.h"
#include "platform/message_box.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Box {
    std::string text;
    std::string caption;
    unsigned type;
};

// Records every message box for the length of a test.
class BoxRecorder {
public:
    BoxRecorder() {
        previous_ = platform::SetMessageBoxHandler(
            [this](const std::string& text, const std::string& caption, unsigned type) {
                boxes.push_back({text, caption, type});
                return platform::DefaultButton(type);
            });
    }
    ~BoxRecorder() { platform::SetMessageBoxHandler(std::move(previous_)); }

    std::vector<Box> boxes;

private:
    platform::MessageBoxHandler previous_;
};

const std::string kTorvo = "KORVA   SX-T25II        1.00";
const std::string kUnknown = "KORVA   SX-9000         1.00";
const std::string kPetiteVx = "KORVA   OLK/PetiteVX    1.00";

TEST(FlashMapChoice, MatchReplacesThePreviousMap) {
    BoxRecorder recorder;
    CFlashMapPtr flashWriter;
    ChooseFlashMap(flashWriter, "KORVA   SX-2500C        1.00", false);
    ASSERT_NE(dynamic_cast<C8mFlash*>(flashWriter.get()), nullptr);
    EXPECT_EQ(dynamic_cast<C8mFlash&>(*flashWriter).GetReservedStart(), 0x8FF00u);
    EXPECT_FALSE(flashWriter->GetReconnect());

    ChooseFlashMap(flashWriter, kTorvo, false);
    EXPECT_NE(dynamic_cast<CTorvoFlash*>(flashWriter.get()), nullptr);
    EXPECT_TRUE(recorder.boxes.empty());
}

TEST(FlashMapChoice, UnknownProductKeepsThePreviousMapAndSaysSo) {
    BoxRecorder recorder;
    CFlashMapPtr flashWriter;
    ChooseFlashMap(flashWriter, kTorvo, false);
    CFlashMap* const torvo = flashWriter.get();

    for (const std::string& unknown : {kUnknown, kPetiteVx}) {
        ChooseFlashMap(flashWriter, unknown, false);
        EXPECT_EQ(flashWriter.get(), torvo) << unknown;
    }
    ASSERT_EQ(recorder.boxes.size(), 2u);
    for (const Box& box : recorder.boxes) {
        EXPECT_EQ(box.text, "Not implemented");
        EXPECT_EQ(box.caption, "");
        EXPECT_EQ(box.type, platform::MB_OK);
    }
}

TEST(FlashMapChoice, UnknownProductWithoutAnEarlierMapLeavesNone) {
    BoxRecorder recorder;
    CFlashMapPtr flashWriter;
    ChooseFlashMap(flashWriter, kUnknown, false);
    EXPECT_FALSE(flashWriter);
    EXPECT_EQ(recorder.boxes.size(), 1u);
}

TEST(FlashMapChoice, QuietRunsShowNoBox) {
    BoxRecorder recorder;
    CFlashMapPtr flashWriter;
    ChooseFlashMap(flashWriter, kUnknown, true);
    EXPECT_FALSE(flashWriter);
    ChooseFlashMap(flashWriter, kTorvo, true);
    CFlashMap* const torvo = flashWriter.get();
    ChooseFlashMap(flashWriter, kPetiteVx, true);
    EXPECT_EQ(flashWriter.get(), torvo);
    EXPECT_TRUE(recorder.boxes.empty());
}

} // namespace
