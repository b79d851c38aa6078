#include "firmware/firmware_description.h"

#include "device/scanner_fixture.h"
#include "support/settings_sandbox.h"

#include <algorithm>
#include <cstdio>

using testing_support::writeFile;

namespace {

using States = std::vector<std::int32_t>;

// The keys of a section that the scanner is asked about by version; the start
// address lies inside the main flash of every model used here.
std::string offer(int n, const std::string& version, const std::string& name, int versionIndex) {
    const std::string s = n == 0 ? "" : std::to_string(n);
    char start[16];
    std::snprintf(start, sizeof start, "0x%X", 0x10000000u + 0x10000u * static_cast<unsigned>(n));
    return "NewFirmwareVersion" + s + "=" + version + "\nSection" + s + ".Name=" + name +
           "\nSection" + s + ".Version=" + version + "\nSection" + s +
           ".VersionIndex=" + std::to_string(versionIndex) + "\nSection" + s + ".Start=" + start +
           "\nSection" + s + ".Size=0x100\n";
}

std::string processors(const std::vector<std::pair<std::string, std::string>>& list) {
    std::string text;
    for (std::size_t i = 0; i < list.size(); ++i)
        text += "[Processor" + std::to_string(i) + "]\nName=" + list[i].first +
                "\nVersion=" + list[i].second + "\n";
    return text;
}

} // namespace

class FirmwareDescriptionTest : public ScannerFixture {
protected:
    void open(const std::string& product, const std::string& revision,
              const std::string& scannerKeys = "", const std::string& sections = "") {
        if (simulation_) {
            scanner.close();
            simulation_.reset();
        }
        clearTrace("scanner");
        attach({profile("scanner",
                        "Product=" + product + "\nRevision=" + revision + "\n" + scannerKeys,
                        sections)});
        scanner.quietErrors = 1;
        ASSERT_EQ(scanner.openWith({"STI\\KORVA " + product + " USB"}), 1);
    }

    void settings(const std::string& keys) { writeFile(box.exeIni(), "[refirm]\n" + keys); }

    int decide(int force = 0) {
        table = {};
        table.force = force;
        return NeedsUpgrade(scanner, table);
    }

    States states() const {
        States list;
        for (const FirmwareSection& section : table.sections)
            list.push_back(section.state);
        list.erase(std::find_if(list.rbegin(), list.rend(), [](int s) { return s != 0; }).base(),
                   list.end());
        return list;
    }

    // The scanner's checksum of a flash range, summed here from its bytes.
    std::uint32_t sumOf(std::uint32_t start, std::uint32_t size) {
        std::uint32_t sum = 0;
        for (std::uint32_t a = start; a < start + size; ++a)
            sum += virtualScanner().flashByte(0, a);
        return sum;
    }

    std::string checksumKey(int n, std::uint32_t value) {
        char text[32];
        std::snprintf(text, sizeof text, "0x%08X", value);
        return (n == 0 ? std::string("CheckSum") : "CheckSum" + std::to_string(n)) + "=" + text +
               "\n";
    }

    bool anyChecksumSent() {
        const auto lines = trace("scanner");
        return std::any_of(lines.begin(), lines.end(),
                           [](const std::string& l) { return l.rfind("checksum", 0) == 0; });
    }

    testing_support::SettingsSandbox box;
    FirmwareSections table;
};

