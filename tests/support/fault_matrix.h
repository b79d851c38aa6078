#pragma once

#include "support/simulated_run.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace testing_support {

// One upgrade the fault matrix runs: a scanner, its settings and images, and
// the command line before the mode word.
struct MatrixScenario {
    std::string name;
    std::string profile; // in examples/scanners/
    std::vector<ProfileKey> profileKeys;
    std::string settingsFile; // refirm.ini, verbatim
    std::string userStore;    // the per-user store, verbatim; empty: none
    std::vector<std::string> args;
    // The images in the current directory: file name and text, and the
    // processor (0: the main controller) whose flash each one ends up in.
    struct Image {
        unsigned processor;
        std::string file;
        std::string text;
    };
    std::vector<Image> images;
    bool aspi = false;

    // The main controller alone, upgraded to `version` from a generated image
    // of three 64 KiB blocks from `base`.
    static MatrixScenario MainController(const std::string& name, const std::string& profile,
                                         const std::string& version, std::uint32_t base = 0);
    // The automatic sequence of a multi-processor family, with the sample
    // settings file and images; `images` names each one's processor.
    static MatrixScenario Sequence(const std::string& name, const std::string& profile,
                                   const std::string& settingsExample,
                                   const std::vector<std::pair<unsigned, std::string>>& images);
};

// Names the scenario in test output.
inline void PrintTo(const MatrixScenario& scenario, std::ostream* out) {
    *out << scenario.name;
}

// What the clean run of a scenario sent.
struct Baseline {
    bool completed = false;
    std::vector<std::string> kinds; // the command kinds, in order
    std::size_t lastTransfer = 0;   // position of the last write or read of any flash
    std::string evidence;
};

enum class Verdict {
    FailureReported, // ended, said what went wrong, claimed nothing
    AfterTheResult,  // struck after the result was reported, and was reported itself
    Absorbed,        // the tool recovered: the upgrade really completed
    Hung,            // still running when the watchdog stopped it
    Crashed,         // a signal, a sanitizer report or an unexpected exit status
    ClaimedSuccess,  // reported a completed upgrade that did not happen
    NothingSaid,     // ended without a word about the failure
};

const char* verdictName(Verdict verdict);
bool acceptable(Verdict verdict);

struct MatrixCell {
    std::string fault;
    std::string stage;
    std::string mode; // "silent_w_err", "silent" or "interactive"
    std::size_t position = 0;
    std::vector<ProfileKey> keys;
    Verdict verdict = Verdict::NothingSaid;
    std::string evidence;
};

Baseline runBaseline(const MatrixScenario& scenario);
// Every fault at every point where it can strike, in every mode (in a
// sanitizer build each point in one mode, the modes taken in turn).
std::vector<MatrixCell> matrixCells(const MatrixScenario& scenario, const Baseline& baseline);
// Runs the cell and sets its verdict and evidence.
void runCell(const MatrixScenario& scenario, const Baseline& baseline, MatrixCell& cell);

} // namespace testing_support
