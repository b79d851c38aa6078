// The upgrade dialogs of the processors behind the main controller, run
// modally against virtual scanners: what reaches each processor, what its
// flash holds afterwards, and how every way out of a run ends.
#include "device/scanner_fixture.h"
#include "device/wait_dialog_support.h"
#include "dialogs/drive_cpu_firm_load_dialogs.h"
#include "dialogs/firm_load_template.h"
#include "platform/message_box.h"
#include "platform/profile_store.h"
#include "support/settings_sandbox.h"
#include "support/srecord_image.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <cstdio>
#include <functional>

using testing::HasSubstr;
using testing::StartsWith;
using namespace testing_support;

namespace {

// The processors of a KIRUNA and of a LUMIKA scanner, as the examples have them.
const std::string kKiruna = "[Processor0]\nName=MAIN CONTROLLER\n"
                            "[Processor1]\nName=MAIN DRIVE\nVersion=5\nUpgradedVersion=6\n"
                            "[Processor2]\nName=SUB DRIVE\nVersion=3\nUpgradedVersion=4\n"
                            "SubCommandBase=0x11\n";
const std::string kLumika = "[Processor0]\nName=MAIN\n"
                            "[Processor1]\nName=SUB DFD\nVersion=3\nUpgradedVersion=4\n"
                            "Access=Send\nDataType=0xA3\n"
                            "[Processor2]\nName=SUB FAKESENS\nVersion=3\nUpgradedVersion=4\n"
                            "Access=Send\nDataType=0xA2\n";

std::uint8_t imageByte(std::uint32_t address) {
    return static_cast<std::uint8_t>((address >> 8) * 31 + address * 7 + 1);
}

std::string kindOf(const std::string& line) {
    return line.substr(0, line.find(' '));
}

// A trace line without its outcome: "start FE 00 80 21 01 00 00 00 00 00 none 0".
std::string frame(const std::string& kind, const std::string& head, int subCommand,
                  const char* direction, unsigned length) {
    char text[96];
    std::snprintf(text, sizeof text, "%s %s %02X 00 00 %02X %02X 00 %s %u", kind.c_str(),
                  head.c_str(), subCommand, length >> 8, length & 0xFF, direction, length);
    return text;
}

template <typename Dialog> std::unique_ptr<CProcessorFirmLoadDialog> make(CScanner& scanner) {
    return std::make_unique<Dialog>(scanner);
}
using MakeDialog = std::unique_ptr<CProcessorFirmLoadDialog> (*)(CScanner&);

std::size_t occurrences(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

struct Outcome {
    int code = 0;
    bool alreadyUpToDate = false;
    bool completed = false;
};

// Ways to run a dialog other than silently.
void logging(CProcessorFirmLoadDialog& dialog) {
    dialog.silent = false;
    dialog.silentWithError = true;
}

void asking(CProcessorFirmLoadDialog& dialog) {
    dialog.silent = false;
    dialog.force = true;
    dialog.newVersion = 0; // nothing to tell
}

void askingAutomatic(CProcessorFirmLoadDialog& dialog) {
    asking(dialog);
    dialog.automatic = true;
}

} // namespace

class ProcessorDialogTest : public ScannerFixture {
protected:
    void open(const std::string& product, const std::string& processors,
              const std::string& more = "") {
        attach({profile("scanner", "Product=" + product + "\nRevision=1.41\n", processors + more)});
        ASSERT_EQ(scanner.openWith({"STI\\KORVA " + product + " USB"}), 1);
        clearTrace("scanner");
    }
    std::string image(const std::vector<ImageRange>& ranges) {
        const std::string path = scratch.file("image.mot");
        writeFile(path, SRecordImage(ranges, imageByte));
        return path;
    }
    // What reached the processors, outcomes left off; the queries left out.
    std::vector<std::string> frames() {
        std::vector<std::string> lines;
        for (const std::string& line : trace("scanner"))
            if (kindOf(line) != "processorinfo")
                lines.push_back(line.substr(0, line.find(" ->")));
        return lines;
    }
    std::size_t sent(const std::string& kind) {
        std::size_t n = 0;
        for (const std::string& line : trace("scanner"))
            n += kindOf(line) == kind;
        return n;
    }
    // A run, silent with a firmware path unless `adjust` says otherwise.
    Outcome run(std::int32_t newVersion, const std::string& path,
                const std::function<void(CProcessorFirmLoadDialog&)>& adjust = {},
                MakeDialog create = make<CMainDrvCpuFirmLoadDialog>) {
        std::unique_ptr<CProcessorFirmLoadDialog> dialog = create(scanner);
        dialog->silent = true;
        dialog->newVersion = newVersion;
        dialog->newVersionText = std::to_string(newVersion);
        dialog->firmwarePath = path;
        if (adjust)
            adjust(*dialog);
        const int code = static_cast<int>(dialog->DoModal());
        return {code, dialog->alreadyUpToDate, dialog->completed};
    }
    std::vector<platform::ScriptedFrontEnd::Box> boxes() const {
        return surroundings.frontEnd->boxes();
    }

