#pragma once

#include "device/cmd_error.h"
#include "device/device_notification_registration.h"
#include "platform/dialog.h"

#include <optional>
#include <string>
#include <vector>

class CScanner;

// Switches the scanner into its update mode, waits until it has left the bus
// and come back, reopens it and checks it (template 159). By `mode`:
//   2  the update mode command; the check runs 12 s later, or 4 s after a
//      still-image device arrives (each arrival starts those 4 s afresh). A
//      check that cannot reopen the scanner waits for the next arrival, but
//      not for ever: kReturnLimit (180000 ms, a nominal 3 minutes on the
//      program's clock) after the update mode command one last check runs,
//      and when that cannot reopen the scanner either, the wait fails as in
//      modes 0 and 1. A scanner that never comes back thus ends the wait too.
//   0  the prepare update mode command (variant 0), then the user is asked
//      to reconnect the USB cable; one check after 4 s.
//   1  the prepare update mode command (variant 1), then the user is asked
//      to power-cycle the scanner; one check after 12 s.
// The check of modes 0 and 1 also reads INQUIRY: the scanner counts as back
// when its product is SX-1400C, SX-1300C or OLK and its revision begins with
// "B" (its download firmware). A failed check there says "Firmware upgrade
// failed." and "Please restart the scanner and try again." in a stop box
// (caption "Error"), or in the log when `silent` is set.
//
// With `useIdentifier` the scanner's identifier list is replaced by
// `identifier` before reopening (in modes 0 and 1 together with its
// 1400C/1300C twin, as the scanner may come back as its sibling model) and it
// is opened without identification commands (open mode 3); otherwise it is
// opened with the list it has (open mode 0).
//
// Ends with 1 when the scanner is back and accepted, with 2 when the upgrade
// failed: after the failure text, or at once and without a message when the
// mode command or closing the transport fails (the caller reports that).
// Enter and Escape do not end it.
class CWaitDeviceArrival : public platform::CDialog {
public:
    static constexpr platform::UINT_PTR kTimerId = 100;
    // The bound of mode 2 (timer 101).
    static constexpr platform::UINT_PTR kLimitTimerId = 101;
    static constexpr platform::UINT kCheckMessage = 0x8000; // WM_APP
    static constexpr platform::UINT kFirstCheckDelay = 12000;
    static constexpr platform::UINT kReconnectCheckDelay = 4000;
    static constexpr platform::UINT kArrivalCheckDelay = 4000;
    // The longest mode 2 waits for the scanner to come back: 3 minutes from
    // the update mode command, far beyond any restart of the scanner.
    static constexpr platform::UINT kReturnLimit = 180000;

    explicit CWaitDeviceArrival(CScanner& scanner);

    int mode = 2;
    std::string identifier;
    int useIdentifier = 1;
    int silent = 0;
    // The error of a mode command or close that ended the wait at once; the
    // caller reports it.
    std::optional<CCmdError> commandError;

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
    void startWait();
    // The identifiers a check with `useIdentifier` opens with, in `mode`.
    std::vector<std::string> reopenIdentifiers() const;
    // Reopens and checks the scanner; ends the dialog unless mode 2 waits on.
    void check();
    bool reopen();
    bool acceptable();
    void fail();
    void tellUser(const std::string& english, const std::string& captionEnglish);

    CScanner& scanner_;
    CDeviceNotificationRegistration notification_;
};

// `identifier` with every "1400C" replaced by "1300C" when it holds "1400C",
// otherwise with every "1300C" replaced by "1400C".
std::string TwinModelIdentifier(const std::string& identifier);
