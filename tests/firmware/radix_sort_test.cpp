#include "firmware/radix_sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

// Keys that share their top and bottom bits (addresses of records of one
// size in one window), keys that differ anywhere, and many equal keys: the
// items come out as a stable sort by key leaves them.
TEST(RadixSort, SortsAsAStableSortDoes) {
    std::mt19937 random(7);
    using Item = std::pair<std::uint32_t, std::uint32_t>; // key, place in the input
    const auto key = [](const Item& item) { return item.first; };
    const auto byKey = [](const Item& a, const Item& b) { return a.first < b.first; };
    const std::uint32_t shapes[][2] = {
        {0x10000000u, 0x00FFFFE0u}, {0, 0xFFFFFFFFu}, {0xFFFF0000u, 0x7u}, {0x104000u, 0x3FFFu}};
    for (const auto& [base, spread] : shapes) {
        for (std::size_t count : {0u, 1u, 100u, 255u, 256u, 5000u, 70000u}) {
            std::vector<Item> items;
            for (std::uint32_t i = 0; i < count; ++i)
                items.push_back({base | (static_cast<std::uint32_t>(random()) & spread), i});
            std::vector<Item> expected = items;
            std::stable_sort(expected.begin(), expected.end(), byKey);
            RadixSortBy(items, key);
            ASSERT_EQ(items, expected) << "base " << base << " count " << count;
        }
    }
}
