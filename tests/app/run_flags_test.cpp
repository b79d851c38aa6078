#include "app/run_flags.h"

#include <gtest/gtest.h>

TEST(RunFlags, DefaultsWithoutKeywords) {
    const RunFlags f = ParseRunFlags({"refirm", "a.mot", "ZEPA"});
    EXPECT_EQ(f.silent, 0);
    EXPECT_EQ(f.silentWithError, 0);
    EXPECT_EQ(f.force, 0);
    EXPECT_EQ(f.unionUpdate, 1);
}

TEST(RunFlags, KeywordsAnywhereIncludingTheProgramPath) {
    const RunFlags f = ParseRunFlags({"silent_w_err", "force_update", "no_union_update"});
    EXPECT_EQ(f.silent, 1);
    EXPECT_EQ(f.silentWithError, 1);
    EXPECT_EQ(f.force, 1);
    EXPECT_EQ(f.unionUpdate, 0);
    EXPECT_EQ(ParseRunFlags({"refirm", "a.mot", "ZEPA", "silent", "silent"}).silent, 1);
    EXPECT_EQ(ParseRunFlags({"refirm", "silent"}).silentWithError, 0);
}

TEST(RunFlags, KeywordsAreExactAndCaseSensitive) {
    const RunFlags f =
        ParseRunFlags({"refirm", "Silent", "SILENT_W_ERR", "force_update ", "no_union"});
    EXPECT_EQ(f.silent, 0);
    EXPECT_EQ(f.silentWithError, 0);
    EXPECT_EQ(f.force, 0);
    EXPECT_EQ(f.unionUpdate, 1);
}
