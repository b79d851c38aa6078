#include "dialogs/firm_load_template.h"

namespace firm_load {

platform::DialogTemplate UpgradeTemplate(int id) {
    using platform::ControlClass;
    platform::DialogTemplate t;
    t.id = id;
    t.caption = "Upgrading firmware";
    t.width = 254;
    t.height = 173;
    // A caption and a border, but no system menu: no close box.
    t.style = platform::dialog_style::kCaption;
    const std::uint32_t right = platform::control_style::kRightAligned;
    t.controls = {
        {-1, ControlClass::Icon, platform::stock_icon::kWarning, 6, 5, 20, 20, 0},
        {kNotice, ControlClass::Static, "Notify", 28, 7, 219, 110, 0},
        {kLoadingStatus, ControlClass::Static, "Loading Status", 7, 122, 103, 8, 0},
        {kLoadingCount, ControlClass::Static, "0 / 0", 148, 122, 99, 8, right},
        {kLoadingBar, ControlClass::Progress, "", 7, 134, 240, 7, 0},
        {kCompareStatus, ControlClass::Static, "Compare Status", 7, 147, 103, 8, 0},
        {kCompareCount, ControlClass::Static, "0 / 0", 148, 147, 99, 8, right},
        {kCompareBar, ControlClass::Progress, "", 7, 159, 240, 7, 0},
    };
    return t;
}

} // namespace firm_load
