#include "device/flash_map_choice.h"

#include "flash/flash_map_selection.h"
#include "platform/message_box.h"

void ChooseFlashMap(CFlashMapPtr& flashWriter, const std::string& inquiryString, bool quietErrors) {
    if (std::unique_ptr<CFlashMap> map = CreateFlashMapForProduct(inquiryString)) {
        flashWriter.Attach(std::move(map));
        return;
    }
    // A developer's note rather than a user message, so it is not translated.
    if (!quietErrors)
        platform::MessageBoxA("Not implemented", "", platform::MB_OK);
}
