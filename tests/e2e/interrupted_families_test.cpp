// Upgrades cut short by a lost connection on other transports and families:
// a scanner on ASPI, one that leaves the bus for its download mode, a drive
// processor behind the main controller, and the firmware line whose download
// procedure a scanner in its boot loader no longer offers.
#include "support/run_refirm.h"
#include "support/simulated_run.h"
#include "support/srecord_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <sstream>

using namespace testing_support;

namespace {

std::uint8_t familiesImageByte(std::uint32_t address) {
    return static_cast<std::uint8_t>(address * 11 + 1);
}

// The profile without the key that cut the first run short.
void repair(SimulatedRun& run, const std::string& key) {
    std::istringstream in(readFile(run.profilePath(0)));
    std::string kept;
    for (std::string line; std::getline(in, line);)
        if (line.rfind(key + "=", 0) != 0)
            kept += line + "\n";
    writeFile(run.profilePath(0), kept);
}

// Where the n-th command of `kind` stands in the latest run's trace.
std::size_t positionOf(const SimulatedRun& run, const std::string& kind, std::size_t n) {
    const auto kinds = run.traceKinds(0);
    for (std::size_t i = 0, seen = 0; i < kinds.size(); ++i)
        if (kinds[i] == kind && ++seen == n)
            return i;
    ADD_FAILURE() << "no command " << n << " of kind " << kind;
    return 0;
}

struct MainCase {
    const char* profile;
    const char* family;
    const char* upgraded;
};

void PrintTo(const MainCase& c, std::ostream* out) {
    *out << c.profile;
}

class InterruptedMainController : public testing::TestWithParam<MainCase> {};

} // namespace

TEST_P(InterruptedMainController, SecondRunFinishesTheUpgrade) {
    const MainCase& c = GetParam();
    const std::string image = SRecordImage({{0, 3 * 0x10000}}, familiesImageByte);

    // A rehearsal on a scanner of the same kind shows where the writes lie.
    SimulatedRun rehearsal;
    rehearsal.writeSettings({{"NewFirmwareVersion", c.upgraded}});
    rehearsal.writeWorkFile("image.mot", image);
    rehearsal.addExampleProfile(c.profile);
    rehearsal.run({"image.mot", c.family, "silent_w_err"});
    ASSERT_TRUE(contains(rehearsal.log(), "Firmware upgrade completed.")) << rehearsal.log();
    const std::size_t cut = positionOf(rehearsal, "memwrite", 100);

    SimulatedRun run;
    run.writeSettings({{"NewFirmwareVersion", c.upgraded}});
    run.writeWorkFile("image.mot", image);
    run.addExampleProfile(c.profile, {{"Scanner", "UnplugAfter", std::to_string(cut)}});
    run.run({"image.mot", c.family, "silent_w_err"});
    EXPECT_TRUE(contains(run.log(), "Firmware upgrade failed.")) << run.log();
    EXPECT_TRUE(contains(readFile(run.statePath(0)), "revision B000"));

    repair(run, "UnplugAfter");
    run.run({"image.mot", c.family, "silent_w_err"});
    EXPECT_TRUE(contains(run.log(), "Firmware upgrade completed.")) << run.log();
    const FlashContent flash = run.flashDump(0);
    for (std::uint32_t a = 0; a < 3 * 0x10000; a += 0x333)
        ASSERT_EQ(flash.at(a), familiesImageByte(a)) << a;
    EXPECT_TRUE(contains(readFile(run.statePath(0)), std::string("revision ") + c.upgraded));
}

INSTANTIATE_TEST_SUITE_P(Families, InterruptedMainController,
                         testing::Values(MainCase{"MORVI_aspi.ini", "MORVI", "1.19"},
                                         MainCase{"XR2.ini", "XR2", "2.02"}),
                         [](const testing::TestParamInfo<MainCase>& info) {
                             return std::string(info.param.family) +
                                    (contains(info.param.profile, "aspi") ? "_aspi" : "");
                         });

