#include "firmware/address_data_list.h"
#include "image_generator.h"
#include "support/run_refirm.h"
#include "support/scratch_dir.h"
#include "support/simulated_run.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <sys/wait.h>

using namespace testing_support;

namespace {

struct ToolRun {
    int status = -1;
    std::string output; // standard output and standard error together
};

// Runs a program with a clean environment; the watchdog only stops a hung run.
ToolRun runProgram(const std::string& program, const std::vector<std::string>& args) {
    ScratchDir io;
    std::string command = "env -i PATH=/usr/bin:/bin timeout --kill-after=5 240 " + quoted(program);
    for (const std::string& arg : args)
        command += " " + quoted(arg);
    command += " </dev/null >" + quoted(io.file("out")) + " 2>&1";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(io.file("out"))};
}

std::string examplePath(const std::string& name) {
    return std::string(REFIRM_SOURCE_DIR) + "/examples/" + name;
}

// Every byte of an S-record file, by address.
std::map<std::uint32_t, std::uint8_t> bytesOf(const std::string& text) {
    CAddressDataList records;
    records.loadText(text);
    std::map<std::uint32_t, std::uint8_t> bytes;
    for (auto p = records.head(); p != records.end(); p = records.remove(p)) {
        CAddressDataEx& entry = records.at(p);
        entry.decode();
        for (std::uint32_t i = 0; i < entry.size(); ++i)
            bytes[entry.address() + i] = entry.data()[i];
    }
    return bytes;
}

// The contiguous stretches of a byte map, [first, last + 1).
std::vector<std::pair<std::uint64_t, std::uint64_t>>
stretchesOf(const std::map<std::uint32_t, std::uint8_t>& bytes) {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> stretches;
    for (const auto& [address, value] : bytes) {
        if (!stretches.empty() && stretches.back().second == address)
            ++stretches.back().second;
        else
            stretches.push_back({address, std::uint64_t{address} + 1});
    }
    return stretches;
}

std::string hex(std::uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

struct Sample {
    std::string image;
    std::string family;
};

const Sample kSamples[] = {
    {"LUMIKA_MAIN_1.61.MOT", "LUMIKA"},
    {"KIRUNA_MAIN_1.42.MOT", "KIRUNA"},
    {"MORVI_1.21.MOT", "MORVI"},
};

// Upgrades a virtual scanner of the family with the sample image, the way a
// technician would, and returns its main flash dump.
FlashContent upgradedFlash(const Sample& sample) {
    SimulatedRun run;
    run.addExampleProfile(sample.family + ".ini");
    const std::string image = readFile(examplePath("images/" + sample.image));
    if (sample.family == "LUMIKA") {
        // Its sequence always takes the images the settings name.
        for (const char* name : {"LUMIKA_MAIN_1.61.MOT", "LUMIKA_SUB_4.MOT", "LUMIKA_AUTH_4.MOT"})
            run.writeWorkFile(name, readFile(examplePath(std::string("images/") + name)));
        run.writeSettingsFile(readFile(examplePath("refirm_lumika.ini")));
        run.run({"", "LUMIKA", "silent_w_err"});
    } else {
        run.writeWorkFile(sample.image, image);
        run.writeSettings(
            {{"NewFirmwareVersion", sample.family == "KIRUNA" ? std::string("1.42") : "1.21"}});
        std::vector<std::string> args{sample.image, sample.family, "silent_w_err"};
        if (sample.family == "KIRUNA")
            args.push_back("no_union_update"); // its main controller alone
        run.run(args);
    }
    EXPECT_NE(run.log().find("Firmware upgrade completed."), std::string::npos) << run.log();
    return run.flashDump(0);
}

} // namespace

