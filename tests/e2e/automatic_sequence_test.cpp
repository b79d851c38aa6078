#include "app/automatic_sequence.h"
#include "support/simulated_run.h"
#include "support/srecord_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <sstream>

using namespace testing_support;

namespace {

using Settings = std::vector<std::pair<std::string, std::string>>;

const char* const kCompleted = "Firmware upgrade completed.\nPlease restart the scanner.";
const char* const kNoNeed =
    "There is no need to upgrade the firmware.\nPlease restart the scanner.";
const char* const kFailed = "Firmware upgrade failed.\nPlease restart the scanner and try again.";

// Dialog templates as the record names them.
constexpr int kMainDialog = 130;
constexpr int kWaitDialog = 158;
constexpr int kMainDriveDialog = 197; // the authentication processor's too
constexpr int kSubDriveDialog = 198;
constexpr int kWaitDeviceDialog = 199;

// Each image has bytes of its own, so that one written to the wrong
// processor shows.
struct Image {
    std::vector<ImageRange> ranges;
    unsigned seed;

    std::string text() const {
        const unsigned s = seed;
        return SRecordImage(ranges, [s](std::uint32_t a) {
            return static_cast<std::uint8_t>(a * 13 + (a >> 8) + s);
        });
    }
};

// Two erase blocks of each map.
const Image kMainImage{{{0x10000000, 0x1000}, {0x10030080, 0x200}}, 1};
const Image kDriveImage{{{0x80000, 0x400}, {0xC0100, 0x180}}, 2};
const Image kSubImage{{{0x80000, 0x400}, {0xC0100, 0x180}}, 3};
// SX-470M: the main map from 0, the sub processors' 4 KiB blocks from 0x8000.
const Image kLumikaMainImage{{{0, 0x800}, {0x30000, 0x100}}, 4};
const Image kLumikaSubImage{{{0x8000, 0x200}, {0xA040, 0x100}}, 5};
const Image kLumikaAuthImage{{{0x8000, 0x200}, {0xA040, 0x100}}, 6};

testing::AssertionResult holdsExactly(const FlashContent& dump, const Image& image) {
    const FlashContent expected = parseFlashDump(image.text());
    for (const auto& [address, value] : expected.bytes)
        if (dump.at(address) != value)
            return testing::AssertionFailure()
                   << "at 0x" << std::hex << address << ": 0x" << int(dump.at(address))
                   << " instead of 0x" << int(value);
    for (const auto& [address, value] : dump.bytes)
        if (expected.at(address) == 0xFF)
            return testing::AssertionFailure() << "0x" << std::hex << int(value) << " at 0x"
                                               << address << " is not the image's";
    return testing::AssertionSuccess();
}

// One line of a command trace: its kind and command block.
struct Command {
    std::string kind;
    std::vector<unsigned> cdb;
};
using Commands = std::vector<Command>;
using Predicate = std::function<bool(const Command&)>;

Commands commandsOf(const SimulatedRun& run) {
    Commands commands;
    for (const std::string& line : run.traceLines(0)) {
        std::istringstream words(line);
        Command command;
        words >> command.kind;
        // The command block runs up to the direction word ("none", "in", "out").
        for (std::string word;
             words >> word && word.size() == 2 && std::isxdigit(word[0]) && std::isxdigit(word[1]);)
            command.cdb.push_back(std::stoul(word, nullptr, 16));
        commands.push_back(command);
    }
    return commands;
}

std::vector<std::size_t> positions(const Commands& commands, const Predicate& what) {
    std::vector<std::size_t> found;
    for (std::size_t i = 0; i < commands.size(); ++i)
        if (what(commands[i]))
            found.push_back(i);
    return found;
}

Predicate kindIs(const std::string& kind) {
    return [kind](const Command& c) { return c.kind == kind; };
}

// FE/FD 00 80 21 frames of the processor whose sub-commands start at `base`.
Predicate vendorFrame(unsigned base) {
    return [base](const Command& c) {
        return c.cdb.size() == 10 && (c.cdb[0] == 0xFE || c.cdb[0] == 0xFD) && c.cdb[2] == 0x80 &&
               c.cdb[3] == 0x21 && c.cdb[4] >= base && c.cdb[4] < base + 4;
    };
}

// SEND(10)/READ(10) frames with the processor's data type.
Predicate sendFrame(unsigned dataType) {
    return [dataType](const Command& c) {
        return c.cdb.size() == 10 && (c.cdb[0] == 0x2A || c.cdb[0] == 0x28) && c.cdb[2] == dataType;
    };
}

std::size_t withSubCommand(const Commands& commands, const std::vector<std::size_t>& frames,
                           unsigned sub) {
    return static_cast<std::size_t>(std::count_if(
        frames.begin(), frames.end(), [&](std::size_t i) { return commands[i].cdb[4] == sub; }));
}

bool none(const Commands& commands, std::initializer_list<const char*> kinds) {
    return std::none_of(kinds.begin(), kinds.end(), [&](const char* kind) {
        return !positions(commands, kindIs(kind)).empty();
    });
}

std::size_t count(const std::string& text, const std::string& piece) {
    std::size_t n = 0;
    for (auto at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1))
        ++n;
    return n;
}

