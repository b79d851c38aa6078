#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

// Stable sort of items by a 32-bit key, such as an address, in passes over
// at most twelve bits of it at a time, over the bits that are not the same in
// every item only (an image's addresses share their top bits, and records of
// 32 bytes their lowest five). An image's records come in any order in its
// file; a comparison sort of a few million of them costs many times a pass
// over them, this costs two or three passes. `key(item)` gives the key.
template <typename T, typename Key> void RadixSortBy(std::vector<T>& items, Key key) {
    const auto keyOf = [&](const T& item) { return static_cast<std::uint32_t>(key(item)); };
    const auto before = [&](const T& a, const T& b) { return keyOf(a) < keyOf(b); };
    if (std::is_sorted(items.begin(), items.end(), before))
        return;
    // Below this a comparison sort is as fast, and needs no second array.
    constexpr std::size_t kSmall = 256;
    if (items.size() < kSmall) {
        std::stable_sort(items.begin(), items.end(), before);
        return;
    }
    std::uint32_t all = 0xFFFFFFFFu;
    std::uint32_t any = 0;
    for (const T& item : items) {
        all &= keyOf(item);
        any |= keyOf(item);
    }
    const std::uint32_t differ = all ^ any; // not 0: the items are not sorted
    const int low = std::countr_zero(differ);
    const int width = 32 - std::countl_zero(differ) - low;
    constexpr int kMostBits = 12;
    const int passes = (width + kMostBits - 1) / kMostBits;
    const int bits = (width + passes - 1) / passes;
    const std::uint32_t mask = (std::uint32_t{1} << bits) - 1;

    // Room for the items that nothing fills in first: every pass writes all of it.
    const auto room = std::make_unique_for_overwrite<T[]>(items.size());
    T* from = items.data();
    T* to = room.get();
    std::vector<std::size_t> start(std::size_t{1} << bits);
    for (int shift = low; shift < low + width; shift += bits) {
        std::fill(start.begin(), start.end(), 0);
        for (std::size_t i = 0; i < items.size(); ++i)
            ++start[(keyOf(from[i]) >> shift) & mask];
        std::size_t sum = 0;
        for (std::size_t& count : start)
            sum += std::exchange(count, sum);
        for (std::size_t i = 0; i < items.size(); ++i)
            to[start[(keyOf(from[i]) >> shift) & mask]++] = from[i];
        std::swap(from, to);
    }
    if (from != items.data())
        std::copy(from, from + items.size(), items.data());
}
