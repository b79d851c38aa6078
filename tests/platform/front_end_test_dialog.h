#pragma once

#include "platform/dialog.h"

#include <functional>
#include <string>
#include <vector>

// A dialog laid out as the upgrade dialog: a status label and a right-aligned
// "n / m" counter above the block bar, a second label and counter above the
// overall bar. Its timer moves both bars a step a tick and ends the dialog
// with 1 after the last step.
namespace front_end_test {

constexpr int kBlockBar = 1041, kBlockCounter = 1042, kBlockLabel = 1043;
constexpr int kTotalLabel = 1044, kTotalCounter = 1045, kTotalBar = 1046;

inline platform::DialogTemplate upgradeTemplate(int id) {
    using platform::ControlClass;
    using platform::control_style::kRightAligned;
    platform::DialogTemplate t;
    t.id = id;
    t.caption = "Firmware upgrade";
    t.width = 220;
    t.height = 90;
    t.controls = {
        {-1, ControlClass::Icon, "IDI_WARNING", 7, 7, 20, 20, 0},
        {1040, ControlClass::Static, "Do not switch the scanner off.", 30, 10, 180, 8, 0},
        {kBlockLabel, ControlClass::Static, "Loading Status", 10, 30, 100, 8, 0},
        {kBlockCounter, ControlClass::Static, "0 / 0", 120, 30, 90, 8, kRightAligned},
        {kBlockBar, ControlClass::Progress, "", 10, 40, 200, 10, 0},
        {kTotalLabel, ControlClass::Static, "Total", 10, 56, 100, 8, 0},
        {kTotalCounter, ControlClass::Static, "0 / 0", 120, 56, 90, 8, kRightAligned},
        {kTotalBar, ControlClass::Progress, "", 10, 66, 200, 10, 0},
        {2, ControlClass::Button, "Cancel", 160, 74, 50, 14, 0},
    };
    return t;
}

class MovingBarsDialog : public platform::CDialog {
public:
    MovingBarsDialog(int templateId, int steps, int blocks, unsigned periodMs = 100)
        : CDialog(upgradeTemplate(templateId)), steps_(steps), blocks_(blocks), period_(periodMs) {}

    // Runs on every tick after the bars moved (tick 1 .. steps).
    std::function<void(MovingBarsDialog&, int tick)> onTick;
    int tick() const { return tick_; }

protected:
    platform::BOOL OnInitDialog() override {
        SetRange(kBlockBar, 0, blocks_);
        SetRange(kTotalBar, 0, steps_);
        SetDlgItemTextA(kBlockCounter, "0 / " + std::to_string(blocks_));
        SetDlgItemTextA(kTotalCounter, "0 / " + std::to_string(steps_));
        SetTimer(1, period_);
        return platform::TRUE;
    }
    void OnTimer(platform::UINT_PTR) override {
        ++tick_;
        const int block = static_cast<int>(static_cast<long long>(tick_) * blocks_ / steps_);
        SetPos(kBlockBar, block);
        SetDlgItemTextA(kBlockCounter, std::to_string(block) + " / " + std::to_string(blocks_));
        SetPos(kTotalBar, tick_);
        SetDlgItemTextA(kTotalCounter, std::to_string(tick_) + " / " + std::to_string(steps_));
        if (onTick)
            onTick(*this, tick_);
        if (tick_ >= steps_)
            EndDialog(1);
    }

private:
    int steps_, blocks_;
    unsigned period_;
    int tick_ = 0;
};

// The lines of a text, without their line breaks.
inline std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    for (std::size_t start = 0; start < text.size();) {
        const auto end = text.find('\n', start);
        out.push_back(text.substr(start, end - start));
        start = end == std::string::npos ? end : end + 1;
    }
    return out;
}

} // namespace front_end_test
