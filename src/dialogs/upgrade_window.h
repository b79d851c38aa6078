#pragma once

#include "platform/dialog.h"

#include <cstdint>
#include <optional>
#include <string>

class CScanner;
class CUpgradePipeline;

// What the upgrade dialogs share on the way into their run: the window's
// icons, texts and title, the two confirmations and the file dialog; and on
// the way through it, the two bars with their counters.

// Sets the icons, translates the window's texts and adds the device name to
// its title. Returns the title as the template has it: the section of the
// dialog's settings.
std::string PrepareUpgradeWindow(platform::CDialog& dialog, const CScanner& scanner,
                                 const std::string& icon);

// The confirmation, then the cautions; true when both are answered Yes.
bool ConfirmUpgrade(const std::string& confirmation);

// The file dialog for a firmware image, opening at `lastFile`.
std::optional<std::string> ChooseFirmwareFile(const std::string& lastFile);

// `pattern` with its "%s" (one or two) filled in.
std::string FormatText(const std::string& pattern, const std::string& a, const std::string& b = {});

// The loading and compare bars and their counters, fed from the display queue.
class UpgradeProgress {
public:
    void reset();
    // Takes what the display queue holds, until it is empty or the run's end
    // message has come (the pipeline's display running then is 0).
    void drain(platform::CDialog& dialog, CUpgradePipeline& pipeline);

private:
    std::int32_t bytesWritten_ = 0;
    std::int32_t bytesCompared_ = 0;
    std::int32_t total_ = 0;
};
