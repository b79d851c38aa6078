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

    static bool ReadKeys(const StageKeys& keys, std::string& image, std::int32_t& version);

    bool processorNamed(int index, const char* expected, bool readVersion);
    Outcome runMainController(const std::string& image, bool handForce);
    template <class Dialog>
    Outcome runProcessor(const std::string& image, std::int32_t version, bool finishOnClose,
                         bool finishAfterUpgrade);
    // Restart, wait for the scanner and reopen it; false when it cannot be reopened.
    bool restartAndReconnect();
    void timedWait();
    void report(Report report);

    CScanner& scanner_;
    RunFlags flags_;
};
