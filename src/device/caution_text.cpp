#include "device/caution_text.h"

#include "settings/localisation.h"

namespace {

const char* const kCautionTexts[] = {
    "<Attention>",
    "Do not turn off your computer and scanner or do not disconnect cable.",
    "If you turn off your computer and scanner or disconnect cable while upgrading, the scanner "
    "will not work properly and you may need to call a service person for replacing parts.",
    "Do not run any applications.",
    "When you use a laptop computer, the power source should be taken via AC adapter, not via "
    "battery.",
    "Avoid going into stand-by mode during upgrading.",
};

} // namespace

std::string CautionText() {
    std::string text;
    for (const char* line : kCautionTexts) {
        if (!text.empty())
            text += "\n";
        text += Translate(line);
    }
    return text;
}
