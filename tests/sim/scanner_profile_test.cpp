#include "sim/erase_geometry.h"
#include "sim/scanner_profile.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

using sim::EraseBlock;
using testing_support::ScratchDir;

namespace {

sim::ScannerProfile loadText(const ScratchDir& dir, const std::string& text) {
    const std::string path = dir.file("scanner.ini");
    testing_support::writeFile(path, text);
    return sim::LoadScannerProfile(path);
}

// The message of the error loading the text gives, or "" when it loads.
std::string loadError(const ScratchDir& dir, const std::string& text) {
    try {
        loadText(dir, text);
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "";
}

const std::string kMinimal = "[Scanner]\nProduct=SX-2300C\nRevision=1.00\n";

} // namespace

TEST(ScannerProfile, MinimalProfileTakesTheDefaults) {
    ScratchDir dir;
    const sim::ScannerProfile p = loadText(dir, kMinimal);
    EXPECT_EQ(p.vendor, "KORVA");
    EXPECT_EQ(p.transport, sim::Transport::Sti);
    EXPECT_EQ(p.bus, "USB");
    EXPECT_EQ(p.localName, "KORVA SX-2300C USB");
    EXPECT_EQ(p.linkValue, 1u);
    // An SX-2300C's download mode is the same device: it stays on the bus.
    EXPECT_FALSE(p.leavesOnUpdateMode);
    EXPECT_EQ(p.leaveTime, 2000u);
    EXPECT_TRUE(p.vendorPage);
    EXPECT_FALSE(p.legacy);
    EXPECT_EQ(p.downloadCode, "KORVATEK FIRMWARE DOWNLOAD V0001");
    EXPECT_EQ(p.downloadProduct, "SX-2300C");
    EXPECT_EQ(p.downloadRevision, "1.00");
    EXPECT_EQ(p.upgradedRevision, "1.00");
    EXPECT_EQ(p.initialContent, "marker");
    EXPECT_EQ(p.firmwareStart, 0u);
    EXPECT_EQ(p.firmwareEnd, 0xFFFFFFFFu);
    EXPECT_FALSE(p.unplugAfter || p.hangAfter || p.neverReturns || p.corruptReadAt);
    ASSERT_EQ(p.processors.size(), 1u);
    EXPECT_EQ(p.processors[0].name, "MAIN CONTROLLER");
    EXPECT_EQ(p.processors[0].version, "1.00");
    EXPECT_EQ(p.flash.size(), 19u);
}

TEST(ScannerProfile, TransportDecidesLinkAndLeaving) {
    ScratchDir dir;
    const auto aspi = loadText(dir, kMinimal + "Transport=aspi\nAdapter=2\nTarget=6\n");
    EXPECT_EQ(aspi.transport, sim::Transport::Aspi);
    EXPECT_EQ(aspi.linkValue, 0u);
    EXPECT_FALSE(aspi.leavesOnUpdateMode);
    EXPECT_EQ(aspi.adapter, 2);
    EXPECT_EQ(aspi.target, 6);

    const auto scsi = loadText(dir, kMinimal + "Bus=SCSI\n");
    EXPECT_EQ(scsi.linkValue, 0u);
    EXPECT_EQ(scsi.localName, "KORVA SX-2300C SCSI");

    const auto linked = loadText(dir, "[Scanner]\nProduct=SX-4700C\nRevision=1.00\nBus=SCSI\n"
                                      "LinkValue=1\n");
    EXPECT_TRUE(linked.leavesOnUpdateMode);
    const auto usb = loadText(dir, "[Scanner]\nProduct=ZEPA\nRevision=1.00\n");
    EXPECT_TRUE(usb.leavesOnUpdateMode);
}

TEST(ScannerProfile, LegacyFollowsProductAndVendorPage) {
    ScratchDir dir;
    EXPECT_TRUE(loadText(dir, "[Scanner]\nProduct=ZEPA\nRevision=2.00\n").legacy);
    EXPECT_TRUE(loadText(dir, kMinimal + "VendorPage=no\n").legacy);
    EXPECT_FALSE(loadText(dir, kMinimal + "VendorPage=no\nLegacy=false\n").legacy);
}

TEST(ScannerProfile, RelativePathsAreTakenFromTheProfileDirectory) {
    ScratchDir dir;
    const auto p =
        loadText(dir, kMinimal + "Trace=trace.txt\nState=/abs/state.txt\nInitialContent=old.s19\n"
                                 "FlashDump=out/main.s19\n[Processor1]\nName=DRIVE\n"
                                 "FlashDump=drive.s19\nInitialContent=Erased\n");
    EXPECT_EQ(p.trace, dir.file("trace.txt"));
    EXPECT_EQ(p.stateFile, "/abs/state.txt");
    EXPECT_EQ(p.initialContent, dir.file("old.s19"));
    EXPECT_EQ(p.flashDump, dir.file("out/main.s19"));
    ASSERT_EQ(p.processors.size(), 2u);
    EXPECT_EQ(p.processors[1].flashDump, dir.file("drive.s19"));
    EXPECT_EQ(p.processors[1].initialContent, "erased");
}

TEST(ScannerProfile, ProcessorsAndFaults) {
    ScratchDir dir;
    const auto p = loadText(dir, kMinimal + "FirmwareArea=0x10000-0xFFFFF\n"
                                            "[Processor0]\nVersion=0141\nUpgradedVersion=0142\n"
                                            "[Processor1]\nName=MAIN DRIVE\nVersion=5\n"
                                            "[Processor2]\nName=SUB DFD\nAccess=Send\n"
                                            "DataType=0xA3\nSubCommandBase=0x11\nZeroReply=1\n"
                                            "[Fault3]\nCommand=MemWrite\nNth=2\nCount=0\n"
                                            "Sense=4/80/04\nDiagnostic=80040001\n"
                                            "[Fault5]\nNth=3\n");
    EXPECT_EQ(p.firmwareStart, 0x10000u);
    EXPECT_EQ(p.firmwareEnd, 0xFFFFFu);
    ASSERT_EQ(p.processors.size(), 3u);
    EXPECT_EQ(p.processors[0].version, "0141");
    EXPECT_EQ(p.processors[0].upgradedVersion, "0142");
    EXPECT_EQ(p.processors[1].access, sim::ProcessorProfile::Access::Vendor);
    EXPECT_EQ(p.processors[1].flash.front().start, 0x80000u);
    EXPECT_EQ(p.processors[1].flash.size(), 7u);
    EXPECT_EQ(p.processors[2].index, 2u);
    EXPECT_EQ(p.processors[2].access, sim::ProcessorProfile::Access::Send);
    EXPECT_EQ(p.processors[2].dataType, 0xA3);
    EXPECT_EQ(p.processors[2].subCommandBase, 0x11);
    EXPECT_TRUE(p.processors[2].zeroReply);
    EXPECT_EQ(p.processors[2].flash.front().start, 0x8000u);
    // [Fault5] has no Command, so it is no fault.
    ASSERT_EQ(p.faults.size(), 1u);
    EXPECT_EQ(p.faults[0].command, "memwrite");
    EXPECT_EQ(p.faults[0].nth, 2u);
    EXPECT_EQ(p.faults[0].count, 0u);
    EXPECT_EQ(p.faults[0].senseKey, 4);
    EXPECT_EQ(p.faults[0].asc, 0x80);
    EXPECT_EQ(p.faults[0].ascq, 0x04);
    EXPECT_EQ(p.faults[0].diagnostic, 0x80040001u);
}

TEST(ScannerProfile, BadValuesNameFileSectionAndKey) {
    ScratchDir dir;
    struct Case {
        std::string text;
        std::string where;
    };
    const Case cases[] = {
        {"[Scanner]\nRevision=1.00\n", "[Scanner] Product"},
        {"[Scanner]\nProduct=SX-2300C\nRevision=1.0\n", "[Scanner] Revision"},
        {kMinimal + "Transport=USB\n", "[Scanner] Transport"},
        {kMinimal + "LeaveTime=2s\n", "[Scanner] LeaveTime"},
        {kMinimal + "Adapter=7\n", "[Scanner] Adapter"},
        {kMinimal + "NeverReturn=maybe\n", "[Scanner] NeverReturn"},
        {kMinimal + "DownloadCode=SHORT\n", "[Scanner] DownloadCode"},
        {kMinimal + "EraseBlocks=0:0x1000*\n", "[Scanner] EraseBlocks"},
        {kMinimal + "EraseBlocks=0:0x2000,0x1000:0x1000\n", "[Scanner] EraseBlocks"},
        {kMinimal + "FirmwareArea=0x2000-0x1000\n", "[Scanner] FirmwareArea"},
        {kMinimal + "[Processor1]\nName=DRIVE\nAccess=Direct\n", "[Processor1] Access"},
        {kMinimal + "[Processor1]\nName=DRIVE\nAccess=Send\n", "[Processor1] DataType"},
        {kMinimal + "[Processor1]\nName=DRIVE\nVersion=123456789\n", "[Processor1] Version"},
        {kMinimal + "[Processor2]\nName=DRIVE\n", "[Processor2]"},
        {kMinimal + "[Fault1]\nCommand=memwipe\nSense=3/80/01\n", "[Fault1] Command"},
        {kMinimal + "[Fault1]\nCommand=tur\nSense=3-80-01\n", "[Fault1] Sense"},
        {kMinimal + "[Fault1]\nCommand=tur\n", "[Fault1] Sense"},
    };
    for (const Case& c : cases) {
        const std::string error = loadError(dir, c.text);
        EXPECT_NE(error.find(dir.file("scanner.ini")), std::string::npos) << c.text;
        EXPECT_NE(error.find(c.where), std::string::npos) << c.text << " gave: " << error;
    }
    EXPECT_THROW(sim::LoadScannerProfile(dir.file("missing.ini")), std::runtime_error);
}

TEST(EraseGeometry, ParsesRepeatsAndSortsBlocks) {
    const auto blocks = sim::ParseEraseBlocks(" 0x100:0x10*2 , 0:256");
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_EQ(blocks[0].start, 0u);
    EXPECT_EQ(blocks[0].size, 0x100u);
    EXPECT_EQ(blocks[2].start, 0x110u);
    EXPECT_EQ(blocks[2].size, 0x10u);
    // Up to the very last address, but not past it.
    EXPECT_EQ(sim::ParseEraseBlocks("0xFFFF0000:0x10000").size(), 1u);
    EXPECT_THROW(sim::ParseEraseBlocks("0xFFFF0000:0x10000*2"), std::invalid_argument);
    EXPECT_THROW(sim::ParseEraseBlocks("0:0"), std::invalid_argument);
    EXPECT_THROW(sim::ParseEraseBlocks("0x1000"), std::invalid_argument);
}

TEST(EraseGeometry, StandardGeometryByProductPrefix) {
    auto first = [](const std::string& product) {
        return sim::StandardEraseBlocks(product).front();
    };
    // The 4 KiB boot blocks at 0 belong to the first family only.
    EXPECT_EQ(first("ZEPA").size, 0x1000u);
    EXPECT_EQ(sim::StandardEraseBlocks("SX-2700").size(), 31u);
    EXPECT_EQ(sim::StandardEraseBlocks("XR2").back().start, 0x40010000u + 2 * 0x10000u);
    EXPECT_EQ(sim::StandardEraseBlocks("SX-1400C").size(), 12u);
    EXPECT_EQ(first("TAVRIN").start, 0x40000000u);
    EXPECT_EQ(first("Vol-K").start, 0x10000000u);
    EXPECT_EQ(sim::StandardEraseBlocks("SX-V730").size(), 35u);
    // Listed out of order, kept in address order.
    EXPECT_EQ(first("Do-RIAN").start, 0x8000u);
    EXPECT_EQ(sim::StandardEraseBlocks("M-105").size(), 258u);
    EXPECT_EQ(first("RX-610i").start, 0xC0000u);
    EXPECT_EQ(first("SX-H40").start, 0x4000u);
    EXPECT_EQ(sim::StandardEraseBlocks("SX-T18II").size(), 385u);
    EXPECT_EQ(sim::StandardGeometryText("SX-2300C"), sim::StandardGeometryText("LUMIKA"));
    EXPECT_EQ(sim::StandardEraseBlocks("LUMIKA").back().start, 0xFC000u);
}
