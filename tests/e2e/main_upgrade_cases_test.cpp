#include "support/run_refirm.h"
#include "support/simulated_run.h"
#include "support/srecord_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

using namespace testing_support;

namespace {

std::uint8_t caseImageByte(std::uint32_t address) {
    return static_cast<std::uint8_t>(address * 5 + 11);
}

std::string image(std::uint32_t start, std::uint32_t length) {
    return SRecordImage({{start, length}}, caseImageByte);
}

std::size_t count(const std::vector<std::string>& kinds, const std::string& kind) {
    return static_cast<std::size_t>(std::count(kinds.begin(), kinds.end(), kind));
}

// An SX-2300C (8 Mbit map from address 0) on USB, firmware 1.20.
class UpgradeCase : public testing::Test {
protected:
    void SetUp() override {
        run.writeSettings({{"NewFirmwareVersion", "1.21"}});
        run.writeWorkFile("image.mot", image(0, 3 * 0x10000));
    }

    void attach(const std::vector<ProfileKey>& keys = {}) {
        run.addExampleProfile("MORVI.ini", keys);
    }

    // Interactive run answered by a script; the record of what was shown.
    std::string interactive(const std::string& answers, std::vector<std::string> extra = {}) {
        run.writeWorkFile("answers.txt", answers);
        run.setEnv("REFIRM_SCRIPT", run.workDir() + "/answers.txt");
        run.setEnv("REFIRM_RECORD", run.workDir() + "/record.txt");
        if (run.scannerCount() == 0)
            attach();
        std::vector<std::string> args{"image.mot", "MORVI"};
        args.insert(args.end(), extra.begin(), extra.end());
        run.run(args);
        return readFile(run.workDir() + "/record.txt");
    }

    std::string silentRun(std::vector<std::string> extra = {}) {
        if (run.scannerCount() == 0)
            attach();
        std::vector<std::string> args{"image.mot", "MORVI", "silent_w_err"};
        args.insert(args.end(), extra.begin(), extra.end());
        run.run(args);
        return run.log();
    }

    SimulatedRun run;
};

} // namespace

TEST_F(UpgradeCase, InteractiveRunAnsweredYesTwiceCompletes) {
    const std::string record = interactive("yes\nyes\n");
    EXPECT_TRUE(
        contains(record, "Are you sure that you update the \"KORVA   SX-2300C\" scanner firmware?"))
        << record;
    EXPECT_TRUE(contains(record, "Current Version : 1.20")) << record;
    EXPECT_TRUE(contains(record, "New Version : 1.21")) << record;
    EXPECT_TRUE(contains(record, "box Firmware upgrade completed. | Firmware upgrade completed."))
        << record;
    EXPECT_EQ(count(run.traceKinds(0), "memwrite"), 192u);
}

TEST_F(UpgradeCase, DecliningEitherConfirmationWritesNothing) {
    for (const std::string answers : {"no\n", "yes\nno\n"}) {
        SCOPED_TRACE(answers);
        interactive(answers);
        const auto kinds = run.traceKinds(0);
        EXPECT_EQ(count(kinds, "memwrite") + count(kinds, "erase") + count(kinds, "eraseblock") +
                      count(kinds, "downloadcode"),
                  0u);
    }
}

TEST_F(UpgradeCase, UpToDateScannerIsLeftAlone) {
    run.writeSettings({{"NewFirmwareVersion", "1.20"}});
    const std::string record = interactive("");
    EXPECT_TRUE(contains(record, "There is no need to upgrade the firmware.")) << record;
    EXPECT_TRUE(contains(record, "Current Version : 1.20")) << record;
    EXPECT_EQ(count(run.traceKinds(0), "memwrite"), 0u);
}

TEST_F(UpgradeCase, ForceUpgradesOnAnyDifference) {
    run.writeSettings({{"NewFirmwareVersion", "1.10"}});
    EXPECT_TRUE(contains(silentRun(), "There is no need to upgrade the firmware."));
    EXPECT_TRUE(contains(silentRun({"force_update"}), "Firmware upgrade completed."));
}

