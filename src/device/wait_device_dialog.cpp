#include "device/wait_device_dialog.h"
#include "device/user_message.h"

#include "device/caution_text.h"
#include "device/wait_dialog_templates.h"
#include "platform/device_notification.h"
#include "platform/message_box.h"
#include "settings/localisation.h"
#include "settings/log_writer.h"

CWaitDeviceDialog::CWaitDeviceDialog(CScanner& scanner)
    : platform::CDialog(wait_dialogs::WaitDeviceTemplate()), scanner_(scanner) {}

void CWaitDeviceDialog::tellUser(const std::string& english, const std::string& captionEnglish) {
    ShowOrLog(Translate(english),
              captionEnglish.empty() ? std::string() : Translate(captionEnglish), platform::MB_OK,
              silent != 0);
}

platform::BOOL CWaitDeviceDialog::OnInitDialog() {
    if (mode == 2) {
        SetDlgItemTextA(wait_dialogs::kMessageText, CautionText());
    } else if (mode == 1) {
        SetDlgItemTextA(wait_dialogs::kMessageText, Translate("Wait..."));
        tellUser("Please turn off the scanner, wait for 5 seconds, and turn on again.", "Error");
    } else {
        SetDlgItemTextA(wait_dialogs::kMessageText, Translate("Wait..."));
        tellUser("Please disconnect USB cable and reconnect it.", "");
    }
    SetTimer(kTimerId, kWaitLimit);
    notification_.registerWindow(GetSafeHwnd());
    return platform::TRUE;
}

void CWaitDeviceDialog::OnTimer(platform::UINT_PTR id) {
    if (id != kTimerId)
        return;
    KillTimer(kTimerId);
    PostMessageA(kEndMessage, 0, 0);
}

void CWaitDeviceDialog::OnDeviceChange(platform::WPARAM event, platform::LPARAM) {
    if (event == platform::DBT_DEVICEARRIVAL && mode == 2)
        EndDialog(1);
}

void CWaitDeviceDialog::OnMessage(platform::UINT message, platform::WPARAM, platform::LPARAM) {
    if (message == kEndMessage)
        EndDialog(1);
}

void CWaitDeviceDialog::OnDestroy() {
    notification_.unregister();
}
