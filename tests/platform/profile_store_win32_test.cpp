#include "platform/profile_store.h"

#include "support/environment.h"

#include <gtest/gtest.h>

// The registry side of the per-user profile, run under Wine.
namespace {

class RegistryProfile : public ::testing::Test {
protected:
    RegistryProfile() {
        platform::SetRegistryKey("Korvatek\\Refirm");
        testing_support::clearUserProfile();
    }
    ~RegistryProfile() override { testing_support::clearUserProfile(); }
};

TEST_F(RegistryProfile, ValuesLiveUnderTheApplicationsKey) {
    EXPECT_EQ(platform::ProfileFileName(),
              "HKEY_CURRENT_USER\\Software\\Korvatek\\Refirm\\refirm_tests");
    EXPECT_EQ(platform::GetProfileIntA("General", "WRITELOG", 7), 7);
    EXPECT_EQ(platform::GetProfileStringA("Dialog", "LastFile", "none"), "none");

    ASSERT_TRUE(platform::WriteProfileInt("General", "WRITELOG", -3));
    ASSERT_TRUE(platform::WriteProfileStringA("Dialog", "LastFile", "C:\\fw\\a.mot"));
    // Registry names ignore letter case, as the framework's lookups do.
    EXPECT_EQ(platform::GetProfileIntA("general", "writelog", 7), -3);
    EXPECT_EQ(platform::GetProfileStringA("Dialog", "LastFile", ""), "C:\\fw\\a.mot");
    // Sections are separate keys.
    EXPECT_EQ(platform::GetProfileIntA("Dialog", "WRITELOG", 7), 7);
}

TEST_F(RegistryProfile, AValueOfAnotherTypeGivesTheDefault) {
    ASSERT_TRUE(platform::WriteProfileStringA("General", "WRITELOG", "1"));
    EXPECT_EQ(platform::GetProfileIntA("General", "WRITELOG", 9), 9);
    ASSERT_TRUE(platform::WriteProfileInt("Dialog", "LastFile", 4));
    EXPECT_EQ(platform::GetProfileStringA("Dialog", "LastFile", "none"), "none");
}

TEST_F(RegistryProfile, LongTextsComeBackWhole) {
    const std::string text(5000, 'x');
    ASSERT_TRUE(platform::WriteProfileStringA("Dialog", "Long", text));
    EXPECT_EQ(platform::GetProfileStringA("Dialog", "Long", ""), text);
    ASSERT_TRUE(platform::WriteProfileStringA("Dialog", "Long", ""));
    EXPECT_EQ(platform::GetProfileStringA("Dialog", "Long", "none"), "");
}

TEST_F(RegistryProfile, FilesBesideTheProfileGoUnderApplicationData) {
    const std::string dir = platform::ProfileDirectory();
    EXPECT_NE(dir.find("\\Korvatek\\Refirm"), std::string::npos) << dir;
    EXPECT_EQ(dir.find('/'), std::string::npos) << dir;
}

} // namespace
