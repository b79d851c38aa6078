#include "settings/log_writer.h"

#include "support/scratch_dir.h"

#include <gtest/gtest.h>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

using namespace testing_support;

TEST(LogWriterThreads, NoEntryIsLostOrSplitWhenThreadsWriteAtOnce) {
    ScratchDir dir;
    const std::string path = dir.file("Refirm.log");
    StartLog(path);
    constexpr int kThreads = 6;
    constexpr int kEntries = 150;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < kEntries; ++i)
                WriteLog("thread " + std::to_string(t) + " entry " + std::to_string(i) + "\r\n");
        });
    for (auto& th : threads)
        th.join();
    StartLog("");

    std::istringstream log(readFile(path));
    std::set<std::string> seen;
    std::string line;
    while (std::getline(log, line)) {
        const auto colon = line.find(" : ");
        ASSERT_NE(colon, std::string::npos) << line;
        seen.insert(line.substr(colon + 3));
    }
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(kThreads * kEntries));
}
