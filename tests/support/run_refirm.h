#pragma once

#include <map>
#include <string>
#include <vector>

namespace testing_support {

struct RefirmRun {
    int exitCode = -1;     // the program's exit status; -1 when it did not exit
    int signal = 0;        // the signal that ended it, 0 when it exited
    bool timedOut = false; // still running after the watchdog's limit, and stopped
    std::string output;    // standard output and standard error together
};

// `text` quoted for the shell, as one word.
std::string quoted(const std::string& text);

// Whether `part` occurs in `text`.
bool contains(const std::string& text, const std::string& part);

// How long a run may take before it counts as hung and is stopped. A safety
// net far above what any run takes, not a measure of speed.
constexpr int kRunWatchdogSeconds = 240;

// Runs the built refirm program in `workDir` with exactly the environment
// variables given (plus PATH), so that a developer's own settings never leak in.
RefirmRun runRefirm(const std::vector<std::string>& args,
                    const std::map<std::string, std::string>& env, const std::string& workDir,
                    const std::string& input = "", int watchdogSeconds = kRunWatchdogSeconds);

} // namespace testing_support
