#include "platform/message_box.h"

#include "platform/front_end.h"

#include <iostream>
#include <mutex>

namespace platform {

namespace {

std::mutex& handlerMutex() {
    static std::mutex m;
    return m;
}

MessageBoxHandler& handlerSlot() {
    static MessageBoxHandler handler;
    return handler;
}

std::mutex& frontEndMutex() {
    static std::mutex m;
    return m;
}

std::shared_ptr<FrontEnd>& frontEndSlot() {
    static std::shared_ptr<FrontEnd> frontEnd;
    return frontEnd;
}

} // namespace

void SetFrontEnd(std::shared_ptr<FrontEnd> frontEnd) {
    std::lock_guard<std::mutex> lock(frontEndMutex());
    frontEndSlot() = std::move(frontEnd);
}

std::shared_ptr<FrontEnd> CurrentFrontEnd() {
    std::lock_guard<std::mutex> lock(frontEndMutex());
    return frontEndSlot();
}

std::optional<std::string> ShowOpenFileDialog(const OpenFileRequest& request) {
    if (auto frontEnd = CurrentFrontEnd())
        return frontEnd->openFile(request);
    return std::nullopt;
}

int DefaultButton(unsigned type) {
    if ((type & 0x000F) != MB_YESNO)
        return IDOK;
    return (type & MB_DEFBUTTON2) ? IDNO : IDYES;
}

int MessageBoxA(const std::string& text, const std::string& caption, unsigned type) {
    MessageBoxHandler handler;
    {
        std::lock_guard<std::mutex> lock(handlerMutex());
        handler = handlerSlot();
    }
    if (handler)
        return handler(text, caption, type);
    if (auto frontEnd = CurrentFrontEnd())
        return frontEnd->messageBox(text, caption, type);
    std::cerr << (caption.empty() ? std::string() : caption + ": ") << text << '\n';
    return DefaultButton(type);
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
    std::lock_guard<std::mutex> lock(handlerMutex());
    MessageBoxHandler previous = std::move(handlerSlot());
    handlerSlot() = std::move(handler);
    return previous;
}

} // namespace platform