TEST(ImageToolEndToEnd, LaidOutBlocksAreWhatAnUpgradeLeavesInTheFlash) {
    for (const Sample& sample : kSamples) {
        SCOPED_TRACE(sample.image);
        ScratchDir dir;
        const std::string image = examplePath("images/" + sample.image);
        const ToolRun info = runProgram(REFIRM_IMAGE_BINARY, {"info", image});
        EXPECT_EQ(info.status, 0) << info.output;
        EXPECT_NE(info.output.find("No faults found."), std::string::npos) << info.output;

        const ToolRun layout = runProgram(
            REFIRM_IMAGE_BINARY, {"layout", image, "--family", sample.family, "-o", dir.file("o")});
        ASSERT_EQ(layout.status, 0) << layout.output;
        EXPECT_NE(layout.output.find("(family " + sample.family + ")"), std::string::npos);
        const auto laidOut = bytesOf(readFile(dir.file("o")));
        ASSERT_FALSE(laidOut.empty());

        const FlashContent flash = upgradedFlash(sample);
        ASSERT_FALSE(flash.empty());
        int wrong = 0;
        for (const auto& [address, value] : laidOut)
            if (flash.at(address) != value && ++wrong <= 3)
                ADD_FAILURE() << "at " << hex(address) << ": the flash holds "
                              << hex(flash.at(address)) << ", the layout " << hex(value);
        // The upgrade erased everything else.
        for (const auto& [address, value] : flash.bytes)
            if (laidOut.count(address) == 0 && ++wrong <= 6)
                ADD_FAILURE() << hex(value) << " at " << hex(address) << " is in no laid-out block";
        EXPECT_EQ(wrong, 0);
    }
}

// Lays the image file over a map (`selector`: "--family CODE" or "--product
// TEXT") and checks that the blocks it would write hold what srec_cat fills
// the same ranges with.
void expectSrecCatFillsTheSame(const std::string& image, const std::string& option,
                               const std::string& selector) {
    ScratchDir dir;
    const ToolRun layout =
        runProgram(REFIRM_IMAGE_BINARY, {"layout", image, option, selector, "-o", dir.file("o")});
    ASSERT_EQ(layout.status, 0) << layout.output;
    const auto laidOut = bytesOf(readFile(dir.file("o")));
    const auto stretches = stretchesOf(laidOut);
    ASSERT_FALSE(stretches.empty());

    // The image, 0xFF in every gap of the written blocks, cut to them and
    // moved to the start of a binary file.
    const std::uint64_t base = stretches.front().first;
    std::vector<std::string> args{image};
    for (const auto& [start, end] : stretches)
        args.insert(args.end(), {"-fill", "0xFF", hex(start), hex(end)});
    args.push_back("-crop");
    for (const auto& [start, end] : stretches)
        args.insert(args.end(), {hex(start), hex(end)});
    if (base > 0)
        args.insert(args.end(), {"-offset", "-" + hex(base)});
    args.insert(args.end(), {"-o", dir.file("srec.bin"), "-binary"});
    const ToolRun srec = runProgram("/usr/bin/srec_cat", args);
    ASSERT_EQ(srec.status, 0) << srec.output;

    std::string ours(stretches.back().second - base, '\0');
    for (const auto& [address, value] : laidOut)
        ours[address - base] = static_cast<char>(value);
    const std::string theirs = readFile(dir.file("srec.bin"));
    EXPECT_EQ(theirs.size(), ours.size());
    EXPECT_TRUE(theirs == ours) << "the binaries differ";
}

bool srecCatInstalled() {
    return std::system("command -v srec_cat >/dev/null 2>&1") == 0;
}

TEST(ImageToolEndToEnd, LaidOutBlocksAreWhatSrecCatFillsThemWith) {
    if (!srecCatInstalled())
        GTEST_SKIP() << "srec_cat is not installed (Debian package srecord)";
    for (const Sample& sample : kSamples) {
        SCOPED_TRACE(sample.image);
        expectSrecCatFillsTheSame(examplePath("images/" + sample.image), "--family", sample.family);
    }
}

// The benchmarks' generated image (S3 records at 0x10000000 and S2 records at
// 0x104000), in a size that keeps the test short, ordered and shuffled.
TEST(ImageToolEndToEnd, GeneratedImageLaysOutAsSrecCatFillsIt) {
    if (!srecCatInstalled())
        GTEST_SKIP() << "srec_cat is not installed (Debian package srecord)";
    for (const bench::Order order : {bench::Order::Ordered, bench::Order::Shuffled}) {
        SCOPED_TRACE(order == bench::Order::Ordered ? "ordered" : "shuffled");
        ScratchDir dir;
        bench::ImageShape shape;
        shape.mainBytes = 0x18000; // one block of 64 KiB and half the next
        shape.order = order;
        ASSERT_TRUE(bench::WriteImage(dir.file("generated.mot"), shape));
        expectSrecCatFillsTheSame(dir.file("generated.mot"), "--product", "SX-T18");
    }
}
