#include "device/dialog_font.h"
#include "device/wait_dialog_templates.h"
#include "settings/loc_test_files.h"
#include "settings/loc_text.h"

#include <gtest/gtest.h>

using testing_support::Utf8;

TEST(WaitDialogTexts, ConfigDialogTranslatesItsCaptionAndControls) {
    platform::CDialog config(wait_dialogs::ConfigTemplate());
    CDialogLocWindow window(config);
    CLocText shipped({std::string(REFIRM_SOURCE_DIR) + "/examples/refirm.LOC"});
    shipped.translateDialog(window, 1041);
    EXPECT_EQ(config.GetWindowTextA(), Utf8(u8"設定"));
    EXPECT_EQ(config.GetDlgItemTextA(wait_dialogs::kRescanButton), Utf8(u8"再検索(&R)"));
    EXPECT_EQ(config.GetDlgItemTextA(wait_dialogs::kNoDevicesText),
              Utf8(u8"デバイスが見つかりません。"));
    // An icon's resource name is no text to translate.
    platform::CDialog arrival(wait_dialogs::WaitArrivalTemplate());
    EXPECT_EQ(CDialogLocWindow(arrival).childCount(), 1u);
}
