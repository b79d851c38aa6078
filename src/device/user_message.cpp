#include "device/user_message.h"

#include "platform/message_box.h"
#include "settings/log_writer.h"

void ShowOrLog(const std::string& text, const std::string& caption, unsigned boxType, bool toLog) {
    if (toLog)
        WriteLog(text + "\r\n");
    else
        platform::MessageBoxA(text, caption, boxType);
}