TEST_F(FirmwareDescriptionTest, SimpleFormComparesTheVersionTexts) {
    struct Case {
        const char* product;
        const char* revision;
        const char* offered;
        int force;
        const char* scannerKeys;
        int expected;
    };
    for (const Case& c : {
             Case{"SX-4600C", "2.10", "2.20", 0, "", 1},
             Case{"SX-4600C", "2.20", "2.20", 0, "", 0},
             Case{"SX-4600C", "2.20", "2.20", 1, "", 0},
             Case{"SX-4600C", "2.30", "2.20", 0, "", 0},
             Case{"SX-4600C", "2.30", "2.20", 1, "", 1},
             Case{"SX-4600C", "2.20", "2.2", 1, "", 1},
             Case{"SX-4600C", "10.0", "9.0", 0, "", 1}, // textual: "10.0" < "9.0"
             Case{"SX-4600C", "9.00", "10.0", 0, "", 0},
             Case{"SX-4600C", "B001", "A000", 0, "", 1},
             Case{"SX-4600C", "2.20", "2.20", 0, "VendorPage=0\n", 1}, // legacy device
             Case{"SX-1300C", "1.05", "2.00", 0, "", 0},               // offered nothing
             Case{"SX-1300C", "1.05", "2.00", 1, "", 1},
             Case{"SX-1300C", "2.01", "2.00", 0, "", 0},
             Case{"SX-1300C", "2.01", "2.02", 0, "", 1},
         }) {
        SCOPED_TRACE(std::string(c.product) + " " + c.revision + " " + c.offered +
                     (c.force ? " force" : ""));
        settings(std::string("NewFirmwareVersion=") + c.offered + "\nUnionMot=False\n");
        open(c.product, c.revision, c.scannerKeys);
        EXPECT_EQ(decide(c.force), c.expected);
        EXPECT_EQ(table.sectionsInUse, 0);
        EXPECT_EQ(table.prepareBeforeWriting, 1);
    }

    // No version at all: the identification processor did not answer.
    settings("NewFirmwareVersion=2.20\n");
    scanner.identityProcessor = 1;
    open("SX-4600C", "2.20");
    ASSERT_EQ(scanner.versionString, "");
    EXPECT_EQ(decide(), 1);
}

TEST_F(FirmwareDescriptionTest, OfferedVersionAndUnionMotPreferTheExecutableDirectory) {
    open("SX-4600C", "2.10");
    writeFile(box.exeIni(), "[refirm]\nNewFirmwareVersion=exe\nUnionMot=False\n");
    writeFile(box.cwdIni(), "[REFIRM]\nNewFirmwareVersion=cwd\nUnionMot=True\n");
    EXPECT_EQ(OfferedVersion(scanner), "exe");
    EXPECT_FALSE(SectionedForm());

    // An empty value counts as absent; the boolean is read from the file that
    // had the value.
    writeFile(box.exeIni(), "[refirm]\nNewFirmwareVersion=\nUnionMot=\n");
    EXPECT_EQ(OfferedVersion(scanner), "cwd");
    EXPECT_TRUE(SectionedForm());

    writeFile(box.cwdIni(), "[refirm]\nNewFirmwareVersion=" + std::string(40, '7') + "\n");
    EXPECT_EQ(OfferedVersion(scanner), std::string(31, '7'));
    EXPECT_FALSE(SectionedForm());

    writeFile(box.exeIni(), "[refirm]\nUnionMot=1\n");
    EXPECT_TRUE(SectionedForm());
}

TEST_F(FirmwareDescriptionTest, SectionZeroByVersionTheOthersWhereTheirChecksumIsGiven) {
    open("SX-4600C", "1.20");
    const std::uint32_t s1 = 0x10010000, s3 = 0x10030000;
    // Section keys other than the two above let the current directory win.
    writeFile(box.cwdIni(), "[refirm]\nSection1.Size=0x300\n");
    settings("UnionMot=True\n" + offer(0, "1.30", "Main", 0) +
             "Section1.Name=Data\nSection1.Version=D1\nSection1.Start=0x10010000\n"
             "Section1.Size=0x100\n" +
             checksumKey(1, sumOf(s1, 0x300)) +
             "Section2.Name=Idle\nSection2.Version=I1\nSection2.Size=0x100\n"
             "Section3.Name=Table\nSection3.Version=T1\nSection3.Start=0x10030000\n"
             "Section3.Size=0x100\n" +
             checksumKey(3, sumOf(s3, 0x100) + 1));
    EXPECT_EQ(decide(), 1);
    EXPECT_EQ(states(), (States{2, 1, 0, 2}));
    EXPECT_EQ(table.sectionsInUse, 1);
    EXPECT_EQ(table.prepareBeforeWriting, 0);
    EXPECT_EQ(table.sections[0].name, "Main");
    EXPECT_EQ(table.sections[1].version, "D1");
    EXPECT_EQ(table.sections[1].start, s1);
    EXPECT_EQ(table.sections[1].size, 0x300);
}