TEST_F(UpgradeCase, CompareDifferenceInTheSecondBlockFails) {
    attach({{"Scanner", "CorruptReadAt", "0x10010"}});
    const std::string log = silentRun();
    EXPECT_TRUE(contains(log, "Data Compare Error")) << log;
    EXPECT_TRUE(contains(log, "Firmware upgrade failed.")) << log;
    EXPECT_FALSE(contains(log, "completed")) << log;
    // The third block was written but never read back.
    std::size_t thirdBlockReads = 0;
    for (const std::string& line : run.traceLines(0))
        thirdBlockReads += line.rfind("memread 2E 00 00 02", 0) == 0;
    EXPECT_EQ(thirdBlockReads, 0u);
}

TEST_F(UpgradeCase, SenseErrorMidWriteIsReported) {
    attach({{"Fault1", "Command", "memwrite"},
            {"Fault1", "Nth", "70"},
            {"Fault1", "Sense", "3/80/01"}});
    silentRun();
    const std::string log = run.log();
    EXPECT_TRUE(contains(log, "Scanner cover is open.")) << log;
    EXPECT_TRUE(contains(log, "Firmware upgrade failed.")) << log;
}

TEST_F(UpgradeCase, BadImagesNeverReachTheFlash) {
    std::string corrupt = image(0, 4096);
    corrupt[30] = corrupt[30] == '0' ? '1' : '0';
    run.writeWorkFile("corrupt.mot", corrupt);
    attach();
    for (const std::string file : {"corrupt.mot", "missing.mot"}) {
        SCOPED_TRACE(file);
        run.run({file, "MORVI", "silent_w_err"});
        EXPECT_TRUE(contains(run.log(), "Firmware upgrade failed.")) << run.log();
        const auto kinds = run.traceKinds(0);
        EXPECT_EQ(count(kinds, "memwrite") + count(kinds, "erase") + count(kinds, "eraseblock"),
                  0u);
    }
}

TEST_F(UpgradeCase, BackupProfileIsWrittenOnlyAfterACompletedUpgrade) {
    run.writeSettings({{"NewFirmwareVersion", "1.21"}, {"BackupProfile", "True"}});
    const std::string profile = run.configDir() + "/Korvatek/Refirm/ScannerProfile.ini";
    attach();
    run.run({"nowhere.mot", "MORVI", "silent_w_err"});
    EXPECT_FALSE(fileExists(profile));
    silentRun();
    ASSERT_TRUE(fileExists(profile));
    EXPECT_TRUE(contains(readFile(profile), "UpgradeCompleted=True"));
    EXPECT_TRUE(contains(readFile(profile), "ShadingReplace=True"));
}

TEST_F(UpgradeCase, AutoResetRestartsAndReopens) {
    run.writeUserStore("[Upgrading firmware]\r\nAutoReset=1\r\n");
    EXPECT_TRUE(contains(silentRun(), "Firmware upgrade completed."));
    const auto kinds = run.traceKinds(0);
    ASSERT_EQ(count(kinds, "restart"), 1u);
    // After the restart the scanner is opened and identified again.
    const auto restart = std::find(kinds.begin(), kinds.end(), "restart");
    EXPECT_NE(std::find(restart, kinds.end(), "inquiry"), kinds.end());
}

TEST(UpgradeFamilies, LegacyDeviceSkipsDownloadModeAndShowsUnknown) {
    SimulatedRun run;
    run.addExampleProfile("ZEPA_aspi.ini");
    run.writeSettings({{"NewFirmwareVersion", "9.99"}});
    run.writeWorkFile("image.mot", image(0x200000, 0x100));
    run.writeWorkFile("answers.txt", "yes\nyes\n");
    run.setEnv("REFIRM_SCRIPT", run.workDir() + "/answers.txt");
    run.setEnv("REFIRM_RECORD", run.workDir() + "/record.txt");
    run.run({"image.mot", "ZEPA"});
    const std::string record = readFile(run.workDir() + "/record.txt");
    EXPECT_TRUE(contains(record, "Current Version : Unknown")) << record;
    EXPECT_TRUE(contains(record, "Firmware upgrade completed.")) << record;
    EXPECT_EQ(count(run.traceKinds(0), "downloadcode"), 0u);
    EXPECT_EQ(count(run.traceKinds(0), "updatemode"), 0u);
}

