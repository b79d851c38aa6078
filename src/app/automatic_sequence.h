#pragma once

#include "app/run_flags.h"

#include <cstdint>
#include <string>

class CScanner;

// The upgrade of every processor of a scanner in one run, without the user
// naming a file: the image paths and versions come from the settings file.
// The sequence is a loop of passes; each pass reads the processor list first,
// then runs the stages not yet done, each through its own dialog. After the
// main controller stage the scanner is restarted and waited for. The run ends
// with exactly one final report: completed, no need, or failed.
//
// A stage counts as done only when its dialog completed an upgrade, found
// nothing to do, or had no image to write; a stage whose dialog failed makes
// the run fail. A scanner whose processor list never becomes what the family
// needs ends the run as failed after kMaxPasses passes.
class CAutomaticSequence {
public:
    static constexpr int kMaxPasses = 16;

    // How a processor stage's dialog is run.
    struct ProcessorStage {
        bool handForce = false;          // the force flag goes to the dialog
        bool finishOnClose = false;      // the dialog closes the session itself
        bool finishAfterUpgrade = false; // the sequence closes it after a completed run
    };

    CAutomaticSequence(CScanner& scanner, const RunFlags& flags)
        : scanner_(scanner), flags_(flags) {}

    // Main controller, main drive and sub drive processors; `lynx` adds the
    // timed waits of that family.
    void unionUpdate(bool lynx);
    // Sub drive processor, authentication processor, then main controller.
    void lumikaSequence();

private:
    enum class Report { Completed, NoNeed, Failed };
    struct Stage {
        bool done = false;
        bool noNeed = false;
    };
    // What one stage dialog ended with.
    struct Outcome {
        std::intptr_t code = 0;
        bool alreadyUpToDate = false;
        bool completed = false;
    };
    struct StageKeys {
        const char* image;
        const char* version;
    };

    // A dialog that failed: it ended without completing an upgrade, and not
    // because the processor already holds the offered version.
    static bool Failed(const Outcome& outcome);
    static bool ReadKeys(const StageKeys& keys, std::string& image, std::int32_t& version);

    bool processorNamed(int index, const char* expected, bool readVersion);
    Outcome runMainController(const std::string& image, bool handForce);
    template <class Dialog>
    Outcome runProcessor(const std::string& image, std::int32_t version, const ProcessorStage& how);
    // Runs a processor stage that is not done yet; false when it failed.
    template <class Dialog>
    bool processorStage(Stage& stage, const StageKeys& keys, const ProcessorStage& how);
    // Restart, wait for the scanner and reopen it; false when it cannot be reopened.
    bool restartAndReconnect();
    void timedWait();
    void report(Report report);

    CScanner& scanner_;
    RunFlags flags_;
};