    SettingsSandbox settings; // the application is "refirm"
    wait_test::Surroundings surroundings;
};

// --- Each dialog reaches its own processor ---

struct ProcessorCase {
    const char* name;
    MakeDialog create;
    const char* product;
    const std::string* processors;
    unsigned processor, other;
    const char *upgradedVersion, *otherVersion;
    std::uint32_t flashStart, blockSize;
    const char *writeHead, *readHead; // the frames up to the sub-command
    int base;
};

void PrintTo(const ProcessorCase& c, std::ostream* out) {
    *out << c.name;
}

class EachProcessorDialog : public ProcessorDialogTest,
                            public testing::WithParamInterface<ProcessorCase> {};

INSTANTIATE_TEST_SUITE_P(
    Rows, EachProcessorDialog,
    testing::Values(
        ProcessorCase{"MainDrive", make<CMainDrvCpuFirmLoadDialog>, "SX-4600C", &kKiruna, 1, 2, "6",
                      "3", 0x80000, 0x10000, "FE 00 80 21", "FD 00 80 21", 0x01},
        ProcessorCase{"SubDrive", make<CSubDrvCpuFirmLoadDialog>, "SX-V700", &kKiruna, 2, 1, "4",
                      "5", 0x80000, 0x10000, "FE 00 80 21", "FD 00 80 21", 0x11},
        ProcessorCase{"SubDfd", make<CSubDrvCpuFirmLoadDialog>, "SX-470M", &kLumika, 1, 2, "4", "3",
                      0x8000, 0x1000, "2A 00 A3 00", "28 00 A3 00", 0x01},
        ProcessorCase{"Authentication", make<CAuthCpuFirmLoadDialog>, "SX-470M", &kLumika, 2, 1,
                      "4", "3", 0x8000, 0x1000, "2A 00 A2 00", "28 00 A2 00", 0x01}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_P(EachProcessorDialog, WritesAndComparesItsProcessorAndFinishesOnClose) {
    const ProcessorCase& c = GetParam();
    open(c.product, *c.processors);
    // One block of the large map, two of the small one, with a margin at both ends.
    const std::uint32_t from = c.flashStart + 0x40, to = c.flashStart + 0x1FC0;
    const Outcome outcome = run(
        9, image({{from, to - from}}),
        [](CProcessorFirmLoadDialog& dialog) { dialog.finishOnClose = true; }, c.create);
    EXPECT_EQ(outcome.code, 1);
    EXPECT_TRUE(outcome.completed);
    EXPECT_TRUE(boxes().empty());

    // Each block whole, set-address before every piece, then read back alike.
    std::vector<std::string> pieces;
    for (const char* pass : {"write", "read"})
        for (std::uint32_t block = c.flashStart; block < to; block += c.blockSize)
            for (std::uint32_t done = 0; done < c.blockSize; done += 112) {
                const unsigned n = std::min<std::uint32_t>(112, c.blockSize - done);
                pieces.push_back(frame("address", c.writeHead, c.base + 2, "out", 10));
                pieces.push_back(pass == std::string("write")
                                     ? frame("datawrite", c.writeHead, c.base + 3, "out", n)
                                     : frame("dataread", c.readHead, c.base + 3, "in", n));
            }
    std::vector<std::string> expected = {frame("start", c.writeHead, c.base, "none", 0)};
    expected.insert(expected.end(), pieces.begin(), pieces.end());
    expected.push_back(frame("finish", c.writeHead, c.base + 1, "none", 0));
    EXPECT_EQ(frames(), expected);

    const sim::VirtualScanner& device = virtualScanner();
    for (std::uint32_t a = c.flashStart; a < c.flashStart + 0x2000; ++a)
        ASSERT_EQ(device.flashByte(c.processor, a), a >= from && a < to ? imageByte(a) : 0xFF)
            << std::hex << a;
    EXPECT_EQ(device.reportedVersion(c.processor), c.upgradedVersion);
    EXPECT_EQ(device.flashByte(c.other, c.flashStart), 'O'); // the old firmware's marker
    EXPECT_EQ(device.reportedVersion(c.other), c.otherVersion);
}

TEST_F(ProcessorDialogTest, LaterRecordsWinEvenOverABlockAlreadyCovered) {
    open("SX-470M", kLumika);
    std::string text = SRecordImage({{0x8000, 0x1000}}, imageByte);
    const std::string patch = SRecordImage({{0x8010, 0x10}}, [](std::uint32_t) { return 0x5A; });
    text = text.substr(0, text.rfind("S7")) + patch.substr(patch.find("\r\n") + 2);
    const std::string path = scratch.file("patched.mot");
    writeFile(path, text);
    EXPECT_EQ(run(4, path, {}, make<CSubDrvCpuFirmLoadDialog>).code, 1);
    EXPECT_EQ(virtualScanner().flashByte(1, 0x800F), imageByte(0x800F));
    EXPECT_EQ(virtualScanner().flashByte(1, 0x8010), 0x5A);
    EXPECT_EQ(virtualScanner().flashByte(1, 0x801F), 0x5A);
    EXPECT_EQ(virtualScanner().flashByte(1, 0x8020), imageByte(0x8020));
}

// --- The main drive dialog ---

TEST_F(ProcessorDialogTest, BarsSpanTheImageReadFirstThenTheBlockWritten) {
    open("SX-4600C", kKiruna);
    EXPECT_EQ(run(6, image({{0x80000, 0x1000}})).code, 1);
    EXPECT_EQ(sent("address"), 2u * 586);
    EXPECT_EQ(sent("datawrite"), 586u);
    EXPECT_EQ(sent("dataread"), 586u);
    for (std::uint32_t a = 0x80000; a < 0xF0000; ++a)
        ASSERT_EQ(virtualScanner().flashByte(1, a), a < 0x81000 ? imageByte(a) : 0xFF)
            << std::hex << a;

    const int id = firm_load::kMainDriveTemplateId;
    std::vector<int> ranges;
    for (const auto& event : surroundings.frontEnd->events())
        for (const auto& state : event.controls)
            if (event.templateId == id && state.control.id == firm_load::kLoadingBar &&
                (ranges.empty() || ranges.back() != state.rangeHigh))
                ranges.push_back(state.rangeHigh);
    EXPECT_EQ(ranges, (std::vector<int>{100, 8192, 65536}));
    const auto& frontEnd = *surroundings.frontEnd;
    EXPECT_EQ(frontEnd.textsOf(id, firm_load::kLoadingCount).back(), "65536 / 65536");
    EXPECT_EQ(frontEnd.textsOf(id, firm_load::kCompareCount).back(), "65536 / 65536");
    EXPECT_EQ(frontEnd.lastStateOf(id, firm_load::kLoadingBar)->position, 65536);
    EXPECT_EQ(frontEnd.lastStateOf(id, firm_load::kCompareBar)->position, 65536);
}

TEST_F(ProcessorDialogTest, VersionDecidesUnlessForced) {
    open("SX-4600C", kKiruna);
    const std::string path = image({{0x80000, 0x100}});
    struct Case {
        std::int32_t newVersion;
        bool force;
        bool upgrades;
    };
    for (const Case& c : {Case{5, false, false}, Case{4, false, false}, Case{6, false, true},
                          Case{5, true, false}, Case{4, true, true}}) {
        SCOPED_TRACE(std::to_string(c.newVersion) + (c.force ? " forced" : ""));
        clearTrace("scanner");
        const Outcome outcome =
            run(c.newVersion, path, [&](CProcessorFirmLoadDialog& d) { d.force = c.force; });
        EXPECT_EQ(outcome.code, c.upgrades ? 1 : 2);
        EXPECT_EQ(outcome.alreadyUpToDate, !c.upgrades);
        EXPECT_EQ(outcome.completed, c.upgrades);
        EXPECT_EQ(sent("start"), c.upgrades ? 1u : 0u);
        EXPECT_EQ(sent("datawrite"), c.upgrades ? 586u : 0u);
    }
    EXPECT_TRUE(boxes().empty()) << "a silent run tells nobody";
}

TEST_F(ProcessorDialogTest, AnotherProcessorAtTheDriveIndexNeedsNoUpgrade) {
    open("SX-4600C", "[Processor1]\nName=MAIN DRIVE2\nVersion=1\n");
    const std::string path = image({{0x80000, 0x100}});
    const Outcome told = run(9, path, [](CProcessorFirmLoadDialog& d) { d.silent = false; });
    const Outcome automatic = run(9, path, [](CProcessorFirmLoadDialog& d) {
        d.silent = false;
        d.automatic = true;
    });
    const Outcome logged = run(9, path, logging);
    for (const Outcome& outcome : {told, automatic, logged}) {
        EXPECT_EQ(outcome.code, 2);
        EXPECT_TRUE(outcome.alreadyUpToDate);
    }
    const std::string text =
        "There is no need to upgrade the Main Drive Cpu firmware.\nCurrent Version : \n";
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].text, text);
    EXPECT_EQ(boxes()[0].caption, "Warning");
    EXPECT_THAT(surroundings.log(), HasSubstr(text + "\r\n"));
    EXPECT_EQ(sent("start"), 0u);
}

// Not even the programming session is opened: the processor keeps its firmware.
TEST_F(ProcessorDialogTest, ImageOutsideTheProcessorFlashLeavesTheProcessorAlone) {
    open("SX-4600C", kKiruna);
    const Outcome outcome = run(6, image({{0x7FF00, 0x100}, {0xF0000, 0x100}}));
    EXPECT_EQ(outcome.code, 1);
    EXPECT_EQ(frames(), std::vector<std::string>{});
    // The processor did not get the offered firmware, and the user hears why.
    EXPECT_FALSE(outcome.completed);
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].text, "The firmware file holds no data for the Main Drive Cpu.");
}

