#include "platform/file_names.h"

#include "support/scratch_dir.h"

#include <gtest/gtest.h>

using namespace testing_support;
using platform::ResolveFileName;

TEST(FileNames, BackslashesBecomeSeparators) {
    ScratchDir dir;
    writeFile(dir.file("sub/refirm.ini"), "");
    EXPECT_EQ(ResolveFileName(dir.path() + "\\sub\\refirm.ini"), dir.file("sub/refirm.ini"));
}

TEST(FileNames, EachComponentMatchesIgnoringCase) {
    ScratchDir dir;
    writeFile(dir.file("Vistrel/ZavidarEviv.loc"), "");
    EXPECT_EQ(ResolveFileName(dir.path() + "\\VISTREL\\ZAVIDAREVIV.LOC"),
              dir.file("Vistrel/ZavidarEviv.loc"));
}

TEST(FileNames, ExactNameWinsOverCaseVariants) {
    ScratchDir dir;
    writeFile(dir.file("REFIRM.LOC"), "");
    writeFile(dir.file("refirm.LOC"), "");
    EXPECT_EQ(ResolveFileName(dir.file("refirm.LOC")), dir.file("refirm.LOC"));
}

TEST(FileNames, MissingPartsAreKeptAsWritten) {
    ScratchDir dir;
    writeFile(dir.file("a/x"), "");
    EXPECT_EQ(ResolveFileName(dir.path() + "/A/Missing/Name.TXT"), dir.file("a/Missing/Name.TXT"));
}