// A box as the record shows it: line breaks of its text written as "\n".
std::string boxLine(const std::string& caption, const std::string& text) {
    std::string line = "box " + caption + " | ";
    for (char c : text)
        line += c == '\n' ? std::string("\\n") : std::string(1, c);
    return line + "\n";
}

// A scripted front end that answers `answers` and records what is shown.
void script(SimulatedRun& run, const std::string& answers = "") {
    run.setEnv("REFIRM_SCRIPT", run.writeWorkFile("answers.txt", answers));
    run.setEnv("REFIRM_RECORD", run.workDir() + "/record.txt");
}

// The lines of the record that begin with `prefix`, each ending in a line break.
std::string recorded(const SimulatedRun& run, const std::string& prefix) {
    std::string text;
    std::istringstream all(readFile(run.workDir() + "/record.txt"));
    for (std::string line; std::getline(all, line);)
        if (line.rfind(prefix, 0) == 0)
            text += line + "\n";
    return text;
}

std::string boxes(const SimulatedRun& run) {
    return recorded(run, "box ");
}

std::vector<int> dialogsOpened(const SimulatedRun& run) {
    std::vector<int> opened;
    std::istringstream lines(recorded(run, "open "));
    for (std::string open, id; lines >> open >> id; lines.ignore(1 << 16, '\n'))
        opened.push_back(std::stoi(id));
    return opened;
}

// The images in the work directory, and settings offering them with the
// next version of every processor, or with the version it has.
Settings offer(SimulatedRun& run, const std::string& family, bool current = false) {
    if (family == "LUMIKA") {
        run.writeWorkFile("main.mot", kLumikaMainImage.text());
        run.writeWorkFile("sub.mot", kLumikaSubImage.text());
        run.writeWorkFile("auth.mot", kLumikaAuthImage.text());
        const std::string main = current ? "1.60" : "1.61", sub = current ? "3" : "4";
        return {{"NewFirmwareVersion", main},
                {"SubDriveCpuNewFirmwareMot", "sub.mot"},
                {"SubDriveCpuNewFirmwareVersion", sub},
                {"AuthCpuNewFirmwareMot", "auth.mot"},
                {"AuthCpuNewFirmwareVersion", sub},
                {"MainControllerNewFirmwareMot", "main.mot"},
                {"MainControllerNewFirmwareVersion", main}};
    }
    // KIRUNA: 1.41, 5 and 3; LYNX: 2.03, 7 and 4.
    const bool lynx = family == "LYNX";
    const std::string main = lynx ? (current ? "2.03" : "2.04") : (current ? "1.41" : "1.42");
    const int next = current ? 0 : 1;
    run.writeWorkFile("main.mot", kMainImage.text());
    run.writeWorkFile("drive.mot", kDriveImage.text());
    run.writeWorkFile("sub.mot", kSubImage.text());
    return {{"NewFirmwareVersion", main},
            {"MainControllerNewFirmwareMot", "main.mot"},
            {"MainControllerNewFirmwareVersion", main},
            {"MainDriveCpuNewFirmwareMot", "drive.mot"},
            {"MainDriveCpuNewFirmwareVersion", std::to_string((lynx ? 7 : 5) + next)},
            {"SubDriveCpuNewFirmwareMot", "sub.mot"},
            {"SubDriveCpuNewFirmwareVersion", std::to_string((lynx ? 4 : 3) + next)}};
}

