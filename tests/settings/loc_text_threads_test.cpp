#include "settings/loc_text.h"

#include "settings/loc_test_files.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>
#include <vector>

// Worker threads translate status texts while the main thread may be the first
// to use the table; whoever comes first loads it, the rest wait or see it loaded.
TEST(LocTextThreads, ConcurrentFirstUseLoadsOnceAndTranslatesEverywhere) {
    testing_support::ScratchDir dir;
    const std::string file = dir.file("refirm.LOC");
    CLocText table({file});
    std::atomic<bool> fileWritten{false};
    std::atomic<int> wrong{0};

    std::vector<std::thread> workers;
    for (int t = 0; t < 8; ++t) {
        workers.emplace_back([&] {
            for (int i = 0; i < 2000; ++i) {
                const bool expectJapanese = fileWritten.load();
                const std::string text = table.translate("Error", 1041);
                if (expectJapanese ? text != testing_support::Utf8(u8"エラー")
                                   : text != "Error" && text != testing_support::Utf8(u8"エラー"))
                    ++wrong;
            }
        });
    }
    // Written beside and renamed, so that no reader ever sees half a file.
    testing_support::writeFile(
        file + ".new", testing_support::LocFileContent(u"1033=English\r\n1041=Japanese\r\n\r\n"
                                                       u"English=Error\r\nJapanese=エラー\r\n"));
    std::filesystem::rename(file + ".new", file);
    fileWritten = true;
    for (std::thread& worker : workers)
        worker.join();

    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(table.lines().size(), 5u); // loaded exactly once
}
