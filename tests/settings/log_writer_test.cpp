#include "settings/log_writer.h"

#include "support/scratch_dir.h"

#include <gtest/gtest.h>

using namespace testing_support;

TEST(LogWriter, PrefixFormat) {
    platform::SYSTEMTIME t;
    t.wYear = 2014;
    t.wMonth = 3;
    t.wDay = 5;
    t.wHour = 14;
    t.wMinute = 7;
    t.wSecond = 9;
    t.wMilliseconds = 42;
    EXPECT_EQ(FormatLogPrefix(t, 0xA3C), "2014/ 3/ 5 14:07:09.042   ID(     A3C) : ");
    t.wMonth = 12;
    t.wDay = 31;
    t.wHour = 9;
    EXPECT_EQ(FormatLogPrefix(t, 0xDEADBEEF), "2014/12/31  9:07:09.042   ID(DEADBEEF) : ");
}

TEST(LogWriter, EntriesAppendToAFreshFile) {
    ScratchDir dir;
    const std::string path = dir.file("Refirm.log");
    writeFile(path, "stale entries of an earlier run\r\n");
    StartLog(path);
    EXPECT_FALSE(fileExists(path));
    WriteLog("Firmware upgrade completed.\r\n");
    WriteLog("second\r\n");
    const std::string log = readFile(path);
    // Each entry starts with the 42-character "yyyy/mm/dd hh:mm:ss.mmm   ID(xxxxxxxx) : ".
    ASSERT_GT(log.size(), 42u);
    EXPECT_EQ(log[4], '/');
    EXPECT_EQ(log.substr(23, 6), "   ID(");
    EXPECT_EQ(log.substr(37, 33), ") : Firmware upgrade completed.\r\n");
    EXPECT_NE(log.find("Firmware upgrade completed.\r\n"), std::string::npos);
    EXPECT_EQ(log.substr(log.size() - 8), "second\r\n");
    StartLog("");
}

TEST(LogWriter, OffWritesNothing) {
    ScratchDir dir;
    StartLog("");
    WriteLog("nowhere\r\n");
    EXPECT_EQ(LogPath(), "");
    EXPECT_FALSE(fileExists(dir.file("Refirm.log")));
}