TEST(UpgradeFamilies, BootRecordOfAB027ScannerIsWrittenLast) {
    SimulatedRun run;
    run.addProfile("[Scanner]\nProduct=SX-1400C\nRevision=B027\nTransport=ASPI\n"
                   "UpgradedRevision=B028\n");
    run.writeSettings({{"NewFirmwareVersion", "B999"}});
    run.writeWorkFile("image.mot", image(0x10000, 0x1000));
    run.run({"image.mot", "OLK", "silent_w_err"});
    EXPECT_TRUE(contains(run.log(), "Firmware upgrade completed.")) << run.log();
    const auto lines = run.traceLines(0);
    ASSERT_FALSE(lines.empty());
    std::string lastWrite;
    for (const auto& line : lines)
        if (line.rfind("memwrite", 0) == 0)
            lastWrite = line;
    EXPECT_EQ(lastWrite.rfind("memwrite 2D 00 00 01 00 00 00 01 00 00 out 256", 0), 0u)
        << lastWrite;
    EXPECT_EQ(run.flashDump(0).at(0x10000), caseImageByte(0x10000));
}

TEST(UpgradeFamilies, YewRestartsAtTheEnd) {
    SimulatedRun run;
    run.addExampleProfile("YEW.ini");
    run.writeSettings({{"NewFirmwareVersion", "ZZZZ"}});
    run.writeWorkFile("image.mot", image(0x10000000, 0x100));
    run.run({"image.mot", "YEW", "silent_w_err"});
    EXPECT_TRUE(contains(run.log(), "Firmware upgrade completed.")) << run.log();
    const auto kinds = run.traceKinds(0);
    EXPECT_EQ(count(kinds, "restart"), 1u);
    EXPECT_EQ(kinds.back(), "restart");
}

TEST(UpgradeFamilies, ScannerThatNeverReturnsFailsWithinTheBound) {
    SimulatedRun run;
    run.addExampleProfile("ZEPA.ini", {{"Scanner", "NeverReturn", "1"}});
    run.writeSettings({{"NewFirmwareVersion", "ZZZZ"}});
    run.writeWorkFile("image.mot", image(0x200000, 0x100));
    run.setTimeScale("0.001");
    run.run({"image.mot", "ZEPA", "silent_w_err"});
    EXPECT_TRUE(contains(run.log(), "Firmware upgrade failed.")) << run.log();
    EXPECT_FALSE(contains(run.log(), "completed")) << run.log();
}

TEST_F(UpgradeCase, JapaneseRunReportsInJapanese) {
    run.setLanguage("ja_JP.UTF-8");
    const std::string log = silentRun();
    EXPECT_TRUE(contains(log, "ファームウェアのアップグレードが完了しました。")) << log;
    EXPECT_TRUE(contains(log, "スキャナーを再起動してください。")) << log;
}

TEST(UpgradeFamilies, ProductWithoutAMapFailsWithoutWriting) {
    SimulatedRun run;
    run.addProfile("[Scanner]\nProduct=RX-62\nRevision=1.00\n");
    run.writeSettings({{"NewFirmwareVersion", "9.99"}});
    run.writeWorkFile("image.mot", image(0, 0x100));
    // "Not implemented" is a box of its own.
    run.writeWorkFile("answers.txt", "ok\nyes\nyes\n");
    run.setEnv("REFIRM_SCRIPT", run.workDir() + "/answers.txt");
    run.setEnv("REFIRM_RECORD", run.workDir() + "/record.txt");
    run.run({"image.mot", "FERN"});
    const std::string record = readFile(run.workDir() + "/record.txt");
    EXPECT_TRUE(contains(record, "Not implemented")) << record;
    EXPECT_TRUE(contains(record, "Firmware upgrade failed.")) << record;
    const auto kinds = run.traceKinds(0);
    EXPECT_EQ(count(kinds, "memwrite") + count(kinds, "erase") + count(kinds, "eraseblock"), 0u);
}
