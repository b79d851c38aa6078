#include "support/fault_matrix.h"

#include "support/run_refirm.h"
#include "support/srecord_image.h"

#include <algorithm>
#include <cstdio>

namespace testing_support {

namespace {

const std::vector<std::string> kModes = {"silent_w_err", "silent", "interactive"};

// A cell's run takes a few seconds at most, even under a sanitizer.
constexpr int kCellWatchdogSeconds = 90;

// Kinds sent at most this often are struck at every occurrence.
constexpr std::size_t kEveryOccurrence = 6;

std::string hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(value));
    return text;
}

std::string examplePath(const std::string& relative) {
    return std::string(REFIRM_SOURCE_DIR) + "/examples/" + relative;
}

std::string sectionOf(unsigned processor) {
    return processor == 0 ? "Scanner" : "Processor" + std::to_string(processor);
}

// Kinds that mark a pass of the automatic sequence or a stage of it.
bool everyPass(const std::string& kind) {
    return kind == "processorinfo" || kind == "inquiry" || kind == "restart" || kind == "start" ||
           kind == "finish" || kind == "select";
}

bool isTransfer(const std::string& kind) {
    return kind == "memwrite" || kind == "memread" || kind == "datawrite" || kind == "dataread";
}

// Everything a run showed: the boxes and dialogs, the log, and the end of
// what it printed.
std::string evidenceOf(const SimulatedRun& run) {
    std::string text = readFile(run.workDir() + "/record.txt");
    if (run.logExists())
        text += "\n--- log\n" + run.log();
    const std::string& output = run.lastRun().output;
    const std::size_t tail = 3000;
    text +=
        "\n--- output\n" + (output.size() > tail ? output.substr(output.size() - tail) : output);
    return text;
}

bool claimsCompletion(const SimulatedRun& run, const std::string& evidence) {
    const std::string profile = run.configDir() + "/Korvatek/Refirm/ScannerProfile.ini";
    return contains(evidence, "Firmware upgrade completed.") ||
           (fileExists(profile) && contains(readFile(profile), "UpgradeCompleted"));
}

// A word of a failure report or of a scanner error's text.
bool carriesError(const std::string& evidence) {
    for (const char* word : {"failed", "Failed", "error", "Error", "No Devices Found", "not found",
                             "problem", "jammed", "cover is open", "No page", "Lamp was over",
                             "Invalid field", "did not answer", "did not come back", "not open"})
        if (contains(evidence, word))
            return true;
    return false;
}

bool crashed(const RefirmRun& result) {
    return result.signal != 0 || result.exitCode != 0 || contains(result.output, "Sanitizer") ||
           contains(result.output, "runtime error:");
}

// Every image is in its flash.
bool imagesInFlash(const MatrixScenario& scenario, const SimulatedRun& run) {
    for (const auto& image : scenario.images) {
        const FlashContent wanted = parseFlashDump(image.text);
        const FlashContent dump = run.flashDump(0, image.processor);
        for (const auto& [address, value] : wanted.bytes)
            if (dump.at(address) != value)
                return false;
    }
    return true;
}

void prepare(SimulatedRun& run, const MatrixScenario& scenario, const std::vector<ProfileKey>& keys,
             const std::string& mode) {
    run.writeSettingsFile(scenario.settingsFile);
    if (!scenario.userStore.empty())
        run.writeUserStore(scenario.userStore);
    for (const auto& image : scenario.images)
        run.writeWorkFile(image.file, image.text);
    std::vector<ProfileKey> all = scenario.profileKeys;
    all.insert(all.end(), keys.begin(), keys.end());
    run.addExampleProfile(scenario.profile, all);
    run.setWatchdog(kCellWatchdogSeconds);
    // A hung scanner is given up after the completion time-out of two
    // minutes (twice, where the command is retried): time runs ten times
    // faster for those cells than for the others, which wait for far less.
    if (std::any_of(keys.begin(), keys.end(),
                    [](const ProfileKey& k) { return k.key == "HangAfter"; }))
        run.setTimeScale("0.001");
    // Every box answered with Yes (OK where it has one button); what is
    // shown is recorded.
    std::string answers;
    for (int i = 0; i < 40; ++i)
        answers += "yes\n";
    run.setEnv("REFIRM_SCRIPT", run.writeWorkFile("answers.txt", answers));
    run.setEnv("REFIRM_RECORD", run.workDir() + "/record.txt");
    std::vector<std::string> args = scenario.args;
    if (mode != "interactive")
        args.push_back(mode);
    run.run(args);
}