// A scanner of `family` with `keys`, offered every image; an empty script
// answers.
void prepare(SimulatedRun& run, const std::string& family,
             const std::vector<ProfileKey>& keys = {}) {
    run.addExampleProfile(family + ".ini", keys);
    run.writeSettings(offer(run, family));
    script(run);
}

void upgrade(SimulatedRun& run, const std::string& family, const std::vector<ProfileKey>& keys = {},
             const std::string& mode = "silent_w_err") {
    prepare(run, family, keys);
    run.run({"", family, mode});
}

void expectFailedOnce(const SimulatedRun& run) {
    EXPECT_EQ(count(run.log(), kFailed), 1u) << run.log();
    EXPECT_EQ(count(run.log(), "completed"), 0u) << run.log();
}

// KIRUNA and LYNX.
class UnionUpdateSequence : public testing::TestWithParam<std::string> {
protected:
    const std::string family = GetParam();
    SimulatedRun run;
};

} // namespace

TEST_P(UnionUpdateSequence, EveryStageWritesItsProcessorInOrder) {
    upgrade(run, family);
    EXPECT_EQ(count(run.log(), kCompleted), 1u) << run.log();
    EXPECT_EQ(count(run.log(), "failed"), 0u) << run.log();

    EXPECT_TRUE(holdsExactly(run.flashDump(0, 0), kMainImage));
    EXPECT_TRUE(holdsExactly(run.flashDump(0, 1), kDriveImage));
    EXPECT_TRUE(holdsExactly(run.flashDump(0, 2), kSubImage));

    const Commands commands = commandsOf(run);
    const auto writes = positions(commands, kindIs("memwrite"));
    const auto restarts = positions(commands, kindIs("restart"));
    const auto mainDrive = positions(commands, vendorFrame(0x01));
    const auto subDrive = positions(commands, vendorFrame(0x11));
    ASSERT_FALSE(writes.empty());
    ASSERT_EQ(restarts.size(), 1u);
    ASSERT_FALSE(mainDrive.empty());
    ASSERT_FALSE(subDrive.empty());
    EXPECT_LT(writes.back(), restarts.front());
    EXPECT_LT(restarts.front(), mainDrive.front());
    EXPECT_LT(mainDrive.back(), subDrive.front());

    // The main drive's session is closed once, after its last frame; the sub
    // drive's is left open.
    EXPECT_EQ(withSubCommand(commands, mainDrive, 0x02), 1u);
    EXPECT_EQ(commands[mainDrive.back()].cdb[4], 0x02u);
    EXPECT_EQ(commands[subDrive.front()].cdb[4], 0x11u);
    EXPECT_EQ(withSubCommand(commands, subDrive, 0x12), 0u);
}

TEST_P(UnionUpdateSequence, InteractiveRunConfirmsEveryStageInTurn) {
    prepare(run, family);
    script(run, "yes\nyes\nyes\nyes\nyes\nyes\n");
    run.run({"", family});
    const std::string shown = boxes(run);
    const auto mainCpu = shown.find("scanner Main Cpu firmware?");
    const auto mainDrive = shown.find("scanner Main Drive Cpu firmware?");
    const auto subDrive = shown.find("scanner Sub Drive Cpu firmware?");
    ASSERT_NE(subDrive, std::string::npos) << shown;
    EXPECT_LT(mainCpu, mainDrive);
    EXPECT_LT(mainDrive, subDrive);
    EXPECT_EQ(count(shown, "box Warning | "), 6u) << shown;
    EXPECT_EQ(count(shown, boxLine("Firmware upgrade completed.", kCompleted)), 1u) << shown;
    EXPECT_EQ(count(shown, "failed"), 0u) << shown;
}

