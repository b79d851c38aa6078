#include "settings/kor_archive.h"

#include "platform/profile_store.h"
#include "support/settings_sandbox.h"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

class KorArchiveTest : public ::testing::Test {
protected:
    KorArchiveTest() { platform::SetRegistryKey("Korvatek\\Refirm"); }
    SettingsSandbox box;
};

TEST_F(KorArchiveTest, TypeTagsAndPlainValueNeverChanged) {
    CKorArchive plain;
    CKorArchiveLong number;
    CKorArchiveString text;
    const CKorArchive* all[] = {&plain, &number, &text};
    EXPECT_EQ(all[0]->typeTag(), 0);
    EXPECT_EQ(all[1]->typeTag(), 1);
    EXPECT_EQ(all[2]->typeTag(), 2);
    EXPECT_FALSE(plain.isChanged());
}

TEST_F(KorArchiveTest, UnchangedValuesWriteNothing) {
    CKorArchiveLong number;
    number.load("Dialog", "AutoReset", 1);
    CKorArchiveString text;
    text.load("Dialog", "LastFile", "a.mot");
    number.save();
    text.save();
    EXPECT_FALSE(fileExists(platform::ProfileFileName()));
}

TEST_F(KorArchiveTest, ChangedValuesAreSavedAndReadBack) {
    CKorArchiveLong number;
    number.load("Dialog", "AutoReset", 1);
    number.setValue(0);
    EXPECT_TRUE(number.isChanged());
    number.save();
    EXPECT_TRUE(number.isChanged()); // a save leaves the loaded value as it was

    CKorArchiveString text;
    text.load("Dialog", "LastFile", "a.mot");
    text.setValue("A.MOT"); // strings compare case-sensitively
    EXPECT_TRUE(text.isChanged());
    text.save();

    CKorArchiveLong again;
    again.load("Dialog", "AutoReset", 1);
    EXPECT_EQ(again.value(), 0);
    EXPECT_FALSE(again.isChanged());
    CKorArchiveString againText;
    againText.load("Dialog", "LastFile", "");
    EXPECT_EQ(againText.value(), "A.MOT");
}

TEST_F(KorArchiveTest, CopyTakesValuesAndPlace) {
    CKorArchiveLong a;
    a.load("General", "WRITELOG", 4);
    a.setValue(5);
    CKorArchiveLong b;
    b.copyFrom(a);
    EXPECT_EQ(b.section(), "General");
    EXPECT_EQ(b.entry(), "WRITELOG");
    EXPECT_EQ(b.value(), 5);
    EXPECT_EQ(b.loadedValue(), 4);
}

} // namespace
