// The scanner profiles shipped in examples/scanners: each one loads, and the
// tool would find the scanner it models when given the family code the file
// is named after.
#include "app/family_registry.h"
#include "sim/scanner_profile.h"
#include "support/scratch_dir.h"
#include "support/simulated_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <set>
#include <string>
#include <utility>
#include <vector>

using namespace testing_support;

namespace {

// "KIRUNA.ini" is KIRUNA; "MORVI_aspi.ini" is MORVI; "TAVRIN_SH2.ini" is
// TAVRIN_SH2, not TAVRIN.
const FamilyRow* familyOfFile(const std::string& fileName) {
    const std::string stem = fileName.substr(0, fileName.rfind('.'));
    const FamilyRow* best = nullptr;
    for (const FamilyRow& row : familyTable()) {
        const std::string code(row.code);
        if (stem == code)
            return &row;
        if (stem.starts_with(code + "_") && (!best || best->code.size() < code.size()))
            best = &row;
    }
    return best;
}

std::string padded(std::string text, std::size_t width) {
    text.resize(std::max(text.size(), width), ' ');
    return text;
}

// As the transports compare: an STI identifier with the friendly name (here:
// the whole name), an ASPI one with the INQUIRY vendor and product fields over
// the identifier's length.
bool identifies(const std::string& identifier, const sim::ScannerProfile& profile) {
    if (identifier.starts_with("STI\\"))
        return profile.transport == sim::Transport::Sti &&
               profile.localName == identifier.substr(4);
    if (identifier.starts_with("ASPI\\")) {
        const std::string rest = identifier.substr(5);
        const std::string fields = padded(profile.vendor, 8) + padded(profile.product, 16);
        return profile.transport == sim::Transport::Aspi &&
               fields.compare(0, rest.size(), rest) == 0;
    }
    return false;
}

bool isDecimal(const std::string& text) {
    return !text.empty() && text.size() <= 8 && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) != 0;
    });
}

const sim::ProcessorProfile* processor(const sim::ScannerProfile& profile, unsigned index) {
    for (const auto& p : profile.processors)
        if (p.index == index)
            return &p;
    return nullptr;
}

struct Loaded {
    std::string file;
    sim::ScannerProfile profile;
};

std::vector<Loaded> loadAll() {
    std::vector<Loaded> all;
    for (const std::string& name : exampleProfileNames())
        all.push_back({name, sim::LoadScannerProfile(exampleProfilePath(name))});
    return all;
}

sim::ScannerProfile loadExample(const std::string& file) {
    return sim::LoadScannerProfile(exampleProfilePath(file));
}

TEST(ExampleProfiles, EveryFamilyCodeHasItsProfile) {
    for (const FamilyRow& row : familyTable())
        EXPECT_TRUE(fileExists(exampleProfilePath(std::string(row.code) + ".ini"))) << row.code;
}

TEST(ExampleProfiles, EachLoadsAndIsFoundByItsFamily) {
    const std::vector<std::string> names = exampleProfileNames();
    ASSERT_GE(names.size(), familyTable().size());
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const FamilyRow* family = familyOfFile(name);
        ASSERT_NE(family, nullptr) << "the file name names no family code";
        sim::ScannerProfile profile;
        ASSERT_NO_THROW(profile = sim::LoadScannerProfile(exampleProfilePath(name)));

        const std::vector<std::string> ids = familyIdentifiers(family->key);
        EXPECT_TRUE(std::any_of(ids.begin(), ids.end(),
                                [&](const std::string& id) { return identifies(id, profile); }))
            << "no identifier of " << family->code << " finds " << profile.vendor << " "
            << profile.product;

        EXPECT_EQ(profile.revision.size(), 4u);
        // The tool compares versions as text: the upgrade must compare later.
        EXPECT_GT(profile.upgradedRevision, profile.revision);
        for (const auto& p : profile.processors) {
            if (p.index == 0)
                continue;
            SCOPED_TRACE("processor " + std::to_string(p.index));
            EXPECT_TRUE(isDecimal(p.version)) << p.version;
            EXPECT_TRUE(isDecimal(p.upgradedVersion)) << p.upgradedVersion;
            if (isDecimal(p.version) && isDecimal(p.upgradedVersion)) {
                EXPECT_GT(std::atoi(p.upgradedVersion.c_str()), std::atoi(p.version.c_str()));
            }
            EXPECT_TRUE(p.flashDump.empty());
        }
        // Output files belong to whoever runs a profile, never to the example.
        EXPECT_TRUE(profile.trace.empty());
        EXPECT_TRUE(profile.flashDump.empty());
        EXPECT_TRUE(profile.stateFile.empty());
    }
}

