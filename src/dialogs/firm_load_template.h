#pragma once

#include "platform/dialog_template.h"

// The "Upgrading firmware" dialog: a notice, and the loading and compare
// status lines with their counters and bars. The drive and authentication
// processor dialogs use the same layout under their own ids.
namespace firm_load {

constexpr int kTemplateId = 130;
constexpr int kMainDriveTemplateId = 197;
constexpr int kSubDriveTemplateId = 198;

constexpr int kNotice = 1090;
constexpr int kLoadingStatus = 1043;
constexpr int kLoadingCount = 1042;
constexpr int kLoadingBar = 1041;
constexpr int kCompareStatus = 1044;
constexpr int kCompareCount = 1045;
constexpr int kCompareBar = 1046;

platform::DialogTemplate UpgradeTemplate(int id = kTemplateId);

} // namespace firm_load