std::uint8_t generatedByte(std::uint32_t address) {
    return static_cast<std::uint8_t>(address * 7 + 3);
}

} // namespace

MatrixScenario MatrixScenario::MainController(const std::string& name, const std::string& profile,
                                              const std::string& version, std::uint32_t base) {
    MatrixScenario scenario;
    scenario.name = name;
    scenario.profile = profile;
    scenario.aspi = contains(readFile(exampleProfilePath(profile)), "Transport=ASPI");
    scenario.settingsFile =
        "[refirm]\r\nNewFirmwareVersion=" + version + "\r\nBackupProfile=True\r\n";
    scenario.images.push_back({0, "image.mot", SRecordImage({{base, 3 * 0x10000}}, generatedByte)});
    scenario.args = {"image.mot", name.substr(0, name.find('_'))};
    return scenario;
}

MatrixScenario
MatrixScenario::Sequence(const std::string& name, const std::string& profile,
                         const std::string& settingsExample,
                         const std::vector<std::pair<unsigned, std::string>>& images) {
    MatrixScenario scenario;
    scenario.name = name;
    scenario.profile = profile;
    scenario.settingsFile = readFile(examplePath(settingsExample)) + "\r\nBackupProfile=True\r\n";
    for (const auto& [processor, file] : images)
        scenario.images.push_back({processor, file, readFile(examplePath("images/" + file))});
    scenario.args = {"", name};
    return scenario;
}

const char* verdictName(Verdict verdict) {
    switch (verdict) {
    case Verdict::FailureReported:
        return "failure reported";
    case Verdict::AfterTheResult:
        return "reported after the result";
    case Verdict::Absorbed:
        return "recovered";
    case Verdict::Hung:
        return "hung";
    case Verdict::Crashed:
        return "crashed";
    case Verdict::ClaimedSuccess:
        return "claimed success";
    case Verdict::NothingSaid:
        return "said nothing";
    }
    return "?";
}

bool acceptable(Verdict verdict) {
    return verdict == Verdict::FailureReported || verdict == Verdict::AfterTheResult ||
           verdict == Verdict::Absorbed;
}

Baseline runBaseline(const MatrixScenario& scenario) {
    SimulatedRun run;
    prepare(run, scenario, {}, "silent_w_err");
    Baseline baseline;
    baseline.evidence = evidenceOf(run);
    baseline.kinds = run.traceKinds(0);
    baseline.completed = !crashed(run.lastRun()) && claimsCompletion(run, baseline.evidence) &&
                         imagesInFlash(scenario, run);
    for (std::size_t i = 0; i < baseline.kinds.size(); ++i)
        if (isTransfer(baseline.kinds[i]))
            baseline.lastTransfer = i;
    return baseline;
}

