#pragma once

#include "sim/scanner_profile.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The failures a profile schedules: sense rules counted per command kind, and
// the points after which the scanner is unplugged or stops completing
// requests. Only commands the scanner answered are counted.
namespace sim {

class FaultPlan {
public:
    explicit FaultPlan(const ScannerProfile& profile);

    // Gone for good: the commands it answers before being unplugged are used up.
    bool unplugged() const { return unplugAfter_ && answered_ >= *unplugAfter_; }
    // Requests no longer complete.
    bool hanging() const { return hangAfter_ && answered_ >= *hangAfter_; }

    // Counts an answered command of this kind; the rule that makes it fail,
    // if any (the first listed one when several do).
    const FaultRule* count(const std::string& kind);

    unsigned answered() const { return answered_; }

private:
    std::vector<FaultRule> rules_;
    std::vector<unsigned> seen_; // per rule: commands of its kind so far
    std::optional<unsigned> unplugAfter_;
    std::optional<unsigned> hangAfter_;
    unsigned answered_ = 0;
};

} // namespace sim
