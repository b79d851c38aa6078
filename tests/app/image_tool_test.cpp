#include "app/image_tool.h"

#include "app/family_registry.h"
#include "firmware/address_data_list.h"
#include "firmware/block_fill.h"
#include "firmware/srecord_lines.h"
#include "flash/flash_map_selection.h"
#include "platform/clock.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>

using srecord_lines::bytes;
using srecord_lines::record;
using testing_support::readFile;
using testing_support::ScratchDir;
using testing_support::writeFile;

namespace {

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

ToolRun runTool(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    ToolRun run;
    run.status = RunImageTool(args, out, err);
    run.out = out.str();
    run.err = err.str();
    return run;
}

bool has(const std::string& text, const std::string& piece) {
    return text.find(piece) != std::string::npos;
}

std::string sampleImage(const std::string& name) {
    return readFile(std::string(REFIRM_SOURCE_DIR) + "/examples/images/" + name);
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
        text.replace(at, from.size(), to);
    return text;
}

// An image for the SX-2300C map (blocks of 64 KiB up to 0xF0000, smaller
// ones up to 1 MiB, 256 reserved bytes from 0x8FF00): block 0, across blocks 8
// and 9 through reserved bytes, block 17, and past the end of the map.
std::string morviImage() {
    return "S00600004844521B\n" + record(3, 0x000000, bytes(64, 0x12)) + "\n" +
           record(3, 0x08FFF0, bytes(32, 0x34)) + "\n" + record(3, 0x0FA000, bytes(16, 0x56)) +
           "\n" + record(3, 0x100000, bytes(16, 0x78)) + "\n" + "S70500000000FA\n";
}

} // namespace

