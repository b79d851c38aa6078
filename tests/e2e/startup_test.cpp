// Start-up of the real program: run modes and the log switch.
#include "support/run_refirm.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

class StartupTest : public ::testing::Test {
protected:
    ScratchDir tmp;
    ScratchDir config;
    ScratchDir work;

    std::string staleLog() {
        const std::string log = tmp.file("Refirm.log");
        writeFile(log, "an earlier run\r\n");
        return log;
    }
    void setWriteLog(const std::string& value) {
        writeFile(config.file("Korvatek/Refirm/refirm.ini"),
                  "[General]\r\nWRITELOG=" + value + "\r\n");
    }
    RefirmRun run(const std::vector<std::string>& args) {
        return runRefirm(args, {{"TMPDIR", tmp.path()}, {"XDG_CONFIG_HOME", config.path()}},
                         work.path());
    }
};

TEST_F(StartupTest, SilentWithErrorStartsAFreshLogWhateverTheSetting) {
    const std::string log = staleLog();
    setWriteLog("0");
    EXPECT_EQ(run({"silent_w_err"}).exitCode, 0);
    EXPECT_NE(readFile(log), "an earlier run\r\n");
}

TEST_F(StartupTest, WriteLogSettingStartsAFreshLog) {
    const std::string log = staleLog();
    setWriteLog("1");
    run({"image.mot", "ZEPA"});
    EXPECT_NE(readFile(log), "an earlier run\r\n");
}

TEST_F(StartupTest, LogOffLeavesTheOldLogAlone) {
    const std::string log = staleLog();
    run({"image.mot", "ZEPA", "silent"});
    EXPECT_EQ(readFile(log), "an earlier run\r\n");
    setWriteLog("0");
    run({"image.mot", "ZEPA", "Silent_w_err"}); // keywords are case-sensitive
    EXPECT_EQ(readFile(log), "an earlier run\r\n");
}

TEST_F(StartupTest, ExitStatusCarriesNoOutcome) {
    EXPECT_EQ(run({}).exitCode, 0);
    EXPECT_EQ(run({"missing.mot", "NOSUCH", "x", "force_update"}).exitCode, 0);
}

TEST_F(StartupTest, HelpAloneShowsUsage) {
    const RefirmRun help = run({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.output.find("silent_w_err"), std::string::npos);
    EXPECT_EQ(run({"--help", "ZEPA"}).output.find("Usage"), std::string::npos);
}

// Without a rehearsal the program looks for the machine's own SCSI scanners,
// says in the log what it found, and reports a scanner it cannot find.
TEST_F(StartupTest, WithoutARehearsalTheMachinesScsiDevicesAreSearched) {
    writeFile(work.file("refirm.ini"), "[refirm]\r\nNewFirmwareVersion=1.21\r\n");
    writeFile(work.file("MORVI_1.21.MOT"),
              readFile(REFIRM_SOURCE_DIR "/examples/images/MORVI_1.21.MOT"));
    EXPECT_EQ(run({"MORVI_1.21.MOT", "MORVI", "silent_w_err"}).exitCode, 0);
    const std::string log = readFile(tmp.file("Refirm.log"));
    EXPECT_NE(log.find(" : SCSI generic: "), std::string::npos) << log;
    EXPECT_NE(log.find(" : No Devices Found.\r\n"), std::string::npos) << log;
}

} // namespace
