#include "device/wait_dialog_templates.h"

#include "device/config_dialog.h"

namespace wait_dialogs {

namespace {

using platform::ControlClass;

static_assert(kConfigTemplateId == CConfig::kTemplateId);
static_assert(kRescanButton == CConfig::kRescanButton);

// Room for the six caution lines at the widths the two dialog fonts need.
constexpr int kWidth = 260;
constexpr int kHeight = 118;

// No caption and no system menu: the wait cannot be closed by the user.
platform::DialogTemplate captionless(int id) {
    platform::DialogTemplate t;
    t.id = id;
    t.width = kWidth;
    t.height = kHeight;
    t.style = 0;
    return t;
}

} // namespace

platform::DialogTemplate WaitTemplate() {
    platform::DialogTemplate t = captionless(kWaitTemplateId);
    t.controls = {{kMessageText, ControlClass::Static, "", 7, 7, kWidth - 14, kHeight - 14, 0}};
    return t;
}

platform::DialogTemplate WaitDeviceTemplate() {
    platform::DialogTemplate t = captionless(kWaitDeviceTemplateId);
    t.controls = {{kMessageText, ControlClass::Static, "", 7, 7, kWidth - 14, kHeight - 14, 0}};
    return t;
}

platform::DialogTemplate WaitArrivalTemplate() {
    platform::DialogTemplate t = captionless(kWaitArrivalTemplateId);
    t.controls = {
        {-1, ControlClass::Icon, platform::stock_icon::kWarning, 7, 7, 20, 20, 0},
        {kMessageText, ControlClass::Static, "", 34, 7, kWidth - 41, kHeight - 14, 0},
    };
    return t;
}

platform::DialogTemplate ConfigTemplate() {
    platform::DialogTemplate t;
    t.id = kConfigTemplateId;
    t.caption = "Config";
    t.width = 186;
    t.height = 62;
    t.style = platform::dialog_style::kCaption | platform::dialog_style::kSystemMenu;
    t.controls = {
        {kNoDevicesText, ControlClass::Static, "No Devices Found.", 7, 10, 172, 8, 0},
        {kRescanButton, ControlClass::Button, "&Rescan", 68, 36, 50, 14,
         platform::control_style::kDefaultButton},
    };
    return t;
}

} // namespace wait_dialogs
