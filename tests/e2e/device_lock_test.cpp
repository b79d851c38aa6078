// One scanner, one upgrade: a scanner that another process has locked is not
// found, and nothing is sent to it or written over what it keeps.
#include "platform/file_lock.h"
#include "support/simulated_run.h"
#include "support/srecord_image.h"

#include <gtest/gtest.h>

using namespace testing_support;

TEST(DeviceLock, ScannerLockedByAnotherProcessIsLeftAlone) {
    SimulatedRun run;
    run.writeSettings({{"NewFirmwareVersion", "1.21"}});
    run.writeWorkFile("image.mot",
                      SRecordImage({{0, 0x10000}}, [](std::uint32_t a) { return a * 7 + 1; }));
    run.addExampleProfile("MORVI.ini");
    run.run({"image.mot", "MORVI", "silent_w_err"});
    ASSERT_NE(run.log().find("Firmware upgrade completed."), std::string::npos) << run.log();
    const std::string stateBefore = readFile(run.statePath(0));

    {
        // This test process stands for the instance that is upgrading.
        platform::FileLock other;
        ASSERT_TRUE(other.tryAcquire(run.statePath(0) + ".lock"));
        run.run({"image.mot", "MORVI", "silent_w_err", "force_update"});
        EXPECT_NE(run.log().find("No Devices Found."), std::string::npos) << run.log();
        EXPECT_EQ(run.log().find("completed"), std::string::npos) << run.log();
        EXPECT_TRUE(run.traceKinds(0).empty());
        EXPECT_EQ(readFile(run.statePath(0)), stateBefore);
    }

    // Once the lock is free the scanner is found again, as the first run left it.
    run.run({"image.mot", "MORVI", "silent_w_err"});
    EXPECT_NE(run.log().find("There is no need to upgrade the firmware."), std::string::npos)
        << run.log();
}
