#include "app/family_registry.h"
#include "device/sti_proxy.h"
#include "scanner_fixture.h"

#include <algorithm>

namespace {

struct Identifier {
    bool sti = false;
    std::string product; // STI: model; ASPI: product field without trailing blanks
    std::string bus;
};

Identifier parse(const std::string& identifier) {
    Identifier parsed;
    if (identifier.rfind("STI\\KORVA ", 0) == 0) {
        parsed.sti = true;
        const std::string rest = identifier.substr(10);
        const auto blank = rest.rfind(' ');
        parsed.product = rest.substr(0, blank);
        parsed.bus = rest.substr(blank + 1);
    } else {
        parsed.product = identifier.substr(5 + 8);
        while (!parsed.product.empty() && parsed.product.back() == ' ')
            parsed.product.pop_back();
    }
    return parsed;
}

std::vector<std::string> familyCodes() {
    std::vector<std::string> codes;
    for (const FamilyRow& row : familyTable())
        codes.emplace_back(row.code);
    return codes;
}

std::string padded(const std::string& text, std::size_t width) {
    return text + std::string(width - std::min(width, text.size()), ' ');
}

} // namespace

class ScannerOpenTest : public ScannerFixture {
protected:
    void SetUp() override {
        ScannerFixture::SetUp();
        scanner.quietErrors = 1;
    }
};

TEST_F(ScannerOpenTest, EveryFamilyIsFoundOverSti) {
    for (const std::string& code : familyCodes()) {
        SCOPED_TRACE(code);
        const auto identifiers = familyIdentifiers(lookUpFamily(code));
        auto first = std::find_if(identifiers.begin(), identifiers.end(),
                                  [](const std::string& id) { return parse(id).sti; });
        ASSERT_NE(first, identifiers.end());
        const Identifier wanted = parse(*first);
        attach({profile(code, "Product=" + wanted.product + "\nRevision=0123\nBus=" + wanted.bus +
                                  "\n")});
        ASSERT_EQ(scanner.openWith(identifiers), 1);
        EXPECT_EQ(scanner.useSti, 1);
        EXPECT_EQ(scanner.deviceName(), *first);
        EXPECT_EQ(scanner.transportPrefix(), "STI\\");
        EXPECT_EQ(scanner.inquiryString, "KORVA   " + padded(wanted.product, 16) + "0123");
        EXPECT_EQ(scanner.modelString, "KORVA   " + wanted.product);
        EXPECT_EQ(scanner.versionString, "0123");
        EXPECT_EQ(scanner.legacyDevice, 0);
        scanner.close();
        simulation_.reset();
    }
}

TEST_F(ScannerOpenTest, AspiFindsOnlyFamiliesWithAspiIdentifiers) {
    const std::vector<std::string> withAspi = {"ZEPA",  "XR2",    "XR",         "MORVI",
                                               "OLK",   "TAVRIN", "TAVRIN_SH2", "BELTA",
                                               "NOSKA", "KIRUNA", "LUMIKA",     "7ARC"};
    for (const std::string& code : familyCodes()) {
        SCOPED_TRACE(code);
        const auto identifiers = familyIdentifiers(lookUpFamily(code));
        auto aspi = std::find_if(identifiers.begin(), identifiers.end(),
                                 [](const std::string& id) { return !parse(id).sti; });
        const bool listed = std::count(withAspi.begin(), withAspi.end(), code) != 0;
        EXPECT_EQ(aspi != identifiers.end(), listed);
        // An ASPI scanner of the family's own model (its first STI one when
        // the list has no ASPI entry).
        const std::string product =
            listed ? parse(*aspi).product : parse(identifiers.front()).product;
        attach({profile(code, "Product=" + product +
                                  "\nRevision=0123\nTransport=ASPI\nAdapter=2\nTarget=5\n")});
        ASSERT_EQ(scanner.openWith(identifiers), listed ? 1 : 0);
        if (listed) {
            EXPECT_EQ(scanner.useSti, 0);
            EXPECT_EQ(scanner.deviceName(), *aspi);
            EXPECT_EQ(scanner.transportPrefix(), "ASPI\\");
            EXPECT_EQ(scanner.scsi().adapter(), 2);
            EXPECT_EQ(scanner.scsi().target(), 5);
        }
        scanner.close();
        simulation_.reset();
    }
}

