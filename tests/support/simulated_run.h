#pragma once

#include "support/run_refirm.h"
#include "support/scratch_dir.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace testing_support {

// One key of a scanner profile, e.g. {"Scanner", "UnplugAfter", "5"}.
struct ProfileKey {
    std::string section;
    std::string key;
    std::string value;
};

// Sets each key in `profile` (INI text): replaces the value where its section
// already has the key, adds it at the end of its section otherwise, and adds
// the section at the end when it is missing. Sections and keys match ignoring
// letter case, as the profile reader matches them.
std::string withProfileKeys(const std::string& profile, const std::vector<ProfileKey>& keys);

// examples/scanners/<name> of the source tree.
std::string exampleProfilePath(const std::string& name);
// The file names in examples/scanners/ that end in ".ini", sorted.
std::vector<std::string> exampleProfileNames();

// The bytes of a flash dump that are not 0xFF, by address.
struct FlashContent {
    std::map<std::uint32_t, std::uint8_t> bytes;

    bool empty() const { return bytes.empty(); }
    // 0xFF where the dump has nothing.
    std::uint8_t at(std::uint32_t address) const;
    std::vector<std::uint8_t> range(std::uint32_t address, std::size_t count) const;
};

// Reads the data records of an S-record file; throws std::runtime_error
// naming the line of a malformed record or one with a wrong checksum.
FlashContent parseFlashDump(const std::string& text);

// One run (or several) of the real refirm program against virtual scanners,
// with everything it touches inside one scratch directory:
//   work/        the current directory (settings file refirm.ini, images)
//   tmp/         TMPDIR, where the log Refirm.log goes
//   config/      XDG_CONFIG_HOME, the per-user store
//   scannerN/    profile, command trace, flash dumps and state of scanner N
// Every scanner gets a command trace, a main flash dump, a dump for each of
// its processors 1..7 and a state file there, unless its profile names its own
// (an empty value: none).
// The state file carries the scanner over from one run to the next, as the
// real device keeps its flash; command traces and the bus trace are emptied
// before every run, so that they show the latest run alone.
class SimulatedRun {
public:
    SimulatedRun();

    const std::string& dir() const { return scratch_.path(); }
    std::string workDir() const { return scratch_.file("work"); }
    std::string tmpDir() const { return scratch_.file("tmp"); }
    std::string configDir() const { return scratch_.file("config"); }

    // Adds a scanner from profile text; returns its index, counted from 0 in
    // the order the scanners are added (the order of REFIRM_SIMULATE).
    std::size_t addProfile(const std::string& text, const std::vector<ProfileKey>& keys = {});
    // Adds a copy of examples/scanners/<name> with the keys set.
    std::size_t addExampleProfile(const std::string& name,
                                  const std::vector<ProfileKey>& keys = {});
    std::size_t scannerCount() const { return scanners_.size(); }

    // The settings file refirm.ini of the current directory: verbatim, or
    // the keys in the [refirm] section.
    void writeSettingsFile(const std::string& text);
    void writeSettings(const std::vector<std::pair<std::string, std::string>>& keys);
    // The per-user store, verbatim ("[General]\r\nWRITELOG=1\r\n").
    void writeUserStore(const std::string& text);
    std::string userStore() const;
    std::string userStorePath() const;
    // A file in the current directory (a firmware image, a description);
    // returns its path.
    std::string writeWorkFile(const std::string& name, const std::string& content);

    // LANG; unset by default.
    void setLanguage(const std::string& lang) { setEnv("LANG", lang); }
    // REFIRM_TIME_SCALE; 0.01 by default.
    void setTimeScale(const std::string& scale) { setEnv("REFIRM_TIME_SCALE", scale); }
    void setEnv(const std::string& name, const std::string& value);
    void unsetEnv(const std::string& name);
    // A line of standard input, for the next prompt.
    void addAnswer(const std::string& line);
    // How long a run may take before it counts as hung (see runRefirm).
    void setWatchdog(int seconds) { watchdog_ = seconds; }
    // Turns REFIRM_BUS_TRACE on, into bus.trace of the scratch directory.
    void recordBusTrace();

    // Runs build/refirm in workDir() with exactly the environment above and
    // REFIRM_SIMULATE naming every profile added so far; stdin holds the
    // answers given so far (and they are used up).
    const RefirmRun& run(const std::vector<std::string>& args);
    const RefirmRun& lastRun() const { return last_; }
    // The environment the next run gets.
    std::map<std::string, std::string> environment() const;

    std::string logPath() const;
    bool logExists() const;
    std::string log() const;

    std::string profilePath(std::size_t scanner) const;
    std::string tracePath(std::size_t scanner) const;
    std::vector<std::string> traceLines(std::size_t scanner) const;
    // The command kinds of the trace, in order ("inquiry", "memwrite", ...).
    std::vector<std::string> traceKinds(std::size_t scanner) const;
    std::string statePath(std::size_t scanner) const;
    // Processor 0 is the main flash.
    std::string flashDumpPath(std::size_t scanner, unsigned processor = 0) const;
    std::string flashDumpText(std::size_t scanner, unsigned processor = 0) const;
    FlashContent flashDump(std::size_t scanner, unsigned processor = 0) const;
    std::string busTracePath() const { return scratch_.file("bus.trace"); }
    std::vector<std::string> busTraceLines() const;

private:
    struct Scanner {
        std::string profile;
        std::string trace;
        std::string state;
        std::map<unsigned, std::string> flashDumps;
    };

    const Scanner& scanner(std::size_t index) const;

    ScratchDir scratch_;
    std::vector<Scanner> scanners_;
    std::map<std::string, std::string> env_;
    std::string input_;
    bool busTrace_ = false;
    int watchdog_ = kRunWatchdogSeconds;
    RefirmRun last_;
};

} // namespace testing_support