TEST_P(UnionUpdateSequence, DeclinedStageFailsTheRun) {
    prepare(run, family);
    // The main controller is confirmed, the main drive is not.
    script(run, "yes\nyes\nno\n");
    run.run({"", family});
    EXPECT_EQ(count(boxes(run), boxLine("Error", kFailed)), 1u) << boxes(run);
    EXPECT_EQ(count(boxes(run), "completed.\\n"), 0u) << boxes(run);
    const Commands commands = commandsOf(run);
    EXPECT_FALSE(none(commands, {"memwrite"}));
    EXPECT_TRUE(positions(commands, vendorFrame(0x01)).empty());
    EXPECT_TRUE(positions(commands, vendorFrame(0x11)).empty());
}

TEST_P(UnionUpdateSequence, UpToDateEverywhereNeedsNothing) {
    prepare(run, family);
    run.writeSettings(offer(run, family, true));
    run.run({"", family, "silent_w_err"});
    EXPECT_EQ(count(run.log(), kNoNeed), 1u) << run.log();
    EXPECT_EQ(count(run.log(), "completed"), 0u) << run.log();
    EXPECT_TRUE(none(commandsOf(run), {"memwrite", "restart", "start"}));
}

TEST_P(UnionUpdateSequence, DriveProcessorOfAnotherNameFailsBeforeAnyWrite) {
    upgrade(run, family, {{"Processor1", "Name", "FEED DRIVE"}});
    expectFailedOnce(run);
    EXPECT_TRUE(none(commandsOf(run), {"memwrite", "restart", "start", "datawrite"}));
}

INSTANTIATE_TEST_SUITE_P(Families, UnionUpdateSequence, testing::Values("KIRUNA", "LYNX"),
                         [](const auto& info) { return info.param; });

TEST(UnionSequenceWaits, OnlyLynxWaitsBeforeTheFirstPassAndAfterTheRestart) {
    const std::vector<int> kiruna{kMainDialog, kWaitDialog, kWaitDeviceDialog, kMainDriveDialog,
                                  kSubDriveDialog};
    const std::vector<int> lynx{kWaitDialog,       kMainDialog,      kWaitDialog,    kWaitDialog,
                                kWaitDeviceDialog, kMainDriveDialog, kSubDriveDialog};
    for (const auto& [family, dialogs] : {std::pair{"KIRUNA", kiruna}, std::pair{"LYNX", lynx}}) {
        SCOPED_TRACE(family);
        SimulatedRun run;
        upgrade(run, family, {}, "silent");
        EXPECT_EQ(dialogsOpened(run), dialogs);
        // A completed silent run shows no box at all.
        EXPECT_EQ(boxes(run), "");
    }
}

TEST(AutomaticSequence, WithoutImagesEveryFamilyCompletesWithoutAStage) {
    for (const std::string family : {"KIRUNA", "LYNX", "LUMIKA"}) {
        SCOPED_TRACE(family);
        SimulatedRun run;
        run.addExampleProfile(family + ".ini");
        // An image without a version, or a version without an image, is no stage.
        run.writeSettings({{"NewFirmwareVersion", "9.99"},
                           {"MainControllerNewFirmwareMot", ""},
                           {"MainControllerNewFirmwareVersion", "9.99"},
                           {"MainDriveCpuNewFirmwareMot", "drive.mot"},
                           {"MainDriveCpuNewFirmwareVersion", ""},
                           {"AuthCpuNewFirmwareVersion", "9"}});
        script(run);
        run.run({"", family, "silent_w_err"});
        EXPECT_EQ(count(run.log(), kCompleted), 1u) << run.log();
        // LYNX still waits before its first pass.
        for (int dialog : dialogsOpened(run))
            EXPECT_EQ(dialog, kWaitDialog);
        EXPECT_TRUE(none(commandsOf(run), {"memwrite", "restart", "start", "datawrite"}));
    }
}

TEST(AutomaticSequence, WithoutUnionUpdateKirunaWritesItsMainControllerOnly) {
    SimulatedRun run;
    prepare(run, "KIRUNA");
    run.writeWorkFile("given.mot", kMainImage.text());
    run.writeWorkFile("main.mot", "");
    run.run({"given.mot", "KIRUNA", "silent_w_err", "no_union_update"});
    EXPECT_EQ(count(run.log(), kCompleted), 1u) << run.log();
    EXPECT_TRUE(holdsExactly(run.flashDump(0, 0), kMainImage));
    const Commands commands = commandsOf(run);
    EXPECT_TRUE(positions(commands, vendorFrame(0x01)).empty());
    EXPECT_TRUE(positions(commands, vendorFrame(0x11)).empty());
    const auto opened = dialogsOpened(run);
    ASSERT_FALSE(opened.empty());
    EXPECT_EQ(opened.front(), kMainDialog);
    EXPECT_EQ(std::count(opened.begin(), opened.end(), kMainDriveDialog), 0);
    EXPECT_EQ(std::count(opened.begin(), opened.end(), kSubDriveDialog), 0);
}

