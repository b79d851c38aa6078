#pragma once

#include "device/device_notification_registration.h"
#include "platform/dialog.h"

class CScanner;

// Waits for a still-image device to arrive, or for a fixed time (template
// 199). By `mode`:
//   2  shows the upgrade cautions; a device arrival ends the wait;
//   1  shows "Wait..." and asks the user to power-cycle the scanner;
//   0  shows "Wait..." and asks the user to reconnect the USB cable.
// In modes 0 and 1 the request is a message box, or a log line when `silent`
// is set. Every mode ends 30 s after the start at the latest (timer 100), and
// the dialog always ends with 1. Enter and Escape do not end it.
class CWaitDeviceDialog : public platform::CDialog {
public:
    static constexpr platform::UINT_PTR kTimerId = 100;
    static constexpr platform::UINT kWaitLimit = 30000;
    static constexpr platform::UINT kEndMessage = 0x8000; // WM_APP

    explicit CWaitDeviceDialog(CScanner& scanner);

    int mode = 2;
    int silent = 0;

    CScanner& scanner() { return scanner_; }

protected:
    platform::BOOL OnInitDialog() override;
    void OnTimer(platform::UINT_PTR id) override;
    void OnDeviceChange(platform::WPARAM event, platform::LPARAM data) override;
    void OnMessage(platform::UINT message, platform::WPARAM wParam,
                   platform::LPARAM lParam) override;
    void OnDestroy() override;
    void OnOK() override {}
    void OnCancel() override {}

private:
    void tellUser(const std::string& english, const std::string& captionEnglish);

    CScanner& scanner_;
    CDeviceNotificationRegistration notification_;
};