TEST(ExampleProfiles, UnionUpdateFamiliesCarryBothDriveProcessors) {
    for (const std::string file : {"KIRUNA.ini", "LYNX.ini"}) {
        SCOPED_TRACE(file);
        const sim::ScannerProfile profile = loadExample(file);
        ASSERT_EQ(profile.processors.size(), 3u);
        EXPECT_EQ(processor(profile, 0)->name, "MAIN CONTROLLER");
        const sim::ProcessorProfile* mainDrive = processor(profile, 1);
        const sim::ProcessorProfile* subDrive = processor(profile, 2);
        ASSERT_TRUE(mainDrive && subDrive);
        EXPECT_EQ(mainDrive->name, "MAIN DRIVE");
        EXPECT_EQ(mainDrive->access, sim::ProcessorProfile::Access::Vendor);
        EXPECT_EQ(mainDrive->subCommandBase, 0x01);
        EXPECT_EQ(subDrive->name, "SUB DRIVE");
        EXPECT_EQ(subDrive->access, sim::ProcessorProfile::Access::Vendor);
        EXPECT_EQ(subDrive->subCommandBase, 0x11);
    }
}

TEST(ExampleProfiles, LumikaCarriesSubDriveAndAuthenticationProcessors) {
    const sim::ScannerProfile profile = loadExample("LUMIKA.ini");
    EXPECT_EQ(profile.product, "SX-470M");
    ASSERT_EQ(profile.processors.size(), 3u);
    EXPECT_EQ(processor(profile, 0)->name, "MAIN");
    const sim::ProcessorProfile* subDrive = processor(profile, 1);
    const sim::ProcessorProfile* auth = processor(profile, 2);
    ASSERT_TRUE(subDrive && auth);
    EXPECT_EQ(subDrive->name, "SUB DFD");
    EXPECT_EQ(subDrive->access, sim::ProcessorProfile::Access::Send);
    EXPECT_EQ(subDrive->dataType, 0xA3);
    EXPECT_EQ(subDrive->subCommandBase, 0x01);
    EXPECT_EQ(auth->name, "SUB FAKESENS");
    EXPECT_EQ(auth->access, sim::ProcessorProfile::Access::Send);
    EXPECT_EQ(auth->dataType, 0xA2);
    EXPECT_EQ(auth->subCommandBase, 0x01);
}

TEST(ExampleProfiles, TavrinSh2IdentifiesThroughProcessorOne) {
    const sim::ScannerProfile profile = loadExample("TAVRIN_SH2.ini");
    const sim::ProcessorProfile* sh2 = processor(profile, 1);
    ASSERT_NE(sh2, nullptr);
    EXPECT_FALSE(sh2->name.empty());
}

TEST(ExampleProfiles, CoverEveryTransportAndKeepAspiPositionsApart) {
    const std::vector<Loaded> all = loadAll();
    std::size_t stiUsb = 0, stiScsi = 0;
    std::set<std::pair<int, int>> aspiPositions;
    for (const Loaded& loaded : all) {
        const sim::ScannerProfile& p = loaded.profile;
        if (p.transport == sim::Transport::Aspi) {
            EXPECT_TRUE(aspiPositions.insert({p.adapter, p.target}).second)
                << loaded.file << " shares its ASPI position";
        } else {
            (p.bus == "SCSI" ? stiScsi : stiUsb) += 1;
        }
    }
    EXPECT_GE(stiScsi, 1u);
    EXPECT_GE(aspiPositions.size(), 2u);
    EXPECT_GT(stiUsb, stiScsi + aspiPositions.size()); // mostly USB, as in the field
}

} // namespace
