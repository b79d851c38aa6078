#include "device/config_dialog.h"

#include "device/cmd_error.h"
#include "device/scanner.h"
#include "device/user_message.h"
#include "platform/aspi.h"
#include "platform/message_box.h"
#include "settings/localisation.h"
#include "settings/log_writer.h"

int CConfig::findDevice(int report) {
    int found = 0;
    try {
        found = scanner_.openWith(deviceList);
    } catch (const CCmdError&) {
        // Found but not identified: the device is given back, not left open.
        scanner_.close();
        found = 0;
    }
    if (found != 0)
        return 1;
    if (report != 0) {
        // Devices this process may not open are likely the scanner sought.
        for (const std::string& problem : platform::AspiAccessProblems())
            ShowOrLog(problem, Translate("Error"), platform::MB_OK, silent != 0);
        const std::string text = Translate("No Devices Found.");
        ShowOrLog(text, Translate("Error"), platform::MB_OK, silent != 0);
    }
    return 0;
}

int CConfig::onRescan() {
    try {
        scanner_.reset();
    } catch (const CCmdError&) {
    }
    return 1;
}
