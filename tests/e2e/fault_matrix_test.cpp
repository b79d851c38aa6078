// Every fault the virtual scanner can inject, at every point of an upgrade
// where it can strike, in every way the tool can be run: the run ends, says
// what went wrong and never reports a failed upgrade as completed.
//
// The points come from a clean run of the same upgrade: each kind of command
// it sends, at its first, middle and last occurrence (all of them for kinds
// sent a few times, such as the identification of every pass), plus the
// moment before the first command. A fault then makes that very command fail,
// or unplugs (ASPI: hangs) the scanner just before it.
#include "support/fault_matrix.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <iostream>
#include <map>
#include <set>
#include <thread>

using namespace testing_support;

namespace {

// The upgrade cases the matrix covers.
std::vector<MatrixScenario> scenarios() {
    std::vector<MatrixScenario> all;
    all.push_back(MatrixScenario::MainController("MORVI", "MORVI.ini", "1.21"));
    all.push_back(MatrixScenario::MainController("MORVI_ASPI", "MORVI_aspi.ini", "1.21"));
    // Download mode takes it off the bus, and the user reconnects it.
    all.push_back(MatrixScenario::MainController("OLK", "OLK.ini", "2.07"));
    // The held-back boot record, written after every block was compared.
    MatrixScenario boot = MatrixScenario::MainController("OLK_BOOT", "OLK.ini", "2.07");
    boot.profileKeys = {{"Scanner", "Bus", "SCSI"}, {"Scanner", "Revision", "B027"}};
    all.push_back(boot);
    // Restarted by the tool after the result was reported.
    all.push_back(MatrixScenario::MainController("YEW", "YEW.ini", "1.23", 0x10000000));
    MatrixScenario autoReset =
        MatrixScenario::MainController("MORVI_AUTORESET", "MORVI.ini", "1.21");
    autoReset.userStore = "[Upgrading firmware]\r\nAutoReset=1\r\n";
    all.push_back(autoReset);
    // Drive and authentication processors, one pass after another.
    all.push_back(MatrixScenario::Sequence(
        "KIRUNA", "KIRUNA.ini", "refirm_kiruna.ini",
        {{0, "KIRUNA_MAIN_1.42.MOT"}, {1, "KIRUNA_DRIVE_6.MOT"}, {2, "KIRUNA_SUB_4.MOT"}}));
    all.push_back(MatrixScenario::Sequence(
        "LUMIKA", "LUMIKA.ini", "refirm_lumika.ini",
        {{0, "LUMIKA_MAIN_1.61.MOT"}, {1, "LUMIKA_SUB_4.MOT"}, {2, "LUMIKA_AUTH_4.MOT"}}));
    return all;
}

class FaultMatrix : public testing::TestWithParam<MatrixScenario> {};

} // namespace

TEST_P(FaultMatrix, EveryCellEndsAndReportsTheFailure) {
    const MatrixScenario& scenario = GetParam();
    const Baseline baseline = runBaseline(scenario);
    ASSERT_TRUE(baseline.completed) << baseline.evidence;

    std::vector<MatrixCell> cells = matrixCells(scenario, baseline);
    ASSERT_FALSE(cells.empty());

    // The cells are independent runs in scratch directories of their own.
    std::atomic<std::size_t> next{0};
    std::vector<std::thread> workers;
    const unsigned count = std::max(2u, std::min(4u, std::thread::hardware_concurrency()));
    for (unsigned w = 0; w < count; ++w)
        workers.emplace_back([&] {
            for (std::size_t i; (i = next++) < cells.size();)
                runCell(scenario, baseline, cells[i]);
        });
    for (std::thread& worker : workers)
        worker.join();

    std::map<std::string, std::size_t> byVerdict;
    std::set<std::string> faults, stages, modes;
    for (const MatrixCell& cell : cells) {
        ++byVerdict[verdictName(cell.verdict)];
        faults.insert(cell.fault);
        stages.insert(cell.stage);
        modes.insert(cell.mode);
        EXPECT_TRUE(acceptable(cell.verdict))
            << scenario.name << " " << cell.fault << " at " << cell.stage << " (" << cell.mode
            << "): " << verdictName(cell.verdict) << "\n"
            << cell.evidence;
    }
    std::cout << "fault matrix " << scenario.name << ": " << cells.size() << " cells ("
              << faults.size() << " faults x " << stages.size() << " stages x " << modes.size()
              << " modes, where the fault can strike):";
    for (const auto& [verdict, n] : byVerdict)
        std::cout << " " << n << " " << verdict;
    std::cout << "\n";
    // The cells where the tool rode out the fault, for the record.
    for (const MatrixCell& cell : cells)
        if (cell.verdict != Verdict::FailureReported)
            std::cout << "  " << verdictName(cell.verdict) << ": " << cell.fault << " at "
                      << cell.stage << " (" << cell.mode << ")\n";
}

INSTANTIATE_TEST_SUITE_P(Upgrades, FaultMatrix, testing::ValuesIn(scenarios()),
                         [](const testing::TestParamInfo<MatrixScenario>& info) {
                             return info.param.name;
                         });
