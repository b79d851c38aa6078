#include "dialogs/upgrade_window.h"

#include "device/caution_text.h"
#include "device/dialog_font.h"
#include "device/messages.h"
#include "device/scanner.h"
#include "dialogs/firm_load_template.h"
#include "firmware/upgrade_pipeline.h"
#include "platform/front_end.h"
#include "platform/message_box.h"
#include "settings/localisation.h"

#include <cstdio>

namespace {

using namespace firm_load;

std::string counter(std::int32_t done, std::int32_t total) {
    char text[48];
    std::snprintf(text, sizeof text, "%d / %d", static_cast<int>(done), static_cast<int>(total));
    return text;
}

} // namespace

std::string PrepareUpgradeWindow(platform::CDialog& dialog, const CScanner& scanner,
                                 const std::string& icon) {
    if (!icon.empty()) {
        dialog.SetIcon(icon, true);
        dialog.SetIcon(icon, false);
    }
    const std::string section = dialog.GetWindowTextA();
    TranslateDialogTexts(dialog);
    const std::string device = scanner.deviceName();
    const auto slash = device.find('\\');
    dialog.SetWindowTextA(dialog.GetWindowTextA() + " - " +
                          (slash == std::string::npos ? device : device.substr(slash + 1)));
    return section;
}

bool ConfirmUpgrade(const std::string& confirmation) {
    const unsigned question =
        platform::MB_YESNO | platform::MB_ICONEXCLAMATION | platform::MB_DEFBUTTON2;
    if (platform::MessageBoxA(confirmation, Translate("Warning"), question) != platform::IDYES)
        return false;
    const std::string cautions = Translate("<Cautions for upgrade>") + "\n" + CautionLines();
    return platform::MessageBoxA(cautions, Translate("Warning"), question) == platform::IDYES;
}

std::optional<std::string> ChooseFirmwareFile(const std::string& lastFile) {
    platform::OpenFileRequest request;
    request.defaultExtension = "MOT";
    request.initialName = lastFile;
    request.filter = Translate("MOT File(*.MOT)|*.mot|All Files(*.*)|*.*||");
    return platform::ShowOpenFileDialog(request);
}

std::string FormatText(const std::string& pattern, const std::string& a, const std::string& b) {
    char text[1024];
    std::snprintf(text, sizeof text, pattern.c_str(), a.c_str(), b.c_str());
    return text;
}

void UpgradeProgress::reset() {
    bytesWritten_ = 0;
    bytesCompared_ = 0;
}

void UpgradeProgress::drain(platform::CDialog& dialog, CUpgradePipeline& pipeline) {
    // Texts for one control that follow each other (a block's percentages
    // while it is expanded) are all taken in this one pass, before the window
    // shows anything of them: only the last of such a run is set.
    int textControl = 0;
    std::unique_ptr<CMessage> text;
    const auto setText = [&] {
        if (text != nullptr)
            dialog.SetDlgItemTextA(textControl, static_cast<const CMessageString&>(*text).text());
        text.reset();
    };
    for (std::unique_ptr<CMessage> message; (message = pipeline.displayQueue.take(false));) {
        if (message->type() == CMessage::kString) {
            const int control =
                static_cast<const CMessageString&>(*message).code() == CMessageAny::kCompareText
                    ? kCompareStatus
                    : kLoadingStatus;
            if (control != textControl)
                setText();
            textControl = control;
            text = std::move(message);
            continue;
        }
        setText();
        switch (message->type()) {
        case CMessage::kLong: {
            const auto& number = static_cast<const CMessageLong&>(*message);
            // Each counter follows its bar at once, so that whoever looks at
            // the dialog never sees a bar ahead of its count.
            if (number.code() == CMessageAny::kBytesWritten) {
                bytesWritten_ += number.value();
                dialog.SetPos(kLoadingBar, bytesWritten_);
                dialog.SetDlgItemTextA(kLoadingCount, counter(bytesWritten_, total_));
            } else if (number.code() == CMessageAny::kBytesCompared) {
                bytesCompared_ += number.value();
                dialog.SetPos(kCompareBar, bytesCompared_);
                dialog.SetDlgItemTextA(kCompareCount, counter(bytesCompared_, total_));
            } else if (number.code() == CMessageAny::kTotalBytes) {
                total_ = number.value();
                dialog.SetRange(kLoadingBar, 0, total_);
                dialog.SetRange(kCompareBar, 0, total_);
            }
            break;
        }
        case CMessage::kEnd:
            pipeline.displayRunning = 0;
            break;
        default:
            break;
        }
        if (pipeline.displayRunning == 0)
            break;
    }
    setText();
}
