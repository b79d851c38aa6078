#include "platform/system_info.h"

#include <cstdlib>
#include <gtest/gtest.h>

using platform::LangIdFromLocale;

TEST(SystemInfo, LanguageIdsOfLocales) {
    EXPECT_EQ(LangIdFromLocale("en_US.UTF-8"), 1033);
    EXPECT_EQ(LangIdFromLocale("en_GB.UTF-8"), 2057);
    EXPECT_EQ(LangIdFromLocale("en_AU"), 3081);
    EXPECT_EQ(LangIdFromLocale("ja_JP.UTF-8"), 1041);
    EXPECT_EQ(LangIdFromLocale("de_DE.UTF-8@euro"), 1031);
    EXPECT_EQ(LangIdFromLocale("fr_FR"), 1036);
    // A territory not listed gets the language's default sub-language.
    EXPECT_EQ(LangIdFromLocale("ja"), 1041);
    EXPECT_EQ(LangIdFromLocale("de_LU.UTF-8"), 1031);
    EXPECT_EQ(LangIdFromLocale("C"), 1033);
    EXPECT_EQ(LangIdFromLocale("POSIX"), 1033);
    EXPECT_EQ(LangIdFromLocale("xx_YY"), 1033);
}

TEST(SystemInfo, LanguageVariablesTakenInOrder) {
    ::setenv("LC_ALL", "", 1);
    ::setenv("LC_MESSAGES", "ja_JP.UTF-8", 1);
    ::setenv("LANG", "de_DE.UTF-8", 1);
    EXPECT_EQ(platform::GetUserDefaultLangID(), 1041);
    ::setenv("LC_ALL", "en_GB.UTF-8", 1);
    EXPECT_EQ(platform::GetUserDefaultLangID(), 2057);
    ::unsetenv("LC_ALL");
    ::unsetenv("LC_MESSAGES");
    ::unsetenv("LANG");
    EXPECT_EQ(platform::GetUserDefaultLangID(), 1033);
}

TEST(SystemInfo, TempPathEndsInSeparator) {
    ::setenv("TMPDIR", "/var/tmp/x", 1);
    EXPECT_EQ(platform::GetTempPathA(), "/var/tmp/x/");
    ::unsetenv("TMPDIR");
    EXPECT_EQ(platform::GetTempPathA(), "/tmp/");
}

TEST(SystemInfo, ApplicationNameIsTheExecutableWithoutDirectoryAndExtension) {
    platform::SetModuleFileNameOverride("/opt/tools.d/Refirm.exe");
    EXPECT_EQ(platform::ApplicationName(), "Refirm");
    platform::SetModuleFileNameOverride("/opt/tools.d/refirm");
    EXPECT_EQ(platform::ApplicationName(), "refirm");
    platform::SetModuleFileNameOverride("");
    EXPECT_EQ(platform::ApplicationName(), "refirm_tests");
}

TEST(SystemInfo, LocalTimeIsPlausible) {
    const platform::SYSTEMTIME t = platform::GetLocalTime();
    EXPECT_GE(t.wYear, 2024);
    EXPECT_TRUE(t.wMonth >= 1 && t.wMonth <= 12);
    EXPECT_LT(t.wMilliseconds, 1000);
}