TEST(AutomaticSequence, ImageOutsideTheDriveMapLeavesThatProcessorAlone) {
    SimulatedRun run;
    prepare(run, "KIRUNA");
    run.writeWorkFile("drive.mot", Image{{{0x200000, 0x400}}, 2}.text());
    run.run({"", "KIRUNA", "silent_w_err"});
    const Commands commands = commandsOf(run);
    // No session is opened: the start would erase the processor's flash.
    const auto mainDrive = positions(commands, vendorFrame(0x01));
    for (unsigned sub : {0x01u, 0x03u, 0x04u})
        EXPECT_EQ(withSubCommand(commands, mainDrive, sub), 0u) << sub;
    EXPECT_FALSE(run.flashDump(0, 1).empty());
    // The main drive did not get the offered firmware: the run says why and
    // fails, before the sub drive is touched.
    EXPECT_EQ(count(run.log(), "The firmware file holds no data for the Main Drive Cpu."), 1u)
        << run.log();
    EXPECT_EQ(count(run.log(), "Firmware upgrade failed."), 1u) << run.log();
    EXPECT_EQ(count(run.log(), kCompleted), 0u) << run.log();
    EXPECT_TRUE(positions(commands, vendorFrame(0x11)).empty());
}

TEST(LumikaSequence, SubDriveThenAuthenticationThenMainController) {
    SimulatedRun run;
    upgrade(run, "LUMIKA");
    EXPECT_EQ(count(run.log(), kCompleted), 1u) << run.log();
    EXPECT_EQ(count(run.log(), "failed"), 0u) << run.log();

    EXPECT_TRUE(holdsExactly(run.flashDump(0, 0), kLumikaMainImage));
    EXPECT_TRUE(holdsExactly(run.flashDump(0, 1), kLumikaSubImage));
    EXPECT_TRUE(holdsExactly(run.flashDump(0, 2), kLumikaAuthImage));

    const Commands commands = commandsOf(run);
    const auto sub = positions(commands, sendFrame(0xA3));
    const auto auth = positions(commands, sendFrame(0xA2));
    const auto writes = positions(commands, kindIs("memwrite"));
    const auto restarts = positions(commands, kindIs("restart"));
    const auto inquiries = positions(commands, kindIs("inquiry"));
    ASSERT_FALSE(sub.empty());
    ASSERT_FALSE(auth.empty());
    ASSERT_FALSE(writes.empty());
    ASSERT_EQ(restarts.size(), 1u);
    EXPECT_LT(sub.back(), auth.front());
    EXPECT_LT(auth.back(), writes.front());
    EXPECT_LT(writes.back(), restarts.front());
    // Both processor sessions are closed by their dialogs.
    EXPECT_EQ(commands[sub.back()].cdb[4], 0x02u);
    EXPECT_EQ(commands[auth.back()].cdb[4], 0x02u);
    // The scanner is opened and identified again after the restart.
    EXPECT_GT(inquiries.back(), restarts.front());
    EXPECT_EQ(dialogsOpened(run), (std::vector<int>{kSubDriveDialog, kMainDriveDialog, kMainDialog,
                                                    kWaitDialog, kWaitDeviceDialog}));
}

TEST(LumikaSequence, UpToDateEverywhereNeedsNothing) {
    SimulatedRun run;
    prepare(run, "LUMIKA");
    run.writeSettings(offer(run, "LUMIKA", true));
    run.run({"", "LUMIKA", "silent_w_err"});
    EXPECT_EQ(count(run.log(), kNoNeed), 1u) << run.log();
    EXPECT_TRUE(none(commandsOf(run), {"memwrite", "start", "datawrite"}));
}

