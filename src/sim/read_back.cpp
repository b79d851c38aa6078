#include "sim/read_back.h"

#include <algorithm>
#include <iterator>

namespace sim {

void ReadBack::add(std::uint64_t start, std::uint64_t stop) {
    if (start >= stop)
        return;
    auto it = pending_.lower_bound(start);
    if (it != pending_.begin() && std::prev(it)->second >= start)
        --it;
    while (it != pending_.end() && it->first <= stop) {
        start = std::min(start, it->first);
        stop = std::max(stop, it->second);
        it = pending_.erase(it);
    }
    pending_.emplace(start, stop);
}

void ReadBack::remove(std::uint64_t start, std::uint64_t stop) {
    if (start >= stop)
        return;
    auto it = pending_.lower_bound(start);
    if (it != pending_.begin() && std::prev(it)->second > start)
        --it;
    while (it != pending_.end() && it->first < stop) {
        const std::uint64_t from = it->first;
        const std::uint64_t to = it->second;
        it = pending_.erase(it);
        if (from < start)
            pending_.emplace(from, start);
        if (to > stop) {
            pending_.emplace(stop, to);
            break;
        }
    }
}

} // namespace sim
