#pragma once

#include "platform/dialog_template.h"

// The templates of the small dialogs of the device layer: the three wait
// dialogs, which have no caption and show their text in one static control,
// and the device search dialog "Config".
namespace wait_dialogs {

constexpr int kWaitTemplateId = 158;        // CWaitDialog
constexpr int kWaitDeviceTemplateId = 199;  // CWaitDeviceDialog
constexpr int kWaitArrivalTemplateId = 159; // CWaitDeviceArrival
constexpr int kConfigTemplateId = 157;      // CConfig

// The text of each wait dialog: the cautions, or what the user must do.
constexpr int kMessageText = 1134;
// "Config": the rescan button and the line above it.
constexpr int kRescanButton = 1000;
constexpr int kNoDevicesText = 1001;

platform::DialogTemplate WaitTemplate();
platform::DialogTemplate WaitDeviceTemplate();
// With a warning icon to the left of the text.
platform::DialogTemplate WaitArrivalTemplate();
platform::DialogTemplate ConfigTemplate();

} // namespace wait_dialogs