TEST_F(ProcessorDialogTest, LegacyDeviceIsStartedOnlyAfterTheFileDialog) {
    open("SX-4600C", kKiruna);
    scanner.legacyDevice = 1;
    const std::string path = image({{0x80000, 0x100}});
    // Without a session the virtual processor refuses the first address.
    EXPECT_EQ(run(6, path, logging).code, 2);
    EXPECT_EQ(sent("start"), 0u);
    EXPECT_GT(sent("address"), 0u);

    clearTrace("scanner");
    surroundings.frontEnd->addAnswer("file " + path);
    EXPECT_EQ(run(6, "", logging).code, 1);
    EXPECT_EQ(sent("start"), 1u);
    const auto requests = surroundings.frontEnd->fileRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].initialName, path) << "the last file used";
}

TEST_F(ProcessorDialogTest, FailedStartEndsByHowTheFileCame) {
    open("SX-4600C", kKiruna, "[Fault1]\nCommand=start\nSense=3/80/01\nCount=0\n");
    const std::string path = image({{0x80000, 0x100}});
    EXPECT_EQ(run(6, path).code, 2);
    surroundings.frontEnd->addAnswer("file " + path);
    const Outcome chosen = run(6, "");
    EXPECT_EQ(chosen.code, 1);
    EXPECT_FALSE(chosen.completed);
    EXPECT_EQ(run(6, path, logging).code, 2);

    EXPECT_EQ(sent("start"), 3u);
    EXPECT_EQ(sent("address"), 0u);
    EXPECT_EQ(virtualScanner().flashByte(1, 0x80000), 'O');
    const auto shown = boxes();
    ASSERT_EQ(shown.size(), 2u) << "silent runs show the error; the third one logs it";
    for (const auto& box : shown)
        EXPECT_EQ(box.caption, "refirm");
    EXPECT_EQ(shown[0].text, shown[1].text);
    EXPECT_THAT(surroundings.log(), HasSubstr(shown[0].text + "\r\n"));
}