TEST(InterruptedProcessor, DriveProcessorCutShortIsWrittenAgainByTheSecondRun) {
    SimulatedRun run;
    std::string settings = readFile(std::string(REFIRM_SOURCE_DIR) + "/examples/refirm_kiruna.ini");
    run.writeSettingsFile(settings);
    for (const char* name : {"KIRUNA_MAIN_1.42.MOT", "KIRUNA_DRIVE_6.MOT", "KIRUNA_SUB_4.MOT"})
        run.writeWorkFile(name,
                          readFile(std::string(REFIRM_SOURCE_DIR) + "/examples/images/" + name));

    // The rehearsal on a scanner of the same kind shows where the drive
    // processor's frames lie; the cut comes in the middle of them.
    SimulatedRun rehearsal;
    rehearsal.writeSettingsFile(settings);
    for (const char* name : {"KIRUNA_MAIN_1.42.MOT", "KIRUNA_DRIVE_6.MOT", "KIRUNA_SUB_4.MOT"})
        rehearsal.writeWorkFile(name, readFile(run.workDir() + "/" + name));
    rehearsal.addExampleProfile("KIRUNA.ini");
    rehearsal.run({"", "KIRUNA", "silent_w_err"});
    ASSERT_TRUE(contains(rehearsal.log(), "Firmware upgrade completed.")) << rehearsal.log();
    const auto kinds = rehearsal.traceKinds(0);
    const std::size_t frames =
        static_cast<std::size_t>(std::count(kinds.begin(), kinds.end(), "datawrite"));
    const std::size_t cut = positionOf(rehearsal, "datawrite", frames / 4);

    run.addExampleProfile("KIRUNA.ini", {{"Scanner", "UnplugAfter", std::to_string(cut)}});
    run.run({"", "KIRUNA", "silent_w_err"});
    EXPECT_FALSE(contains(run.log(), "Firmware upgrade completed.")) << run.log();
    // The drive processor keeps its old version: it did not finish.
    EXPECT_TRUE(contains(readFile(run.statePath(0)), "version 1 5")) << readFile(run.statePath(0));

    repair(run, "UnplugAfter");
    run.run({"", "KIRUNA", "silent_w_err"});
    EXPECT_TRUE(contains(run.log(), "Firmware upgrade completed.")) << run.log();
    const std::string state = readFile(run.statePath(0));
    EXPECT_TRUE(contains(state, "version 1 6")) << state;
    EXPECT_TRUE(contains(state, "version 2 4")) << state;
    const FlashContent wanted = parseFlashDump(readFile(run.workDir() + "/KIRUNA_DRIVE_6.MOT"));
    const FlashContent drive = run.flashDump(0, 1);
    for (const auto& [address, value] : wanted.bytes)
        ASSERT_EQ(drive.at(address), value) << address;
}

// A scanner of the 1400C line that comes back in its boot loader over USB
// reports a revision that names no firmware line, and the line decides how
// it is switched into download mode. A second run cannot go on: it says so
// and leaves the scanner alone; the scanner needs a service upgrade.
TEST(InterruptedBootLoader, FirmwareLineOfABootLoaderIsReportedAndNothingIsWritten) {
    SimulatedRun run;
    run.writeSettings({{"NewFirmwareVersion", "2.07"}});
    run.writeWorkFile("image.mot", SRecordImage({{0, 3 * 0x10000}}, familiesImageByte));
    run.addExampleProfile("OLK.ini", {{"Scanner", "Revision", "B000"}});
    run.run({"image.mot", "OLK", "silent_w_err"});
    EXPECT_TRUE(contains(run.log(), "Firmware upgrade failed.")) << run.log();
    const auto kinds = run.traceKinds(0);
    for (const char* kind : {"prepare", "updatemode", "erase", "eraseblock", "memwrite"})
        EXPECT_EQ(std::count(kinds.begin(), kinds.end(), kind), 0) << kind;
}
