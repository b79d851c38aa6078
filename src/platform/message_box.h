#pragma once

#include <functional>
#include <string>

// Message boxes, shaped as the Windows call. Until a front end installs its
// own handler a box is written to standard error and answered with its
// default button, so nothing ever waits for an answer nobody can give.
namespace platform {

enum : unsigned {
    MB_OK = 0x0000,
    MB_YESNO = 0x0004,
    MB_ICONERROR = 0x0010,
    MB_ICONQUESTION = 0x0020,
    MB_ICONWARNING = 0x0030,
    MB_ICONEXCLAMATION = 0x0030,
    MB_ICONSTOP = 0x0010,
    MB_ICONINFORMATION = 0x0040,
    MB_DEFBUTTON2 = 0x0100,
};

enum : int { IDOK = 1, IDYES = 6, IDNO = 7 };

using MessageBoxHandler =
    std::function<int(const std::string& text, const std::string& caption, unsigned type)>;

int MessageBoxA(const std::string& text, const std::string& caption, unsigned type);

// Replaces the handler (a front end, or a test recording every box); an empty
// handler restores the default. Returns the previous one.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

// The answer a box gives when nobody chooses: its default button.
int DefaultButton(unsigned type);

} // namespace platform