std::vector<MatrixCell> matrixCells(const MatrixScenario& scenario, const Baseline& baseline) {
    std::vector<MatrixCell> points;
    auto add = [&](std::string fault, std::string stage, std::size_t position,
                   std::vector<ProfileKey> keys) {
        points.push_back(MatrixCell{std::move(fault), std::move(stage), "", position,
                                    std::move(keys), Verdict::NothingSaid, ""});
    };

    // The moment before the first command: the device search.
    add("unplug", "device search", 0, {{"Scanner", "UnplugAfter", "0"}});

    std::map<std::string, std::vector<std::size_t>> positions;
    std::vector<std::string> order;
    for (std::size_t i = 0; i < baseline.kinds.size(); ++i) {
        auto& list = positions[baseline.kinds[i]];
        if (list.empty())
            order.push_back(baseline.kinds[i]);
        list.push_back(i);
    }
    for (const std::string& kind : order) {
        const auto& list = positions[kind];
        std::set<std::size_t> picked;
        if (list.size() <= kEveryOccurrence || everyPass(kind)) {
            for (std::size_t n = 0; n < list.size(); ++n)
                picked.insert(n);
        } else {
            picked = {0, list.size() / 2, list.size() - 1};
        }
        for (std::size_t n : picked) {
            const std::size_t at = list[n];
            const std::string stage =
                kind + " " + std::to_string(n + 1) + "/" + std::to_string(list.size());
            add("sense", stage, at,
                {{"Fault1", "Command", kind},
                 {"Fault1", "Nth", std::to_string(n + 1)},
                 {"Fault1", "Sense", "4/44/00"}});
            add("unplug", stage, at, {{"Scanner", "UnplugAfter", std::to_string(at)}});
            if (scenario.aspi)
                add("hang", stage, at, {{"Scanner", "HangAfter", std::to_string(at)}});
        }
    }

    // Read-back of each image's first, middle and last byte.
    for (const auto& image : scenario.images) {
        const FlashContent content = parseFlashDump(image.text);
        if (content.empty())
            continue;
        std::vector<std::uint32_t> addresses;
        for (const auto& entry : content.bytes)
            addresses.push_back(entry.first);
        std::set<std::uint32_t> picked = {addresses.front(), addresses[addresses.size() / 2],
                                          addresses.back()};
        for (std::uint32_t address : picked)
            add("corrupt read",
                "read-back of processor " + std::to_string(image.processor) + " at " + hex(address),
                baseline.lastTransfer,
                {{sectionOf(image.processor), "CorruptReadAt", hex(address)}});
    }

    if (positions.count("processorinfo")) {
        add("zero reply", "identify the main controller", 0, {{"Processor0", "ZeroReply", "1"}});
        for (const auto& image : scenario.images)
            if (image.processor != 0)
                add("zero reply", "identify processor " + std::to_string(image.processor), 0,
                    {{"Processor" + std::to_string(image.processor), "ZeroReply", "1"}});
    }
    for (const char* kind : {"updatemode", "prepare", "restart"})
        if (positions.count(kind)) {
            add("never returns", std::string("off the bus after the first ") + kind,
                positions[kind].front(), {{"Scanner", "NeverReturn", "1"}});
            break;
        }

    std::vector<MatrixCell> cells;
#ifdef REFIRM_SANITIZED_BUILD
    // Each point once, in the modes taken in turn: the sanitizers watch every
    // point without three times the run time.
    for (std::size_t i = 0; i < points.size(); ++i) {
        MatrixCell cell = points[i];
        cell.mode = kModes[i % kModes.size()];
        cells.push_back(cell);
    }
#else
    for (const MatrixCell& point : points)
        for (const std::string& mode : kModes) {
            MatrixCell cell = point;
            cell.mode = mode;
            cells.push_back(cell);
        }
#endif
    return cells;
}

void runCell(const MatrixScenario& scenario, const Baseline& baseline, MatrixCell& cell) {
    SimulatedRun run;
    prepare(run, scenario, cell.keys, cell.mode);
    const RefirmRun& result = run.lastRun();
    cell.evidence = evidenceOf(run);
    if (result.timedOut) {
        cell.verdict = Verdict::Hung;
    } else if (crashed(result)) {
        cell.verdict = Verdict::Crashed;
    } else if (claimsCompletion(run, cell.evidence)) {
        if (!carriesError(cell.evidence) && imagesInFlash(scenario, run))
            cell.verdict = Verdict::Absorbed;
        else if (carriesError(cell.evidence) && cell.position > baseline.lastTransfer &&
                 imagesInFlash(scenario, run))
            cell.verdict = Verdict::AfterTheResult;
        else
            cell.verdict = Verdict::ClaimedSuccess;
    } else if (carriesError(cell.evidence)) {
        cell.verdict = Verdict::FailureReported;
    } else if (cell.mode == "silent" && imagesInFlash(scenario, run)) {
        // A silent run keeps a completed upgrade to itself.
        cell.verdict = Verdict::Absorbed;
    } else {
        cell.verdict = Verdict::NothingSaid;
    }
}

} // namespace testing_support
