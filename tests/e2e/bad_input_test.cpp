// Bad input at every door of the real program: the image path, the command
// line, the settings file, the localisation file, the per-user store and the
// temporary directory. Each ends with a message (a box in the output or a line
// in the log) and, where the input cannot be used, with nothing beyond
// identification sent to the scanner. The exit status is 0 whatever happens:
// the outcome is in the messages.
#include "support/run_refirm.h"
#include "support/simulated_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <vector>

using namespace testing_support;

namespace {

namespace fs = std::filesystem;

const std::string kImage = std::string(REFIRM_SOURCE_DIR) + "/examples/images/MORVI_1.21.MOT";
const std::string kShippedLoc = std::string(REFIRM_SOURCE_DIR) + "/examples/refirm.LOC";

bool holds(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The SX-2300C with firmware 1.20, offered 1.21.
void offerTheUpgrade(SimulatedRun& run) {
    run.addExampleProfile("MORVI.ini");
    run.writeSettings({{"NewFirmwareVersion", "1.21"}});
}

// Only identification reached the scanner, if anything did.
void expectNothingWritten(const SimulatedRun& run) {
    const std::set<std::string> identification = {"tur", "inquiry", "vendorpage", "processorinfo"};
    for (const std::string& kind : run.traceKinds(0))
        EXPECT_TRUE(identification.count(kind)) << kind << " reached the scanner";
}

void expectUpgraded(const SimulatedRun& run, const std::string& log) {
    EXPECT_TRUE(holds(log, "Firmware upgrade completed.")) << log << run.lastRun().output;
    EXPECT_FALSE(holds(log, "failed")) << log;
    const auto kinds = run.traceKinds(0);
    EXPECT_NE(std::count(kinds.begin(), kinds.end(), "memwrite"), 0);
    EXPECT_FALSE(run.flashDump(0).empty());
}

void expectRunEnded(const SimulatedRun& run) {
    EXPECT_EQ(run.lastRun().exitCode, 0) << run.lastRun().output;
    EXPECT_FALSE(run.lastRun().timedOut);
}

// Runs another copy of the program (one with its own files beside it) the way
// runRefirm runs the built one, stopped by the watchdog should it hang.
RefirmRun runCopy(const std::string& binary, const SimulatedRun& run,
                  const std::vector<std::string>& args) {
    ScratchDir io;
    std::string command = "cd " + quoted(run.workDir()) + " && timeout -k 5 " +
                          std::to_string(kRunWatchdogSeconds) + " env -i PATH=/usr/bin:/bin";
    for (const auto& [name, value] : run.environment())
        command += " " + quoted(name + "=" + value);
    command += " " + quoted(binary);
    for (const std::string& arg : args)
        command += " " + quoted(arg);
    command += " </dev/null >" + quoted(io.file("out")) + " 2>&1";
    const int status = std::system(command.c_str());
    RefirmRun result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.timedOut = result.exitCode == 124;
    result.output = readFile(io.file("out"));
    return result;
}

// ---------------------------------------------------------------------------
// The image path

struct BadImage {
    const char* name;
    // Prepares the work directory and returns the path to name on the command line.
    std::function<std::string(SimulatedRun&)> path;
    const char* message;
};

const std::vector<BadImage> kBadImages = {
    {"missing", [](SimulatedRun&) { return std::string("missing.mot"); },
     "The firmware file cannot be read."},
    {"a directory",
     [](SimulatedRun& run) {
         fs::create_directories(run.workDir() + "/images.mot");
         return std::string("images.mot");
     },
     "The firmware file cannot be read."},
    {"through a regular file",
     [](SimulatedRun& run) {
         run.writeWorkFile("image.mot", readFile(kImage));
         return std::string("image.mot/x.mot");
     },
     "The firmware file cannot be read."},
    {"5000 characters long", [](SimulatedRun&) { return std::string(4996, 'f') + ".mot"; },
     "The firmware file cannot be read."},
    {"a pipe nobody writes to",
     [](SimulatedRun& run) {
         EXPECT_EQ(::mkfifo((run.workDir() + "/pipe.mot").c_str(), 0600), 0);
         return std::string("pipe.mot");
     },
     "The firmware file cannot be read."},
    {"a device that never ends", [](SimulatedRun&) { return std::string("/dev/zero"); },
     "The firmware file cannot be read."},
    {"empty",
     [](SimulatedRun& run) {
         run.writeWorkFile("empty.mot", "");
         return std::string("empty.mot");
     },
     "The firmware file holds no data."},
    {"header and end record only",
     [](SimulatedRun& run) {
         run.writeWorkFile("bare.mot", "S00600004844521B\r\nS9030000FC\r\n");
         return std::string("bare.mot");
     },
     "The firmware file holds no data."},
};

TEST(BadInput, ImagePathThatCannotBeUsedLeavesTheScannerAlone) {
    for (const BadImage& bad : kBadImages) {
        SCOPED_TRACE(bad.name);
        SimulatedRun run;
        offerTheUpgrade(run);
        const std::string path = bad.path(run);
        run.run({path, "MORVI", "silent_w_err"});
        expectRunEnded(run);
        const std::string log = run.log();
        EXPECT_TRUE(holds(log, bad.message)) << log;
        EXPECT_TRUE(holds(log, "Firmware upgrade failed.")) << log;
        EXPECT_FALSE(holds(log, "completed")) << log;
        EXPECT_FALSE(run.traceKinds(0).empty()) << "the scanner was not even identified";
        expectNothingWritten(run);
    }
}

TEST(BadInput, ImagePathThatCannotBeUsedIsShownInABoxAtTheTerminal) {
    SimulatedRun run;
    offerTheUpgrade(run);
    run.addAnswer("y"); // both confirmations
    run.addAnswer("y");
    run.run({"missing.mot", "MORVI"});
    expectRunEnded(run);
    const std::string& output = run.lastRun().output;
    EXPECT_TRUE(holds(output, "The firmware file cannot be read.")) << output;
    EXPECT_TRUE(holds(output, "Firmware upgrade failed.")) << output;
    expectNothingWritten(run);
}

TEST(BadInput, ImagePathWithBlanksOrNonAsciiCharactersIsUsedAsItStands) {
    for (const std::string relative :
         {"my images/new image 1.21.mot", "Fi\xCC\x88rmw\xC3\xA4re/\xE7\x94\xBB\xE5\x83\x8F.mot"}) {
        SCOPED_TRACE(relative);
        SimulatedRun run;
        offerTheUpgrade(run);
        const std::string path = run.writeWorkFile(relative, readFile(kImage));
        run.run({path, "MORVI", "silent_w_err"});
        expectRunEnded(run);
        expectUpgraded(run, run.log());
        // The open-file dialog offers it next time, byte for byte.
        EXPECT_TRUE(holds(run.userStore(), "LastFile=" + path + "\r\n")) << run.userStore();
    }
}

// ---------------------------------------------------------------------------
// The command line

struct BadCommandLine {
    const char* name;
    std::vector<std::string> args;
};

TEST(BadInput, CommandLineWithoutAUsableFamilyFindsNoScanner) {
    // Family codes are exact and case-sensitive: "morvi" names no family, so
    // the search looks for no scanner at all.
    const std::vector<BadCommandLine> cases = {
        {"no arguments", {}},
        {"two empty arguments", {"", ""}},
        {"an empty family", {"image.mot", ""}},
        {"image alone", {"image.mot"}},
        {"family in lower case", {"image.mot", "morvi"}},
        {"family in mixed case", {"image.mot", "Morvi"}},
    };
    for (const BadCommandLine& bad : cases) {
        SCOPED_TRACE(bad.name);
        SimulatedRun run;
        offerTheUpgrade(run);
        run.writeWorkFile("image.mot", readFile(kImage));
        run.run(bad.args);
        expectRunEnded(run);
        EXPECT_TRUE(holds(run.lastRun().output, "No Devices Found.")) << run.lastRun().output;
        EXPECT_TRUE(run.traceKinds(0).empty());

        std::vector<std::string> logged = bad.args;
        logged.push_back("silent_w_err");
        run.run(logged);
        expectRunEnded(run);
        EXPECT_TRUE(holds(run.log(), "No Devices Found.")) << run.log();
        EXPECT_TRUE(run.traceKinds(0).empty());
    }
}

TEST(BadInput, EmptyImageArgumentAsksForTheFileAndCancellingEndsTheRun) {
    for (const std::string mode : {"silent_w_err", "silent"}) {
        SCOPED_TRACE(mode);
        SimulatedRun run;
        offerTheUpgrade(run);
        run.run({"", "MORVI", mode}); // no answer: the dialog is cancelled
        expectRunEnded(run);
        EXPECT_TRUE(holds(run.lastRun().output, "Open a file")) << run.lastRun().output;
        EXPECT_TRUE(holds(run.lastRun().output, "(cancelled)")) << run.lastRun().output;
        EXPECT_FALSE(run.traceKinds(0).empty());
        expectNothingWritten(run);

        run.addAnswer("nothing here.mot");
        run.run({"", "MORVI", "silent_w_err"});
        EXPECT_TRUE(holds(run.log(), "The firmware file cannot be read.")) << run.log();
        expectNothingWritten(run);
    }
}

// ---------------------------------------------------------------------------
// The settings file refirm.ini of the current directory

constexpr char kBinaryBytes[] = "\x00\xFF\xFE\x1A\r\x89PNG\x00[\x7F=\xC3(\r\r\x00\x01";
const std::string kBinary(kBinaryBytes, sizeof kBinaryBytes - 1);

struct BadSettings {
    const char* name;
    std::string text;
    bool upgrades; // otherwise there is no need, and nothing is written
};

TEST(BadInput, SettingsFileWithJunkKeepsOnlyWhatItCanRead) {
    const std::string offer = "[refirm]\r\nNewFirmwareVersion=1.21\r\n";
    const std::string sections = "[refirm]\r\nNewFirmwareVersion=9.99\r\nUnionMot=True\r\n"
                                 "Section.Name=Main Firmware\r\nSection.Version=9.99\r\n"
                                 "Section.Start=0\r\n";
    const std::vector<BadSettings> cases = {
        {"junk lines around the key",
         "garbage\r\n[[[\r\n=\r\n==x\r\n;[refirm]\r\n[refirm\r\nno equals sign\r\n"
         "NewFirmwareVersion=1.21\r\n=1.0\r\n[]\r\n",
         true},
        {"binary data before the section", kBinary + "\r\n" + offer, true},
        {"binary data alone", kBinary, false},
        {"a NUL inside the version",
         "[refirm]\r\nNewFirmwareVersion=1.2" + std::string(1, '\0') + "1\r\n", false},
        {"a version of 5000 digits", "[refirm]\r\nNewFirmwareVersion=" + std::string(5000, '9'),
         true},
        {"a negative section size", sections + "Section.Size=-0x10000\r\n", false},
        {"a section size beyond 64 bits", sections + "Section.Size=FFFFFFFFFFFFFFFFFFFFFFFF\r\n",
         true},
    };
    for (const BadSettings& bad : cases) {
        SCOPED_TRACE(bad.name);
        SimulatedRun run;
        run.addExampleProfile("MORVI.ini");
        run.writeSettingsFile(bad.text);
        run.writeWorkFile("image.mot", readFile(kImage));
        run.run({"image.mot", "MORVI", "silent_w_err"});
        expectRunEnded(run);
        const std::string log = run.log();
        if (bad.upgrades) {
            expectUpgraded(run, log);
        } else {
            EXPECT_TRUE(holds(log, "There is no need to upgrade the firmware.")) << log;
            expectNothingWritten(run);
        }
    }
}

TEST(BadInput, SettingsFileThatIsADirectoryIsNoSettingsFile) {
    SimulatedRun run;
    run.addExampleProfile("MORVI.ini");
    fs::create_directories(run.workDir() + "/refirm.ini");
    run.writeWorkFile("image.mot", readFile(kImage));
    run.run({"image.mot", "MORVI", "silent_w_err"});
    expectRunEnded(run);
    EXPECT_TRUE(holds(run.log(), "There is no need to upgrade the firmware.")) << run.log();
    expectNothingWritten(run);
}

// ---------------------------------------------------------------------------
// The localisation file beside the executable

// ASCII text as UTF-16LE.
std::string utf16(const std::string& ascii) {
    std::string out;
    for (char c : ascii)
        out += std::string(1, c) + '\0';
    return out;
}

// Every other byte of UTF-16LE text: its ASCII, its other characters spoilt.
std::string lowBytes(const std::string& utf16Text) {
    std::string out;
    for (std::size_t i = 0; i + 1 < utf16Text.size(); i += 2)
        out += utf16Text[i];
    return out;
}

// "Firmware upgrade failed." in Japanese, a message ahead of the one the runs
// below show.
const std::string kFailedInJapanese = "ファームウェアのアップグレードに失敗しました。";

TEST(BadInput, CorruptLocalisationFileLeavesTheEnglishTexts) {
    const std::string shipped = readFile(kShippedLoc);
    const std::size_t firstMessage = shipped.find(utf16("English=Error"));
    ASSERT_NE(firstMessage, std::string::npos);
    std::string cutByNul = shipped;
    cutByNul.insert(firstMessage, std::string("\0\0", 2));
    // Just into the block of the message the runs below show, halfway through
    // a character.
    const std::size_t shown = shipped.find(utf16("English=The firmware file cannot be read."));
    ASSERT_NE(shown, std::string::npos);
    std::string noise;
    for (std::size_t i = 0; i < shipped.size(); ++i)
        noise += static_cast<char>((i * 2654435761u) >> 13);

    struct Case {
        const char* name;
        std::string content; // empty with `directory`
        bool directory;
        bool keepsEarlierTexts; // the translations before the damage
    };
    const std::vector<Case> cases = {
        {"truncated", shipped.substr(0, shown + 3), false, true},
        {"cut by a NUL character before the messages", cutByNul, false, false},
        {"noise", noise, false, false},
        {"not UTF-16", lowBytes(shipped), false, false},
        {"empty", "", false, false},
        {"a directory", "", true, false},
    };

    ScratchDir copy;
    const std::string binary = copy.file("refirm");
    fs::copy_file(REFIRM_BINARY, binary);
    const std::string loc = copy.file("refirm.LOC");

    const auto run = [&](SimulatedRun& sim) {
        sim.setLanguage("ja_JP.UTF-8");
        offerTheUpgrade(sim);
        const RefirmRun result = runCopy(binary, sim, {"missing.mot", "MORVI", "silent_w_err"});
        EXPECT_EQ(result.exitCode, 0) << result.output;
        return sim.log();
    };

    // The copy reads the file beside it: the shipped one translates.
    writeFile(loc, shipped);
    {
        SimulatedRun sim;
        const std::string log = run(sim);
        EXPECT_TRUE(holds(log, kFailedInJapanese)) << log;
        EXPECT_FALSE(holds(log, "The firmware file cannot be read.")) << log;
    }
    for (const Case& bad : cases) {
        SCOPED_TRACE(bad.name);
        fs::remove_all(loc);
        if (bad.directory)
            fs::create_directories(loc);
        else
            writeFile(loc, bad.content);
        SimulatedRun sim;
        const std::string log = run(sim);
        EXPECT_TRUE(holds(log, "The firmware file cannot be read.")) << log;
        EXPECT_EQ(holds(log, "Firmware upgrade failed.\nPlease restart the scanner and try again."),
                  !bad.keepsEarlierTexts)
            << log;
        EXPECT_EQ(holds(log, kFailedInJapanese), bad.keepsEarlierTexts) << log;
        expectNothingWritten(sim);
    }
}

// ---------------------------------------------------------------------------
// The per-user store and the temporary directory

TEST(BadInput, UserStoreThatCannotBeWrittenIsLoggedAndTheUpgradeGoesOn) {
    const std::vector<std::pair<const char*, std::function<void(SimulatedRun&)>>> cases = {
        {"a file where the configuration directory belongs",
         [](SimulatedRun& run) {
             writeFile(run.dir() + "/not a directory", "");
             run.setEnv("XDG_CONFIG_HOME", run.dir() + "/not a directory");
         }},
        {"a directory where the store belongs",
         [](SimulatedRun& run) { fs::create_directories(run.userStorePath()); }},
    };
    for (const auto& [name, spoil] : cases) {
        SCOPED_TRACE(name);
        SimulatedRun run;
        offerTheUpgrade(run);
        run.writeWorkFile("image.mot", readFile(kImage));
        spoil(run);
        run.run({"image.mot", "MORVI", "silent_w_err"});
        expectRunEnded(run);
        const std::string log = run.log();
        EXPECT_TRUE(holds(log, "The per-user settings cannot be saved.")) << log;
        expectUpgraded(run, log);
    }
}

TEST(BadInput, CompletedUpgradeThatCannotBeRecordedIsLogged) {
    SimulatedRun run;
    offerTheUpgrade(run);
    run.writeSettings({{"NewFirmwareVersion", "1.21"}, {"BackupProfile", "True"}});
    run.writeWorkFile("image.mot", readFile(kImage));
    writeFile(run.dir() + "/file", "");
    run.setEnv("XDG_CONFIG_HOME", run.dir() + "/file");
    run.run({"image.mot", "MORVI", "silent_w_err"});
    const std::string log = run.log();
    EXPECT_TRUE(holds(log, "The scanner profile cannot be saved.\n" + run.dir() +
                               "/file/Korvatek/Refirm/ScannerProfile.ini"))
        << log;
    expectUpgraded(run, log);
}

TEST(BadInput, TemporaryDirectoryThatCannotBeWrittenIsShownAndTheUpgradeGoesOn) {
    const std::vector<std::pair<const char*, bool>> cases = {{"a regular file", true},
                                                             {"missing", false}};
    for (const auto& [name, isFile] : cases) {
        SCOPED_TRACE(name);
        SimulatedRun run;
        offerTheUpgrade(run);
        run.writeWorkFile("image.mot", readFile(kImage));
        const std::string tmp = run.dir() + "/no tmp";
        if (isFile)
            writeFile(tmp, "");
        run.setEnv("TMPDIR", tmp);
        run.run({"image.mot", "MORVI", "silent_w_err"});
        expectRunEnded(run);
        const std::string& output = run.lastRun().output;
        EXPECT_TRUE(holds(output, "The log file cannot be written. The upgrade goes on without a "
                                  "log.\n  " +
                                      tmp + "/Refirm.log"))
            << output;
        // Nothing was made in its place.
        EXPECT_EQ(fs::exists(tmp), isFile);
        if (isFile) {
            EXPECT_EQ(readFile(tmp), "");
        }
        const auto kinds = run.traceKinds(0);
        EXPECT_NE(std::count(kinds.begin(), kinds.end(), "memwrite"), 0);
        EXPECT_FALSE(run.flashDump(0).empty());
    }
}

TEST(BadInput, WritableTemporaryDirectoryGivesNoWarning) {
    SimulatedRun run;
    offerTheUpgrade(run);
    run.writeWorkFile("image.mot", readFile(kImage));
    run.run({"image.mot", "MORVI", "silent_w_err"});
    EXPECT_FALSE(holds(run.lastRun().output, "cannot be written")) << run.lastRun().output;
    EXPECT_FALSE(holds(run.log(), "cannot be saved")) << run.log();
    expectUpgraded(run, run.log());
}

} // namespace
