#include "sim/fault_plan.h"

namespace sim {

FaultPlan::FaultPlan(const ScannerProfile& profile)
    : rules_(profile.faults), seen_(profile.faults.size(), 0), unplugAfter_(profile.unplugAfter),
      hangAfter_(profile.hangAfter) {}

const FaultRule* FaultPlan::count(const std::string& kind) {
    ++answered_;
    const FaultRule* failing = nullptr;
    for (std::size_t i = 0; i < rules_.size(); ++i) {
        const FaultRule& rule = rules_[i];
        if (rule.command != "any" && rule.command != kind)
            continue;
        const unsigned n = ++seen_[i];
        const bool fires = n >= rule.nth && (rule.count == 0 || n - rule.nth < rule.count);
        if (fires && !failing)
            failing = &rule;
    }
    return failing;
}

} // namespace sim
