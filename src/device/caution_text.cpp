#include "device/caution_text.h"

#include "settings/localisation.h"

namespace {

const char* const kCautions[] = {
    "Do not turn off your computer and scanner or do not disconnect cable.",
    "If you turn off your computer and scanner or disconnect cable while upgrading, the scanner "
    "will not work properly and you may need to call a service person for replacing parts.",
    "Do not run any applications.",
    "When you use a laptop computer, the power source should be taken via AC adapter, not via "
    "battery.",
    "Avoid going into stand-by mode during upgrading.",
};

} // namespace

std::string CautionLines() {
    std::string text;
    for (const char* line : kCautions) {
        if (!text.empty())
            text += "\n";
        text += Translate(line);
    }
    return text;
}

std::string CautionText() {
    return Translate("<Attention>") + "\n" + CautionLines();
}