TEST(ImageTool, BadImagesGiveAClearMessageAndNoCrash) {
    ScratchDir dir;
    std::mt19937 random(7);
    std::string garbage(4096, '\0');
    for (char& c : garbage)
        c = static_cast<char>(random());
    const std::string sample = sampleImage("SAMPLE.MOT"); // CR LF
    const struct {
        std::string name;
        std::string content;
        int infoStatus;
        std::string infoSays;
        int layoutStatus;
        std::string layoutSays;
    } cases[] = {
        {"empty", "", 1, "The file is empty", 1, "Nothing would be written"},
        {"garbage", garbage, 1, "no S-record", 1, ""},
        {"long line", "S3" + std::string(1 << 20, 'A') + "\n", 1, "line 1: checksum", 1,
         "bad record in line 1 (address 0xAAAAAAAA)"},
        {"odd digits", "S00600004844521B\nS1050000ABC\n", 1, "line 2: odd number", 1,
         "bad record in line 2"},
        {"not hexadecimal", "S1070000GG0102F5\n", 1, "line 1: 'G' in column 9", 1,
         "bad record in line 1"},
        {"CR LF", sample, 0, "9, ending in CR LF", 0, "Written         2 blocks"},
        {"LF", replaced(sample, "\r\n", "\n"), 0, "9, ending in LF", 0, "Written         2 blocks"},
        {"CR only", replaced(sample, "\r\n", "\r"), 1, "1, without a line end", 1,
         "Nothing would be written"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.file("image.mot");
        writeFile(path, c.content);
        const ToolRun info = runTool({"info", path});
        EXPECT_EQ(info.status, c.infoStatus) << info.out << info.err;
        EXPECT_TRUE(has(info.out, c.infoSays)) << info.out;
        const ToolRun layout = runTool({"layout", path, "--family", "MORVI"});
        EXPECT_EQ(layout.status, c.layoutStatus) << layout.out << layout.err;
        EXPECT_TRUE(has(layout.out + layout.err, c.layoutSays)) << layout.out << layout.err;
    }

    // The figures do not depend on the line ends the loader takes.
    writeFile(dir.file("crlf.mot"), sample);
    writeFile(dir.file("lf.mot"), replaced(sample, "\r\n", "\n"));
    const auto figures = [](const std::string& out) { return out.substr(out.find("Records")); };
    EXPECT_EQ(figures(runTool({"info", dir.file("crlf.mot")}).out),
              figures(runTool({"info", dir.file("lf.mot")}).out));

    // What the CR-only file is: one long line that holds every record.
    writeFile(dir.file("cr.mot"), replaced(sample, "\r\n", "\r"));
    const ToolRun cr = runTool({"info", dir.file("cr.mot")});
    EXPECT_TRUE(has(cr.out, "line 1: 313 characters with 9 carriage returns")) << cr.out;
    EXPECT_TRUE(has(cr.out, "The image holds no data")) << cr.out;
}

TEST(ImageTool, UnreadableFilesAreNamedWithTheirReason) {
    ScratchDir dir;
    std::filesystem::create_directory(dir.file("folder.mot"));
    for (const std::string command : {"info", "layout"}) {
        SCOPED_TRACE(command);
        std::vector<std::string> args{command, dir.file("folder.mot")};
        if (command == "layout")
            args.insert(args.end(), {"--product", "SX-2300C"});
        ToolRun run = runTool(args);
        EXPECT_EQ(run.status, kImageToolFailed);
        EXPECT_TRUE(has(run.err, "\"" + dir.file("folder.mot") + "\": it is a directory"))
            << run.err;
        EXPECT_TRUE(run.out.empty());

        args[1] = dir.file("missing.mot");
        run = runTool(args);
        EXPECT_EQ(run.status, kImageToolFailed);
        EXPECT_TRUE(has(run.err, "there is no such file")) << run.err;
    }
}

TEST(ImageTool, FileWithoutReadPermissionIsNamedWithItsReason) {
    ScratchDir dir;
    const std::string locked = dir.file("locked.mot");
    writeFile(locked, sampleImage("SAMPLE.MOT"));
    std::filesystem::permissions(locked, std::filesystem::perms::none);
    if (std::ifstream(locked).good())
        GTEST_SKIP() << "the file can be read without permission (run as root)";
    const ToolRun run = runTool({"info", locked});
    EXPECT_EQ(run.status, kImageToolFailed);
    EXPECT_TRUE(has(run.err, "access is denied")) << run.err;
}

TEST(ImageTool, InfoReportsTheFiguresOfAHandMadeImage) {
    ScratchDir dir;
    writeFile(dir.file("image.mot"),
              "S00600004844521B\r\n" + record(3, 0x1000, bytes(32, 1)) + "\r\n" +
                  record(3, 0x1010, bytes(32, 2)) + "\r\n" +
                  record(3, 0x2000, bytes(4, 3), {.count = std::nullopt, .checksum = 0x00}) +
                  "\r\n" + record(2, 0x2000, bytes(8, 4)) + "\r\n" +
                  record(2, 0x2004, bytes(2, 5)) + "\r\n" + "S70500000000FA\r\n");
    const ToolRun run = runTool({"info", dir.file("image.mot")});
    EXPECT_EQ(run.status, kImageToolFaults);
    EXPECT_EQ(run.out.substr(run.out.find("Lines")),
              "Lines           7, ending in CR LF\n"
              "Records         S0 1, S2 2, S3 3, S7 1\n"
              "Data            74 bytes in 4 records, 56 distinct addresses\n"
              "Ranges          2\n"
              "  0x00001000-0x0000102F  48 bytes\n"
              "  0x00002000-0x00002007  8 bytes\n"
              "Bad records     1\n"
              "  line 4: checksum 0x00, the record needs 0xCA (an upgrade refuses the image)\n"
              "Overlaps        2\n"
              "  0x00001010-0x0000101F  16 bytes, lines 2, 3\n"
              "  0x00002004-0x00002005  2 bytes, lines 5, 6\n"
              "  (a later record overwrites an earlier one, until its flash block is covered)\n"
              "An upgrade refuses this image: the record in line 4 is bad.\n");

    // Without --all the first 20 are listed.
    std::string many;
    for (int i = 0; i < 25; ++i)
        many += "junk\n";
    writeFile(dir.file("junk.mot"), many + record(1, 0, {1}) + "\n");
    const ToolRun some = runTool({"info", dir.file("junk.mot")});
    EXPECT_EQ(some.status, kImageToolFaults);
    EXPECT_TRUE(has(some.out, "  line 20: no S-record")) << some.out;
    EXPECT_FALSE(has(some.out, "  line 21: ")) << some.out;
    EXPECT_TRUE(has(some.out, "  ... and 5 more (--all lists every one)\n")) << some.out;
    EXPECT_TRUE(has(some.out, "An upgrade takes this image, but")) << some.out;
    EXPECT_TRUE(
        has(runTool({"info", "--all", dir.file("junk.mot")}).out, "  line 25: no S-record"));

    EXPECT_EQ(runTool({"info", std::string(REFIRM_SOURCE_DIR) + "/examples/images/MORVI_1.21.MOT"})
                  .status,
              kImageToolGood);
}

TEST(ImageTool, LayoutListsTheBlocksOfTheProductMap) {
    ScratchDir dir;
    writeFile(dir.file("image.mot"), morviImage());
    const ToolRun run = runTool({"layout", dir.file("image.mot"), "--product", "SX-2300C"});
    EXPECT_EQ(run.status, kImageToolGood) << run.err;
    EXPECT_EQ(run.out.substr(run.out.find("Product")),
              "Product         SX-2300C\n"
              "Flash map       19 blocks, 1048576 bytes\n"
              "Blocks\n"
              "  index    address     size        state\n"
              "  0        0x00000000  0x10000     written, 64 bytes from the image\n"
              "  1-7      0x00010000  0x70000     erased only (7 blocks)\n"
              "  8        0x00080000  0x10000     written, 16 bytes from the image\n"
              "  9        0x00090000  0x10000     written, 16 bytes from the image\n"
              "  10-16    0x000A0000  0x5A000     erased only (7 blocks)\n"
              "  17       0x000FA000  0x2000      written, 16 bytes from the image\n"
              "  18       0x000FC000  0x4000      erased only\n"
              "Written         4 blocks, 204800 bytes\n"
              "In no block     1\n"
              "  0x00100000-0x0010000F  16 bytes\n"
              "Reserved range  1\n"
              "  0x0008FFF0-0x0008FFFF  16 bytes\n");

    // The family's first identifier names the same product.
    const ToolRun family = runTool({"layout", dir.file("image.mot"), "--family", "MORVI"});
    EXPECT_TRUE(has(family.out, "Product         SX-2300C (family MORVI)\n")) << family.out;
    EXPECT_EQ(family.out.substr(family.out.find("Flash map")),
              run.out.substr(run.out.find("Flash map")));
}

TEST(ImageTool, OutputHoldsEveryByteOfTheWrittenBlocks) {
    ScratchDir dir;
    const std::string image = morviImage();
    writeFile(dir.file("image.mot"), image);
    const ToolRun run =
        runTool({"layout", dir.file("image.mot"), "--family", "MORVI", "-o", dir.file("out.mot")});
    ASSERT_EQ(run.status, kImageToolGood) << run.err;
    EXPECT_TRUE(has(run.out, "out.mot, 6400 S3 records")) << run.out;
    const std::string text = readFile(dir.file("out.mot"));

    // S0 first, S7 last, S3 records of 32 bytes between, LF ends, upper case.
    std::istringstream lines(text);
    std::vector<std::string> all;
    for (std::string line; std::getline(lines, line);)
        all.push_back(line);
    ASSERT_GE(all.size(), 2u);
    EXPECT_EQ(all.front().substr(0, 2), "S0");
    EXPECT_EQ(all.back(), "S70500000000FA");
    EXPECT_EQ(text.find('\r'), std::string::npos);
    for (std::size_t i = 1; i + 1 < all.size(); ++i) {
        ASSERT_EQ(all[i].substr(0, 4), "S325") << i;
        ASSERT_EQ(all[i].find_first_not_of("0123456789ABCDEF", 1), std::string::npos) << i;
    }

    // Read back as an upgrade reads an image, it is the block fill's layout.
    CAddressDataList written;
    written.loadText(text);
    std::map<std::uint32_t, std::uint8_t> got;
    std::uint64_t next = 0;
    for (auto p = written.head(); p != written.end(); p = written.remove(p)) {
        CAddressDataEx& entry = written.at(p);
        entry.decodeStrict();
        if (entry.size() == 0)
            continue;
        EXPECT_TRUE(entry.address() >= next) << "in address order";
        next = std::uint64_t{entry.address()} + entry.size();
        for (std::uint32_t i = 0; i < entry.size(); ++i)
            EXPECT_TRUE(got.emplace(entry.address() + i, entry.data()[i]).second);
    }
    const auto map = CreateFlashMapForProduct(IdentificationText("SX-2300C"));
    ASSERT_TRUE(map);
    CAddressDataList source;
    source.loadText(image);
    std::map<std::uint32_t, std::uint8_t> expected;
    for (std::int32_t i = 0; map->GetBlockSize(i) != 0; ++i) {
        const FilledBlock filled = FillBlock(source, map->GetBlockAddress(i), map->GetBlockSize(i));
        if (filled.coveredBytes == 0)
            continue;
        for (std::uint32_t b = 0; b < filled.block->size(); ++b)
            expected[filled.block->address() + b] = filled.block->data()[b];
    }
    EXPECT_EQ(got.size(), 204800u);
    EXPECT_TRUE(got == expected);
}

TEST(ImageTool, ProductsComeFromTheFamilyOrTheCommandLine) {
    EXPECT_EQ(ProductOfDeviceIdentifier("STI\\KORVA SX-T18 USB"), "SX-T18");
    EXPECT_EQ(ProductOfDeviceIdentifier("STI\\KORVA SX-4700C SCSI"), "SX-4700C");
    EXPECT_EQ(ProductOfDeviceIdentifier("ASPI\\KORVA   SX-2500C        "), "SX-2500C");
    EXPECT_EQ(IdentificationText("SX-T18"), "KORVA   SX-T18              ");
    EXPECT_EQ(IdentificationText("SX-T18").size(), 28u);

    // Every family's first identifier names a product with a map.
    for (const FamilyRow& row : familyTable()) {
        const std::string product = ProductOfDeviceIdentifier(familyIdentifiers(row.key).front());
        EXPECT_FALSE(product.empty()) << row.code;
        EXPECT_TRUE(CreateFlashMapForProduct(IdentificationText(product))) << row.code;
    }

    ScratchDir dir;
    writeFile(dir.file("image.mot"), morviImage());
    const std::string image = dir.file("image.mot");
    const struct {
        std::vector<std::string> args;
        std::string says;
    } refused[] = {
        {{"layout", image, "--family", "morvi"}, "unknown family \"morvi\""},
        {{"layout", image, "--product", "SX-9999"},
         "no flash map is implemented for the product \"SX-9999\""},
        {{"layout", image, "--product", "SX-2300C-LONGER-NAME"}, "1 to 16 characters"},
    };
    for (const auto& c : refused) {
        const ToolRun run = runTool(c.args);
        EXPECT_EQ(run.status, kImageToolFailed) << c.says;
        EXPECT_TRUE(has(run.err, c.says)) << run.err;
        EXPECT_TRUE(run.out.empty()) << run.out;
    }
    // The same product as the family's, found in the rules' order.
    const ToolRun yew = runTool({"layout", image, "--family", "YEW"});
    EXPECT_TRUE(has(yew.out, "Product         SX-T18 (family YEW)\n")) << yew.out;
    EXPECT_TRUE(has(yew.out, "Flash map       385 blocks")) << yew.out;
    EXPECT_EQ(yew.status, kImageToolFaults) << "nothing of the image is in that map";
}

TEST(ImageTool, ArgumentsAreCheckedBeforeAnyFileIsRead) {
    const ToolRun help = runTool({"layout", "--help"});
    EXPECT_EQ(help.status, kImageToolGood);
    EXPECT_TRUE(has(help.out, "Usage: refirm-image info IMAGE.MOT")) << help.out;
    EXPECT_EQ(help.out, ImageToolUsage());
    const ToolRun none = runTool({});
    EXPECT_EQ(none.status, kImageToolFailed);
    EXPECT_EQ(none.err, ImageToolUsage());

    const struct {
        std::vector<std::string> args;
        std::string says;
    } cases[] = {
        {{"show", "a.mot"}, "unknown command \"show\""},
        {{"info"}, "no image named"},
        {{"info", "a.mot", "--family", "MORVI"}, "--family belongs to the layout command"},
        {{"info", "a.mot", "--verbose"}, "unknown option --verbose"},
        {{"layout", "a.mot", "--family", "MORVI", "--product", "SX-2300C"},
         "layout needs either --family or --product"},
        {{"layout", "a.mot", "--family"}, "--family needs a value"},
        {{"layout", "a.mot", "--family", "MORVI", "-o", "x", "-o", "y"}, "-o is given twice"},
    };
    for (const auto& c : cases) {
        const ToolRun run = runTool(c.args);
        EXPECT_EQ(run.status, kImageToolFailed) << c.says;
        EXPECT_TRUE(has(run.err, "refirm-image: " + c.says)) << run.err;
        EXPECT_TRUE(has(run.err, "Try \"refirm-image --help\".")) << run.err;
    }

    ScratchDir dir;
    writeFile(dir.file("image.mot"), morviImage());
    const ToolRun unwritable = runTool({"layout", dir.file("image.mot"), "--family", "MORVI", "-o",
                                        dir.file("no/such/dir/out.mot")});
    EXPECT_EQ(unwritable.status, kImageToolFailed);
    EXPECT_TRUE(has(unwritable.err, "cannot write")) << unwritable.err;
}

TEST(ImageTool, ProgressBarWaitsForAMomentAndClearsItsLine) {
    platform::SetManualClock(true);
    std::ostringstream shown, hidden;
    {
        ProgressBar bar(shown, true, "Laying out");
        ProgressBar off(hidden, false, "Laying out");
        bar.update(10);
        EXPECT_EQ(shown.str(), "") << "not within the first moment";
        platform::AdvanceClock(ProgressBar::kDelay);
        bar.update(50);
        off.update(50);
        EXPECT_EQ(shown.str(), "\rLaying out [###############...............] 50%");
    }
    platform::SetManualClock(false);
    EXPECT_EQ(shown.str().substr(shown.str().rfind('%') + 1),
              "\r" + std::string(std::string("Laying out [] 50%").size() + 30, ' ') + "\r");
    EXPECT_EQ(hidden.str(), "");
}
