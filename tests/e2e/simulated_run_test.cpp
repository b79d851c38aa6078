// The real program with virtual scanners on its buses.
#include "support/simulated_run.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace testing_support;

namespace {

class SimulatedRunTest : public ::testing::Test {
protected:
    SimulatedRun sim;
    std::size_t usb = sim.addExampleProfile("ZEPA.ini");
    std::size_t aspi = sim.addExampleProfile("ZEPA_aspi.ini");

    void SetUp() override { sim.writeWorkFile("image.mot", "S9030000FC\r\n"); }
};

TEST_F(SimulatedRunTest, ScannersOnBothBusesKeepTheirStateWhenTheRunEnds) {
    const RefirmRun& run = sim.run({"image.mot", "ZEPA", "silent_w_err"});

    EXPECT_EQ(run.exitCode, 0) << run.output;
    for (std::size_t scanner : {usb, aspi}) {
        EXPECT_TRUE(fileExists(sim.statePath(scanner))) << scanner;
        // Nothing was written: every erase block still starts with its marker.
        const std::vector<std::uint8_t> start = sim.flashDump(scanner).range(0, 6);
        EXPECT_EQ(std::string(start.begin(), start.end()), "OLD FW") << scanner;
    }
}

TEST(SimulatedRunProfileTest, AProfileThatCannotBeReadStopsTheRunBeforeItStarts) {
    SimulatedRun sim;
    const std::size_t scanner = sim.addProfile("[Scanner]\nProduct=SX-2700\n"); // no Revision
    sim.writeUserStore("[General]\r\nWRITELOG=1\r\n");

    const RefirmRun& run = sim.run({"image.mot", "ZEPA"});

    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.output.find(sim.profilePath(scanner)), std::string::npos) << run.output;
    EXPECT_FALSE(sim.logExists());
}

} // namespace