TEST(LumikaSequence, SilentRunAsksNothing) {
    for (const std::string mode : {"silent", "silent_w_err"}) {
        SCOPED_TRACE(mode);
        SimulatedRun run;
        upgrade(run, "LUMIKA", {}, mode);
        EXPECT_EQ(boxes(run), "");
        EXPECT_TRUE(holdsExactly(run.flashDump(0, 1), kLumikaSubImage));
        EXPECT_TRUE(holdsExactly(run.flashDump(0, 2), kLumikaAuthImage));
    }
}

TEST(SequenceFailure, FailingProcessorStageFailsTheRunOnce) {
    const auto fault = [](const char* command, const char* nth) {
        return std::vector<ProfileKey>{
            {"Fault1", "Command", command}, {"Fault1", "Nth", nth}, {"Fault1", "Sense", "3/80/01"}};
    };
    const Predicate nothing = [](const Command&) { return false; };
    const struct {
        const char* what;
        const char* family;
        std::vector<ProfileKey> keys;
        Predicate neverReached;
    } cases[] = {
        {"main drive data write", "KIRUNA", fault("datawrite", "3"), vendorFrame(0x11)},
        {"main drive session not closed", "KIRUNA", fault("finish", "1"), vendorFrame(0x11)},
        {"sub drive compare", "LYNX", {{"Processor2", "CorruptReadAt", "0xC0120"}}, nothing},
        {"LUMIKA sub drive data write", "LUMIKA", fault("datawrite", "3"), sendFrame(0xA2)},
        {"LUMIKA authentication session not closed", "LUMIKA", fault("finish", "2"),
         kindIs("memwrite")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SimulatedRun run;
        upgrade(run, c.family, c.keys);
        expectFailedOnce(run);
        EXPECT_TRUE(positions(commandsOf(run), c.neverReached).empty());
    }
}

TEST(SequenceFailure, SilentRunStillShowsTheFailure) {
    SimulatedRun run;
    upgrade(run, "KIRUNA", {{"Processor2", "CorruptReadAt", "0xC0120"}}, "silent");
    EXPECT_EQ(count(boxes(run), boxLine("Error", kFailed)), 1u) << boxes(run);
    EXPECT_EQ(count(boxes(run), "completed.\\n"), 0u) << boxes(run);
}

TEST(SequenceFailure, MainControllerNeverListedEndsWithinTheBound) {
    SimulatedRun run;
    upgrade(run, "KIRUNA", {{"Processor0", "Name", "LOADER"}});
    EXPECT_EQ(run.lastRun().exitCode, 0);
    expectFailedOnce(run);
    const Commands commands = commandsOf(run);
    EXPECT_TRUE(positions(commands, vendorFrame(0x01)).empty());
    EXPECT_TRUE(positions(commands, vendorFrame(0x11)).empty());
    // Restarted once at most, not once a pass.
    EXPECT_LE(positions(commands, kindIs("restart")).size(), 1u);
    // Every pass asks for processor 0 again, up to the bound.
    const std::size_t passes =
        positions(commands, [](const Command& c) {
            return c.kind == "processorinfo" && c.cdb.size() > 5 && c.cdb[5] == 0;
        }).size();
    EXPECT_GT(passes, 1u);
    EXPECT_LE(passes, static_cast<std::size_t>(CAutomaticSequence::kMaxPasses));
}

TEST(SequenceFailure, ScannerGoneAfterTheRestart) {
    // A rehearsal counts the commands up to and with the restart ...
    SimulatedRun rehearsal;
    upgrade(rehearsal, "KIRUNA", {});
    const auto kinds = rehearsal.traceKinds(0);
    const auto answered =
        static_cast<std::size_t>(std::find(kinds.begin(), kinds.end(), "restart") - kinds.begin()) +
        1;
    ASSERT_LT(answered, kinds.size());
    // ... and this scanner answers them, then never again.
    SimulatedRun run;
    upgrade(run, "KIRUNA", {{"Scanner", "UnplugAfter", std::to_string(answered)}});
    expectFailedOnce(run);
    const Commands commands = commandsOf(run);
    ASSERT_GE(commands.size(), answered);
    EXPECT_EQ(commands[answered - 1].kind, "restart");
    EXPECT_TRUE(positions(commands, vendorFrame(0x01)).empty());
}
