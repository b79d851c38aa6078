#include "app/family_registry.h"
#include "sim/erase_geometry.h"
#include "sim/scanner_profile.h"
#include "support/simulated_run.h"
#include "support/srecord_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>

using namespace testing_support;

namespace {

using Range = ImageRange;

std::uint8_t mainImageByte(std::uint32_t address) {
    return static_cast<std::uint8_t>((address >> 8) * 31 + address * 7 + 1);
}

std::string image(const std::vector<Range>& ranges) {
    return SRecordImage(ranges, mainImageByte);
}

// Two pieces of the product's flash: the start of its first block and a
// stretch inside its third (or last) block.
std::vector<Range> imageRangesFor(const std::string& product) {
    const auto blocks = sim::StandardEraseBlocks(product);
    const auto& first = blocks.front();
    const auto& other = blocks[std::min<std::size_t>(2, blocks.size() - 1)];
    return {{first.start, std::min<std::uint32_t>(3000, first.size)},
            {other.start + 100, std::min<std::uint32_t>(700, other.size - 100)}};
}

// Every byte of the blocks the image touches is the image's, or 0xFF.
void expectImageLaidOver(const FlashContent& dump, const std::string& product,
                         const std::vector<Range>& ranges) {
    std::set<std::uint32_t> imageAddresses;
    for (const Range& range : ranges)
        for (std::uint32_t a = range.start; a < range.start + range.length; ++a)
            imageAddresses.insert(a);
    for (const auto& block : sim::StandardEraseBlocks(product)) {
        const bool touched = imageAddresses.lower_bound(block.start) != imageAddresses.end() &&
                             *imageAddresses.lower_bound(block.start) < block.start + block.size;
        if (!touched)
            continue;
        int wrong = 0;
        for (std::uint32_t a = block.start; a < block.start + block.size; ++a) {
            const std::uint8_t expected = imageAddresses.count(a) ? mainImageByte(a) : 0xFF;
            if (dump.at(a) != expected && ++wrong <= 3)
                ADD_FAILURE() << product << " at 0x" << std::hex << a << ": 0x" << int(dump.at(a))
                              << " instead of 0x" << int(expected);
        }
    }
}

bool ordinaryPath(const FamilyRow& row) {
    return row.properties.upgradePath == UpgradePath::Ordinary;
}

} // namespace

TEST(MainUpgrade, EveryOrdinaryFamilyIsUpgradedSilently) {
    for (const FamilyRow& row : familyTable()) {
        if (!ordinaryPath(row))
            continue;
        const std::string code(row.code);
        SCOPED_TRACE(code);
        const sim::ScannerProfile profile =
            sim::LoadScannerProfile(exampleProfilePath(code + ".ini"));
        SimulatedRun run;
        run.addExampleProfile(code + ".ini");
        run.writeSettings({{"NewFirmwareVersion", "ZZZZ"}});
        const auto ranges = imageRangesFor(profile.product);
        run.writeWorkFile("image.mot", image(ranges));
        run.run({"image.mot", code, "silent_w_err"});
        const std::string log = run.log();
        if (code == "QUILL" || code == "ZT") {
            // No firmware erase is known for these models.
            EXPECT_NE(log.find("Unknown Error"), std::string::npos) << log;
            EXPECT_NE(log.find("Firmware upgrade failed."), std::string::npos) << log;
            continue;
        }
        EXPECT_NE(log.find("Firmware upgrade completed."), std::string::npos) << log;
        EXPECT_EQ(log.find("failed"), std::string::npos) << log;
        expectImageLaidOver(run.flashDump(0), profile.product, ranges);
    }
}

TEST(MainUpgrade, SectionedFormSkipsTheFirstEraseOfModelsWithoutOne) {
    for (const std::string code : {"QUILL", "ZT"}) {
        SCOPED_TRACE(code);
        const sim::ScannerProfile profile =
            sim::LoadScannerProfile(exampleProfilePath(code + ".ini"));
        SimulatedRun run;
        run.addExampleProfile(code + ".ini");
        const auto ranges = imageRangesFor(profile.product);
        char start[16], size[16];
        std::snprintf(start, sizeof start, "0x%X", ranges[0].start);
        std::snprintf(size, sizeof size, "0x%X", 0x10000);
        run.writeSettings({{"NewFirmwareVersion", "9.99"},
                           {"UnionMot", "True"},
                           {"Section.Name", "Main Firmware"},
                           {"Section.Version", "9.99"},
                           {"Section.Start", start},
                           {"Section.Size", size}});
        run.writeWorkFile("image.mot", image(ranges));
        run.run({"image.mot", code, "silent_w_err"});
        EXPECT_NE(run.log().find("Firmware upgrade completed."), std::string::npos) << run.log();
        const auto kinds = run.traceKinds(0);
        EXPECT_EQ(std::count(kinds.begin(), kinds.end(), "erase"), 0);
    }
}

TEST(MainUpgrade, SectionsWithoutImageDataLeaveTheFlashAlone) {
    // The image covers the first three blocks; the chosen section lies
    // elsewhere in the flash, so nothing would be written there.
    SimulatedRun run;
    run.addExampleProfile("MORVI.ini");
    run.writeSettings({{"NewFirmwareVersion", "9.99"},
                       {"UnionMot", "True"},
                       {"Section.Name", "Main Firmware"},
                       {"Section.Version", "9.99"},
                       {"Section.Start", "0x80000"},
                       {"Section.Size", "0x10000"}});
    run.writeWorkFile("image.mot", image({{0, 3 * 0x10000}}));
    run.run({"image.mot", "MORVI", "silent_w_err"});
    const std::string log = run.log();
    EXPECT_NE(log.find("The firmware file holds no data for this scanner."), std::string::npos)
        << log;
    EXPECT_NE(log.find("Firmware upgrade failed."), std::string::npos) << log;
    EXPECT_EQ(log.find("completed"), std::string::npos) << log;
    const auto kinds = run.traceKinds(0);
    for (const char* kind : {"erase", "eraseblock", "memwrite"})
        EXPECT_EQ(std::count(kinds.begin(), kinds.end(), kind), 0) << kind;
}