TEST_F(ProcessorDialogTest, BadImageFailsLoadingBeforeTheProcessorIsStarted) {
    open("SX-4600C", kKiruna);
    std::string text = SRecordImage({{0x80000, 0x100}}, imageByte);
    const std::size_t secondRecord = text.find("\r\nS3", 2);
    text[text.find("\r\n", secondRecord + 2) - 1] ^= 1; // its checksum, one bit off
    const std::string badChecksum = scratch.file("bad.mot");
    writeFile(badChecksum, text);

    for (const std::string& path : {badChecksum, scratch.file("missing.mot")}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(run(6, path).code, 2);
        EXPECT_EQ(run(6, path, logging).code, 2);
    }
    EXPECT_EQ(frames(), std::vector<std::string>{});
    EXPECT_EQ(virtualScanner().flashByte(1, 0x80000), 'O');
    // What is wrong with the file, then the failure.
    const auto shown = boxes();
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_EQ(shown[0].text, "The firmware file has a bad record in line 2.");
    EXPECT_EQ(shown[2].text, "The firmware file cannot be read.");
    for (const std::size_t i : {1u, 3u}) {
        EXPECT_EQ(shown[i].text, "Failure Loading");
        EXPECT_EQ(shown[i].caption, "Firm Load");
    }
    const std::string log = surroundings.log();
    EXPECT_EQ(occurrences(log, "Failure Loading\r\n"), 2u);
    EXPECT_EQ(occurrences(log, "bad record in line 2.\r\n"), 1u);
}

