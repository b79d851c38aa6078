// Upgrades cut short in the middle of writing the flash: the scanner keeps
// what it had been sent and comes back in its boot loader, and a second run
// of the same command finishes the job.
#include "support/run_refirm.h"
#include "support/simulated_run.h"
#include "support/srecord_image.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

using namespace testing_support;

namespace {

std::uint8_t interruptedImageByte(std::uint32_t address) {
    return static_cast<std::uint8_t>(address * 13 + 5);
}

// Far enough into the run to be among the 192 block writes of the image.
constexpr int kCommandsBeforeTheCut = 100;

std::size_t lineCount(const std::string& file) {
    std::ifstream in(file);
    std::size_t n = 0;
    for (std::string line; std::getline(in, line);)
        ++n;
    return n;
}

class InterruptedUpgrade : public testing::Test {
protected:
    void SetUp() override {
        run.writeSettings({{"NewFirmwareVersion", "1.21"}});
        run.writeWorkFile("image.mot", SRecordImage({{0, 3 * 0x10000}}, interruptedImageByte));
    }

    // The profile without the fault that cut the first run short.
    void repairScanner(const std::string& key) {
        const std::string path = run.profilePath(0);
        std::istringstream in(readFile(path));
        std::string kept;
        for (std::string line; std::getline(in, line);)
            if (line.rfind(key + "=", 0) != 0)
                kept += line + "\n";
        writeFile(path, kept);
    }

    // The second run finishes, and the flash then holds the image.
    void expectSecondRunFinishes() {
        run.run({"image.mot", "MORVI", "silent_w_err"});
        EXPECT_NE(run.log().find("Firmware upgrade completed."), std::string::npos) << run.log();
        const FlashContent flash = run.flashDump(0);
        for (std::uint32_t a = 0; a < 3 * 0x10000; a += 0x777)
            ASSERT_EQ(flash.at(a), interruptedImageByte(a)) << a;
        EXPECT_NE(readFile(run.statePath(0)).find("revision 1.21"), std::string::npos);
    }

    SimulatedRun run;
};

} // namespace

TEST_F(InterruptedUpgrade, PowerLostInTheMiddleOfABlockWrite) {
    run.addExampleProfile("MORVI.ini",
                          {{"Scanner", "UnplugAfter", std::to_string(kCommandsBeforeTheCut)}});
    run.run({"image.mot", "MORVI", "silent_w_err"});
    EXPECT_NE(run.log().find("Firmware upgrade failed."), std::string::npos) << run.log();
    // Half old, half new: the boot loader is what the scanner runs now.
    EXPECT_NE(readFile(run.statePath(0)).find("revision B000"), std::string::npos);
    EXPECT_EQ(run.flashDump(0).at(0), interruptedImageByte(0));

    repairScanner("UnplugAfter");
    expectSecondRunFinishes();
}

TEST_F(InterruptedUpgrade, ToolKilledInTheMiddleOfTheWritePhase) {
    // Each command takes the scanner 20 ms, so that the write phase lasts
    // long after the cut has been reached.
    run.addExampleProfile("MORVI.ini", {{"Scanner", "CommandTime", "200"}});
    run.setTimeScale("0.1");
    const std::string trace = run.tracePath(0);
    std::remove(trace.c_str());
    std::string command = "cd " + quoted(run.workDir()) + " && env -i PATH=/usr/bin:/bin";
    for (const auto& [name, value] : run.environment())
        command += " " + quoted(name + "=" + value);
    command +=
        " " + quoted(REFIRM_BINARY) + " image.mot MORVI silent_w_err </dev/null >/dev/null 2>&1 & ";
    // Killed as soon as the trace shows the cut has been reached.
    command += "pid=$!; for i in $(seq 1 1200); do [ $(cat " + quoted(trace) +
               " 2>/dev/null | wc -l) -ge " + std::to_string(kCommandsBeforeTheCut) +
               " ] && break; sleep 0.01; done; kill -9 $pid; wait $pid; exit 0";
    const bool stateBefore = fileExists(run.statePath(0));
    ASSERT_EQ(std::system(command.c_str()), 0);
    ASSERT_GE(lineCount(trace), static_cast<std::size_t>(kCommandsBeforeTheCut));
    // The program never got to write the state file; the scanner's flash
    // nevertheless holds what it was sent.
    EXPECT_EQ(fileExists(run.statePath(0)), stateBefore);
    EXPECT_TRUE(fileExists(run.statePath(0) + ".journal"));

    repairScanner("CommandTime");
    run.setTimeScale("0.01");
    expectSecondRunFinishes();
    EXPECT_FALSE(fileExists(run.statePath(0) + ".journal"));
}
