#include "device/wait_device_arrival.h"
#include "device/user_message.h"

#include "device/caution_text.h"
#include "device/cmd_error.h"
#include "device/scanner.h"
#include "device/wait_dialog_templates.h"
#include "platform/clock.h"
#include "platform/device_notification.h"
#include "platform/message_box.h"
#include "settings/localisation.h"
#include "settings/log_writer.h"

#include <cstdint>

namespace {

constexpr std::size_t kInquiryLength = 36;
constexpr std::size_t kProductOffset = 16; // offset 8 of the identification text
constexpr std::size_t kProductLength = 16;
constexpr std::size_t kRevisionOffset = 32;

const char* const kAcceptedProducts[] = {"SX-1400C", "SX-1300C", "OLK"};

std::string replacedAll(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

} // namespace

std::string TwinModelIdentifier(const std::string& identifier) {
    if (identifier.find("1400C") != std::string::npos)
        return replacedAll(identifier, "1400C", "1300C");
    return replacedAll(identifier, "1300C", "1400C");
}

CWaitDeviceArrival::CWaitDeviceArrival(CScanner& scanner)
    : platform::CDialog(wait_dialogs::WaitArrivalTemplate()), scanner_(scanner) {}

std::vector<std::string> CWaitDeviceArrival::reopenIdentifiers() const {
    std::vector<std::string> list{identifier};
    if (mode != 2)
        list.push_back(TwinModelIdentifier(identifier));
    return list;
}

void CWaitDeviceArrival::tellUser(const std::string& english, const std::string& captionEnglish) {
    ShowOrLog(Translate(english),
              captionEnglish.empty() ? std::string() : Translate(captionEnglish), platform::MB_OK,
              silent != 0);
}

platform::BOOL CWaitDeviceArrival::OnInitDialog() {
    try {
        startWait();
    } catch (const CCmdError& error) {
        commandError = error;
        EndDialog(2);
    }
    return platform::TRUE;
}

void CWaitDeviceArrival::startWait() {
    if (mode == 2) {
        SetDlgItemTextA(wait_dialogs::kMessageText, CautionText());
        const std::uint64_t commandTick = platform::GetTickCount64();
        scanner_.enterUpdateMode();
        scanner_.close();
        SetTimer(kTimerId, kFirstCheckDelay);
        const std::uint64_t spent = platform::GetTickCount64() - commandTick;
        SetTimer(kLimitTimerId,
                 spent < kReturnLimit ? static_cast<platform::UINT>(kReturnLimit - spent) : 1);
        notification_.registerWindow(GetSafeHwnd());
        return;
    }
    const bool powerCycle = mode == 1;
    scanner_.prepareUpdateMode(powerCycle ? 1 : 0);
    scanner_.close();
    SetDlgItemTextA(wait_dialogs::kMessageText, Translate("Wait..."));
    if (powerCycle)
        tellUser("Please turn off the scanner, wait for 5 seconds, and turn on again.", "Error");
    else
        tellUser("Please disconnect USB cable and reconnect it.", "");
    SetTimer(kTimerId, powerCycle ? kFirstCheckDelay : kReconnectCheckDelay);
}

void CWaitDeviceArrival::OnTimer(platform::UINT_PTR id) {
    if (id == kTimerId) {
        KillTimer(kTimerId);
        PostMessageA(kCheckMessage, 0, 0);
    } else if (id == kLimitTimerId) {
        // The scanner has had its time: one last look, then give up.
        KillTimer(kLimitTimerId);
        KillTimer(kTimerId);
        if (reopen())
            EndDialog(1);
        else
            fail();
    }
}

void CWaitDeviceArrival::OnDeviceChange(platform::WPARAM event, platform::LPARAM) {
    if (event != platform::DBT_DEVICEARRIVAL || mode != 2)
        return;
    // Give the scanner time to settle after it has reappeared.
    KillTimer(kTimerId);
    SetTimer(kTimerId, kArrivalCheckDelay);
}

void CWaitDeviceArrival::OnMessage(platform::UINT message, platform::WPARAM, platform::LPARAM) {
    if (message == kCheckMessage)
        check();
}

void CWaitDeviceArrival::check() {
    if (mode == 2) {
        // Not back yet: the next arrival starts the timer again.
        if (reopen())
            EndDialog(1);
        return;
    }
    if (reopen() && acceptable())
        EndDialog(1);
    else
        fail();
}

bool CWaitDeviceArrival::reopen() {
    int openMode = 0;
    if (useIdentifier != 0) {
        scanner_.identifiers = reopenIdentifiers();
        openMode = 3;
    }
    try {
        return scanner_.open(openMode) != 0;
    } catch (const CCmdError&) {
        return false;
    }
}

bool CWaitDeviceArrival::acceptable() {
    std::uint8_t data[kInquiryLength];
    try {
        scanner_.inquiry(data, sizeof data);
    } catch (const CCmdError&) {
        return false;
    }
    const std::string product(reinterpret_cast<const char*>(data + kProductOffset), kProductLength);
    bool known = false;
    for (const std::string model : kAcceptedProducts)
        known = known || product.compare(0, model.size(), model) == 0;
    return known && data[kRevisionOffset] == 'B';
}

void CWaitDeviceArrival::fail() {
    const std::string text = Translate("Firmware upgrade failed.") + "\n" +
                             Translate("Please restart the scanner and try again.");
    if (silent != 0)
        WriteLog(text + "\r\n");
    else
        platform::MessageBoxA(text, Translate("Error"), platform::MB_ICONSTOP);
    EndDialog(2);
}

void CWaitDeviceArrival::OnDestroy() {
    notification_.unregister();
}