TEST_F(FirmwareDescriptionTest, ChecksumDecidesASectionThatAlsoHasAVersion) {
    open("SX-4600C", "1.20", "", processors({{"MAIN CONTROLLER", "1.20"}, {"MAIN DRIVE", "5"}}));
    settings("UnionMot=True\n" + offer(0, "1.30", "Main", 0) +
             checksumKey(0, sumOf(0x10000000, 0x100)) + offer(1, "5", "Drive", 0) +
             checksumKey(1, sumOf(0x10010000, 0x100) ^ 1));
    EXPECT_EQ(decide(), 1);
    EXPECT_EQ(states(), (States{1, 2}));

    // A scanner that cannot sum the range gets the section written.
    open("SX-4600C", "1.20", "",
         processors({{"MAIN CONTROLLER", "1.20"}, {"MAIN DRIVE", "5"}}) +
             "[Fault1]\nCommand=checksumread\nCount=0\nSense=5/24/00\n");
    EXPECT_EQ(decide(), 1);
    EXPECT_EQ(states(), (States{2, 2}));
}

TEST_F(FirmwareDescriptionTest, IncompleteSectionOrSilentProcessorEndsTheTable) {
    open("SX-4600C", "1.20");
    const std::string after = checksumKey(2, 0) + "Section2.Name=N\nSection2.Version=V\n"
                                                  "Section2.Size=0x10\n";
    const std::string full = offer(1, "1.0", "Drive", 1);
    const auto without = [&](const std::string& from, const std::string& to) {
        return full.substr(0, full.find(from)) + full.substr(full.find(to));
    };
    for (const std::string& section1 : {
             without("Section1.Name", "Section1.Version"),
             without("Section1.Version", "Section1.VersionIndex"),
             full.substr(0, full.find("Section1.Size")) + "Section1.Size=0\n",
             full + checksumKey(1, 0), // there is no processor 1 to ask
             checksumKey(1, 0) + "Section1.Name=Data\nSection1.Version=D1\n",
         }) {
        SCOPED_TRACE(section1);
        settings("UnionMot=True\n" + offer(0, "1.30", "Main", 0) + section1 + after);
        EXPECT_EQ(decide(), 1);
        EXPECT_EQ(states(), States{2});
    }
}

TEST_F(FirmwareDescriptionTest, DorianModelsCompareNumbersAndKnowTheSubFirmware) {
    open("SX-105", "2.10", "",
         processors({{"MAIN CONTROLLER", "2.10"},
                     {"MCONLOAD A", "100"},
                     {"SUBCPU", "90"},
                     {"SUBCPU", "9.5"},
                     {"MCONLOAD B", "80"}}));
    settings("UnionMot=True\n" + offer(0, "2.20", "Main", 0) +
             offer(1, "100", "VE Sub Firmware", 1) + offer(2, "95", "VE Sub Firmware", 2) +
             offer(3, "80", "Sub Firmware", 2) + offer(4, "10.0", "Other", 3) +
             offer(5, "2.1", "Other", 0) + offer(6, "2.05", "Other", 0) +
             offer(7, "70", "VE Sub Firmware", 4));
    EXPECT_EQ(decide(0), 1);
    EXPECT_EQ(states(), (States{2, 2, 1, 1, 2, 1, 1, 1}));
    EXPECT_EQ(table.prepareBeforeWriting, 1);
    EXPECT_EQ(decide(1), 1);
    EXPECT_EQ(states(), (States{2, 2, 1, 2, 2, 1, 2, 1}));
    EXPECT_EQ(table.prepareBeforeWriting, 1);

    // Section 0 prepares only when its version comparison asks for writing and
    // the name rules leave it so.
    for (const std::string& section0 :
         {offer(0, "2.10", "Main", 0), offer(0, "100", "VE Sub Firmware", 1),
          offer(0, "95", "VE Sub Firmware", 2)}) {
        SCOPED_TRACE(section0);
        settings("UnionMot=True\n" + section0);
        decide();
        EXPECT_EQ(table.prepareBeforeWriting, 0);
    }
}

