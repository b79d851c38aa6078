#include "device/error_text.h"

#include "device/cmd_error.h"
#include "settings/localisation.h"

#include <cstdio>

namespace {

constexpr int kAnyCode = -1;

struct SenseText {
    int key;
    int code; // ASC * 256 + ASCQ, or kAnyCode
    const char* text;
};

const SenseText kSenseTexts[] = {
    {3, 0x8001, "Scanner cover is open."},
    {3, 0x8000, "Paper jammed in scanner; clear paper and continue."},
    {3, 0x8002, "Paper jammed in scanner; clear paper and continue."},
    {3, 0x3A00, "No page was found in the feeder."},
    {3, 0x6000, "Lamp was over."},
    {4, kAnyCode, "Scanner hardware problem."},
    {5, 0x2C00, "Command sequence error."},
    {5, 0x2C01, "Too many Windows specified."},
    {5, 0x3A00, "No page was found in the feeder."},
    {5, 0x2600, "Invalid field in parameter list."},
    {5, 0x1A00, "Paramater list length error."},
    {5, 0x2000, "Invalid operation code"},
    {5, 0x2400, "Invalid cdb"},
};

std::string senseText(const CCmdError& error) {
    const int key = error.senseKey();
    const int code = error.senseCode();
    for (const auto& row : kSenseTexts)
        if (row.key == key && (row.code == kAnyCode || row.code == code))
            return Translate(row.text);
    if (key == 3 || key == 5) {
        char text[48];
        std::snprintf(text, sizeof text, "Unknown error. %d-%d-%d", key, error.asc(), error.ascq());
        return text;
    }
    return Translate("Unknown error.");
}

} // namespace

std::string errorText(const CCmdError& error) {
    std::string text;
    if (!error.hasRequestBlock())
        text = error.message().empty() ? Translate("Unknown error.") : error.message();
    else if (error.status() != 1 && error.status() != 4)
        text = Translate("Unknown error.");
    else
        text = senseText(error);
    if (!error.detail().empty())
        text += " - " + error.detail();
    return text;
}
