// Several host threads sending to one scanner at once.
#include "scanner_test_kit.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

using namespace scanner_kit;

namespace {

class ScannerThreads : public ScannerTest {};

} // namespace

TEST_F(ScannerThreads, EveryCommandIsCountedOnce) {
    auto scanner = load("Product=SX-2300C\nRevision=1.00\nLegacy=1\nInitialContent=erased\n"
                        "UnplugAfter=600\nTrace=trace.txt\n");
    std::atomic<int> good{0};
    std::atomic<int> absent{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            Host host(*scanner);
            for (int i = 0; i < 200; ++i) {
                const auto address = static_cast<std::uint32_t>(0x1000 * t + i);
                const Answer a = i % 2 ? host.in(memRead(address, 1), 1)
                                       : host.out(memWrite(address, 1), Bytes{0x00});
                (a.good() ? good : absent) += 1;
                scanner->present();
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(good.load(), 600);
    EXPECT_EQ(absent.load(), 200);
    const std::string trace = testing_support::readFile(dir_.file("trace.txt"));
    EXPECT_EQ(std::count(trace.begin(), trace.end(), '\n'), 800);
}
