#pragma once

#include <string>
#include <vector>

class CScanner;

// The device search: opens the scanner with the acceptable identifiers of the
// family and, when nothing answers and the caller asks for it, says
// "No Devices Found." (in a box, or in the log when silent). Its dialog
// ("Config", template 157) offers "&Rescan", which makes the transport look
// for devices afresh.
class CConfig {
public:
    static constexpr int kTemplateId = 157;
    static constexpr int kRescanButton = 1000;

    explicit CConfig(CScanner& scanner) : scanner_(scanner) {}

    std::vector<std::string> deviceList;
    int silent = 0;

    // 1 when the scanner was opened, else 0 (reported when `report` is nonzero).
    int findDevice(int report);
    // The "&Rescan" button: rescans and ends the dialog with 1; a device error
    // is dropped.
    int onRescan();

private:
    CScanner& scanner_;
};
