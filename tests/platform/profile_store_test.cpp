#include "platform/profile_store.h"

#include "support/scratch_dir.h"

#include <cstdlib>
#include <gtest/gtest.h>

using namespace testing_support;

TEST(ProfileStore, ValuesLiveInOneFilePerKeyAndApplication) {
    ScratchDir home;
    ::setenv("XDG_CONFIG_HOME", home.path().c_str(), 1);
    platform::SetRegistryKey("Korvatek\\Refirm");
    EXPECT_EQ(platform::ProfileFileName(), home.file("Korvatek/Refirm/refirm_tests.ini"));

    EXPECT_EQ(platform::GetProfileIntA("General", "WRITELOG", 7), 7);
    EXPECT_FALSE(fileExists(platform::ProfileFileName()));
    ASSERT_TRUE(platform::WriteProfileInt("General", "WRITELOG", -3));
    ASSERT_TRUE(platform::WriteProfileStringA("Dialog", "LastFile", "C:\\fw\\a.mot"));
    EXPECT_EQ(platform::GetProfileIntA("general", "writelog", 7), -3);
    EXPECT_EQ(platform::GetProfileStringA("Dialog", "LastFile", ""), "C:\\fw\\a.mot");
    ::unsetenv("XDG_CONFIG_HOME");
}

TEST(ProfileStore, DefaultsToConfigUnderHome) {
    ::unsetenv("XDG_CONFIG_HOME");
    ::setenv("HOME", "/home/tech", 1);
    platform::SetRegistryKey("Korvatek\\Refirm");
    EXPECT_EQ(platform::ProfileFileName(), "/home/tech/.config/Korvatek/Refirm/refirm_tests.ini");
}