TEST_F(FirmwareDescriptionTest, DorianLoaderWritesOnlyTheSubFirmwareOfItsGeneration) {
    open("SX-105", "2.10", "", processors({{"LOAD", "1"}, {"SUBCPU", "100"}, {"SUBCPU", "90"}}));
    settings("UnionMot=True\n" + offer(0, "1", "VE Sub Firmware", 1) +
             offer(1, "1", "VE Sub Firmware", 2) + offer(2, "1", "Sub Firmware", 2) +
             offer(3, "1", "Sub Firmware", 1) + offer(4, "999", "Other", 1) + checksumKey(5, 0) +
             "Section5.Name=C\nSection5.Version=C1\nSection5.Size=0x10\n");
    EXPECT_EQ(decide(), 1);
    EXPECT_EQ(states(), (States{2, 0, 2, 0, 2, 2}));
    EXPECT_EQ(table.prepareBeforeWriting, 0);
    EXPECT_FALSE(anyChecksumSent());
}

TEST_F(FirmwareDescriptionTest, YewModelsCompareTextsAndKnowTheLoaderProcessor) {
    open("SX-T18", "1.20", "",
         processors({{"MAIN CONTROLLER", "1.20"}, {"MCONLOAD", "0100"}, {"SUBCPU", "9.0"}}));
    settings("UnionMot=True\n" + offer(0, "1.30", "Main", 0) + offer(1, "10.0", "Other", 2) +
             offer(2, "0100", "Sub Firmware", 1) + offer(3, "0050", "VE Sub Firmware", 1) +
             offer(4, "0100", "Other", 1) + offer(5, "9.0", "VE Sub Firmware", 2) +
             offer(6, "1.2", "Other", 0));
    EXPECT_EQ(decide(0), 1);
    EXPECT_EQ(states(), (States{2, 1, 2, 2, 1, 1, 1}));
    EXPECT_EQ(table.prepareBeforeWriting, 1);
    EXPECT_EQ(decide(1), 1);
    EXPECT_EQ(states(), (States{2, 2, 2, 2, 1, 1, 2}));

    settings("UnionMot=True\n" + offer(0, "1.20", "Main", 0));
    EXPECT_EQ(decide(), 0);
    EXPECT_EQ(table.prepareBeforeWriting, 0);

    open("SX-T18", "1.20", "", processors({{"LOAD", "9"}, {"SUBCPU", "9.0"}}));
    settings("UnionMot=True\n" + offer(0, "0.1", "Main", 0) + offer(1, "0.1", "Other", 1));
    EXPECT_EQ(decide(), 1);
    EXPECT_EQ(states(), (States{2, 2}));
    EXPECT_EQ(table.prepareBeforeWriting, 0);
}

TEST_F(FirmwareDescriptionTest, OtherModelsAskBySectionNumber) {
    // Every ".VersionIndex" names a processor the scanner does not have.
    open("SX-4600C", "1.20", "",
         processors({{"MAIN CONTROLLER", "1.20"},
                     {"MAIN DRIVE", "9.5"},
                     {"SUB DRIVE", "3.00"},
                     {"X", "4.0"}}));
    settings("UnionMot=True\n" + offer(0, "1.30", "Main", 7) + offer(1, "10.0", "Drive", 7) +
             offer(2, "3", "Sub", 7) + offer(3, "3.5", "X", 7));
    EXPECT_EQ(decide(0), 1);
    EXPECT_EQ(states(), (States{2, 2, 1, 1}));
    EXPECT_EQ(table.prepareBeforeWriting, 0);
    EXPECT_EQ(decide(1), 1);
    EXPECT_EQ(states(), (States{2, 2, 1, 2}));

    open("SX-4600C", "1.20", "", processors({{"LOAD", "9"}, {"MAIN DRIVE", "9.5"}}));
    settings("UnionMot=True\n" + offer(0, "0.1", "Main", 0) + offer(1, "0.1", "Drive", 0) +
             checksumKey(2, 0) + "Section2.Name=C\nSection2.Version=C1\nSection2.Size=0x10\n" +
             // There is no processor 3: the table ends in loader mode too.
             offer(3, "0.1", "X", 0) + checksumKey(4, 0) +
             "Section4.Name=C\nSection4.Version=C1\nSection4.Size=0x10\n");
    EXPECT_EQ(decide(), 1);
    EXPECT_EQ(states(), (States{2, 2, 2}));
    EXPECT_FALSE(anyChecksumSent());
}