TEST_F(ProcessorDialogTest, CompareDifferenceFailsTheRunWithoutFinishing) {
    std::string processors = kKiruna;
    processors.insert(processors.find("[Processor2]"), "CorruptReadAt=0x80105\n");
    open("SX-4600C", processors);
    const Outcome outcome = run(6, image({{0x80000, 0x1000}}),
                                [](CProcessorFirmLoadDialog& d) { d.finishOnClose = true; });
    EXPECT_EQ(outcome.code, 2);
    EXPECT_FALSE(outcome.completed);
    EXPECT_EQ(sent("datawrite"), 586u);
    EXPECT_EQ(sent("dataread"), 3u) << "the third piece holds the difference";
    EXPECT_EQ(sent("finish"), 0u);
    EXPECT_EQ(virtualScanner().reportedVersion(1), "5");
    const auto shown = boxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_THAT(shown[0].text, HasSubstr("Data Compare Error"));
    EXPECT_THAT(shown[0].text, HasSubstr("0x00080105"));
    EXPECT_EQ(shown[0].caption, "refirm");
}

TEST_F(ProcessorDialogTest, FinishComesOnlyWhenAskedFor) {
    open("SX-4600C", kKiruna);
    const std::string path = image({{0x80000, 0x100}});
    CMainDrvCpuFirmLoadDialog dialog(scanner);
    dialog.silent = true;
    dialog.newVersion = 6;
    dialog.firmwarePath = path;
    ASSERT_EQ(dialog.DoModal(), 1);
    EXPECT_EQ(sent("finish"), 0u);
    EXPECT_EQ(virtualScanner().reportedVersion(1), "5");
    EXPECT_TRUE(dialog.finish());
    EXPECT_EQ(sent("finish"), 1u);
    EXPECT_EQ(virtualScanner().reportedVersion(1), "6");

    // The remembered setting does what finishOnClose does.
    platform::WriteProfileInt("Upgrading firmware", "AutoReset", 1);
    clearTrace("scanner");
    EXPECT_EQ(run(7, path).code, 1);
    EXPECT_EQ(frames().back(), frame("finish", "FE 00 80 21", 2, "none", 0));
}

TEST_F(ProcessorDialogTest, SessionThatCannotBeClosedIsNoCompletedUpgrade) {
    open("SX-4600C", kKiruna, "[Fault1]\nCommand=finish\nSense=3/80/01\n");
    const Outcome outcome = run(6, image({{0x80000, 0x100}}),
                                [](CProcessorFirmLoadDialog& d) { d.finishOnClose = true; });
    EXPECT_EQ(outcome.code, 1);
    EXPECT_FALSE(outcome.completed);
    EXPECT_EQ(sent("finish"), 1u);
    EXPECT_EQ(virtualScanner().reportedVersion(1), "5");
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].caption, "refirm");
}

TEST_F(ProcessorDialogTest, AuthenticationOffTheSX470MWritesAndReadsNothing) {
    const std::string processors = "[Processor0]\nName=MAIN\n"
                                   "[Processor1]\nName=MAIN DRIVE\n"
                                   "[Processor2]\nName=SUB FAKESENS\nVersion=3\n"
                                   "Access=Send\nDataType=0xA2\n";
    open("SX-4600C", processors);
    const Outcome outcome = run(
        4, image({{0x8000, 0x1000}}), [](CProcessorFirmLoadDialog& d) { d.finishOnClose = true; },
        make<CAuthCpuFirmLoadDialog>);
    EXPECT_EQ(outcome.code, 1);
    EXPECT_EQ(frames(), std::vector<std::string>{});
    EXPECT_EQ(virtualScanner().flashByte(2, 0x8000), 'O');
}

