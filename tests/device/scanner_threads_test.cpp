#include "device/sti_proxy.h"
#include "scanner_fixture.h"

#include <thread>

// The producer and the writer of an upgrade may both talk to the scanner at the
// start of a run; commands must arrive whole and in one piece each.
class ScannerThreadsTest : public ScannerFixture,
                           public testing::WithParamInterface<const char*> {};

INSTANTIATE_TEST_SUITE_P(BothTransports, ScannerThreadsTest,
                         testing::Values("Product=SX-4600C\nRevision=0300\nLegacy=1\n",
                                         "Product=SX-4600C\nRevision=0300\nLegacy=1\n"
                                         "Transport=ASPI\n"));

TEST_P(ScannerThreadsTest, CommandsFromTwoThreadsStayWhole) {
    attach({profile("scanner", GetParam())});
    ASSERT_EQ(scanner.openWith({"STI\\KORVA SX-4600C USB", "ASPI\\KORVA   SX-4600C"}), 1);
    std::vector<std::uint8_t> pattern(3000, 0x3C);
    std::thread writer([&] {
        for (int i = 0; i < 20; ++i)
            scanner.writeMemory(0x10000000 + static_cast<std::uint32_t>(i) * 0x1000, pattern.data(),
                                pattern.size());
    });
    int ready = 0;
    for (int i = 0; i < 60; ++i)
        ready += scanner.testUnitReadyQuiet() >= 0;
    writer.join();
    EXPECT_EQ(ready, 60);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(virtualScanner().flashByte(0, 0x10000000 +
                                                    static_cast<std::uint32_t>(i) * 0x1000 + 2999),
                  0x3C & 0xFF);
}

TEST(StiProxyThreads, ProxyComesAndGoesWithItsUsers) {
    testing_support::ScratchDir scratch;
    testing_support::writeFile(scratch.file("a.ini"), "[Scanner]\nProduct=SX-T18\nRevision=0100\n");
    sim::Simulation simulation({scratch.file("a.ini")});
    simulation.install();
    for (int round = 0; round < 3; ++round) {
        CScanner first, second;
        ASSERT_EQ(first.openWith({"STI\\KORVA SX-T18 USB"}), 1);
        // A second transport shares the worker but cannot lock the same device.
        EXPECT_EQ(second.openWith({"STI\\KORVA SX-T18 USB"}), 0);
        EXPECT_TRUE(StiProxy::Exists());
        first.close();
        EXPECT_FALSE(StiProxy::Exists());
    }
}