TEST_F(ScannerOpenTest, FirstMatchingIdentifierNamesTheDevice) {
    attach({profile("zepa", "Product=SX-2700\nRevision=0100\nBus=USB\n")});
    ASSERT_EQ(scanner.openWith(familyIdentifiers(lookUpFamily("ZEPA"))), 1);
    EXPECT_EQ(scanner.deviceName(), "STI\\KORVA SX-2700 USB");
}

TEST_F(ScannerOpenTest, StiComesFirstThenTheDeviceListOrder) {
    attach({profile("aspi", "Product=SX-4700C\nRevision=0100\nTransport=ASPI\n"),
            profile("second", "Product=SX-2700\nRevision=0100\n"),
            profile("third", "Product=SX-4700C\nRevision=0100\n")});
    ASSERT_EQ(scanner.openWith(familyIdentifiers(lookUpFamily("ZEPA"))), 1);
    // The first still-image device that any identifier names wins, although a
    // later one matches an earlier identifier.
    EXPECT_EQ(scanner.deviceName(), "STI\\KORVA SX-2700 USB");
    EXPECT_TRUE(trace("aspi").empty());
}

TEST_F(ScannerOpenTest, LocalNameMatchIsAPrefixAndCaseSensitive) {
    attach(
        {profile("longer", "Product=SX-4600C\nRevision=0100\nLocalName=KORVA SX-4600C SCSI #2\n"),
         profile("lower", "Product=SX-3500C\nRevision=0100\nLocalName=korva SX-3500C SCSI\n")});
    ASSERT_EQ(scanner.openWith({"STI\\KORVA SX-3500C SCSI", "STI\\KORVA SX-4600C SCSI"}), 1);
    EXPECT_EQ(scanner.deviceName(), "STI\\KORVA SX-4600C SCSI");
}

TEST_F(ScannerOpenTest, AspiIdentifierNeedsThePaddedVendor) {
    attach({profile("scsi", "Product=SX-2500C\nRevision=0100\nTransport=ASPI\n")});
    EXPECT_EQ(scanner.openWith({"ASPI\\KORVA SX-2500C"}), 0);
    EXPECT_EQ(scanner.openWith({"ASPI\\KORVA   SX-2500C"}), 1);
}

TEST_F(ScannerOpenTest, LegacyDevicesAndIdentityProcessor) {
    attach({profile("zepa", "Product=ZEPA\nRevision=0100\nTransport=ASPI\n"),
            profile("nopage", "Product=SX-2300C\nRevision=0100\nVendorPage=0\n"),
            profile("tavrin", "Product=RX-680\nRevision=0100\n",
                    "[Processor1]\nName=SH2 CONTROL\nVersion=0212\n")});
    ASSERT_EQ(scanner.openWith({"ASPI\\KORVA   ZEPA            "}), 1);
    EXPECT_EQ(scanner.legacyDevice, 1);
    scanner.close();
    ASSERT_EQ(scanner.openWith({"STI\\KORVA SX-2300C USB"}), 1);
    EXPECT_EQ(scanner.legacyDevice, 1);
    scanner.close();
    scanner.identityProcessor = 1;
    ASSERT_EQ(scanner.openWith({"STI\\KORVA RX-680 USB"}), 1);
    EXPECT_EQ(scanner.modelString, "KORVA   RX-680(SH2 CONTROL)");
    EXPECT_EQ(scanner.versionString, "0212");
    EXPECT_EQ(scanner.legacyDevice, 0);
}

TEST_F(ScannerOpenTest, NoDeviceLeavesNothingOpen) {
    attach({});
    EXPECT_EQ(scanner.openWith(familyIdentifiers(lookUpFamily("KIRUNA"))), 0);
    EXPECT_FALSE(StiProxy::Exists());
    EXPECT_EQ(scanner.deviceName(), "");
}