TEST_F(ProcessorDialogTest, AuthenticationNeedsTheMainProcessorByItsName) {
    open("SX-470M", "[Processor0]\nName=MAIN CONTROLLER\n"
                    "[Processor1]\nName=SUB DFD\nAccess=Send\nDataType=0xA3\n"
                    "[Processor2]\nName=SUB FAKESENS\nVersion=3\nAccess=Send\nDataType=0xA2\n");
    const Outcome outcome = run(4, image({{0x8000, 0x1000}}), {}, make<CAuthCpuFirmLoadDialog>);
    EXPECT_EQ(outcome.code, 2);
    EXPECT_TRUE(outcome.alreadyUpToDate);
    EXPECT_EQ(frames(), std::vector<std::string>{});
}

TEST_F(ProcessorDialogTest, SubDriveOnAModelWithoutOneAsksNothingAndFailsLoading) {
    open("SX-2300C", kKiruna);
    const Outcome outcome = run(4, image({{0x80000, 0x1000}}), {}, make<CSubDrvCpuFirmLoadDialog>);
    EXPECT_EQ(outcome.code, 2);
    EXPECT_FALSE(outcome.completed);
    EXPECT_EQ(trace("scanner"), std::vector<std::string>{});
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].text, "Failure Loading");
}

// --- Confirmations ---

TEST_F(ProcessorDialogTest, DecliningEitherConfirmationStartsNothing) {
    open("SX-4600C", kKiruna);
    const std::string path = image({{0x80000, 0x100}});
    surroundings.frontEnd->addAnswer("no");
    EXPECT_EQ(run(6, path, asking).code, 2);
    EXPECT_EQ(boxes().size(), 1u);
    surroundings.frontEnd->addAnswer("yes");
    surroundings.frontEnd->addAnswer("no");
    EXPECT_EQ(run(6, path, asking).code, 2);
    EXPECT_EQ(sent("start"), 0u);

    const auto shown = boxes();
    ASSERT_EQ(shown.size(), 3u);
    for (const auto& box : shown) {
        EXPECT_EQ(box.caption, "Warning");
        EXPECT_EQ(box.type,
                  platform::MB_YESNO | platform::MB_ICONEXCLAMATION | platform::MB_DEFBUTTON2);
    }
    EXPECT_THAT(shown[0].text, StartsWith("Are you sure"));
    EXPECT_THAT(shown[2].text, StartsWith("<Cautions for upgrade>\n"));
}

TEST_F(ProcessorDialogTest, AutomaticRunsOfTheDriveModelsNameTheProcessor) {
    open("SX-4600C", kKiruna);
    const std::string path = image({{0x80000, 0x100}});
    for (const char* answer : {"yes", "yes", "yes", "no"})
        surroundings.frontEnd->addAnswer(answer);
    CMainDrvCpuFirmLoadDialog dialog(scanner);
    dialog.firmwarePath = path;
    askingAutomatic(dialog);
    EXPECT_EQ(dialog.DoModal(), 1);
    EXPECT_THAT(dialog.GetDlgItemTextA(firm_load::kNotice),
                StartsWith("Upgrading Main Drive Cpu firmware\n\n"));
    EXPECT_EQ(run(6, path, asking).code, 2);

    const auto shown = boxes();
    ASSERT_EQ(shown.size(), 4u);
    const std::string versions = "\nCurrent Version : 5\nNew Version : Unknown\n\n\n";
    EXPECT_THAT(shown[0].text, StartsWith("Are you sure that you update the \"KORVA   SX-4600C\" "
                                          "scanner Main Drive Cpu firmware?" +
                                          versions));
    EXPECT_THAT(
        shown[2].text,
        StartsWith("Are you sure that you update the \"KORVA   SX-4600C\" scanner firmware?" +
                   versions));
}

TEST_F(ProcessorDialogTest, OtherModelsAreNotNamedInAutomaticRuns) {
    open("SX-2300C", "[Processor1]\nName=MAIN DRIVE\n"); // reporting version 0
    surroundings.frontEnd->addAnswer("no");
    EXPECT_EQ(run(6, image({{0x80000, 0x100}}),
                  [](CProcessorFirmLoadDialog& d) {
                      d.silent = false;
                      d.automatic = true;
                  })
                  .code,
              2);
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_THAT(boxes()[0].text, StartsWith("Are you sure that you update the \"KORVA   SX-2300C\" "
                                            "scanner firmware?\nCurrent Version : Unknown\n"
                                            "New Version : 6\n"));
}
