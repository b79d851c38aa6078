#pragma once

#include <cstdint>

namespace sim {

// When the scanner is on the bus: it leaves for a while (a mode change or a
// restart) or for good, and counts its appearances.
class Presence {
public:
    bool present(std::uint64_t now) const { return !gone_ && now >= backAt_; }
    // 1 at the start, one more each time it came back.
    unsigned appearance(std::uint64_t now) const {
        return 1 + departures_ - (departures_ > 0 && now < backAt_ ? 1 : 0);
    }
    // Leaves now; the tick at which it is back.
    std::uint64_t leave(std::uint64_t now, unsigned milliseconds) {
        ++departures_;
        backAt_ = now + milliseconds;
        return backAt_;
    }
    void leaveForGood() { gone_ = true; }

private:
    unsigned departures_ = 0;
    std::uint64_t backAt_ = 0;
    bool gone_ = false;
};

} // namespace sim
