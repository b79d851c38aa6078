#pragma once

#include "platform/dialog_template.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

// What a person sees of the program: its dialogs, message boxes and the
// open-file dialog. The dialog runtime tells the front end of every change it
// should show; the front end answers boxes and file dialogs. Everything
// happens on the thread that runs the dialogs, except message boxes, which a
// worker thread may also show (they are serialised).
namespace platform {

// A control as it stands now.
struct ControlState {
    DialogControl control;                           // as in the template, with its current text
    int rangeLow = 0, rangeHigh = 100, position = 0; // progress bars
};

// A dialog as it stands now, for a front end to draw.
class DialogView {
public:
    virtual ~DialogView() = default;
    virtual const DialogTemplate& dialogTemplate() const = 0;
    virtual std::string title() const = 0;
    virtual std::vector<ControlState> controls() const = 0;
    // Nesting depth of the modal loop this dialog runs in (1: outermost).
    virtual int depth() const = 0;
};

struct OpenFileRequest {
    std::string defaultExtension;
    std::string initialName;
    std::string filter; // "Description|pattern|...||"
    std::string title;
};

class FrontEnd {
public:
    virtual ~FrontEnd() = default;

    virtual void dialogOpened(const DialogView& dialog) = 0;
    // A control's text, range or position, or the title changed.
    virtual void dialogChanged(const DialogView& dialog) = 0;
    virtual void dialogClosed(const DialogView& dialog, int result) = 0;

    // Returns the button chosen (IDOK, IDYES, IDNO).
    virtual int messageBox(const std::string& text, const std::string& caption, unsigned type) = 0;
    // The full path chosen, or nothing when cancelled.
    virtual std::optional<std::string> openFile(const OpenFileRequest& request) = 0;
};

// Installs the front end every dialog and box goes to (message boxes too).
// Null restores the default: nothing drawn, boxes on standard error answered
// with their default button.
void SetFrontEnd(std::shared_ptr<FrontEnd> frontEnd);
std::shared_ptr<FrontEnd> CurrentFrontEnd();

// The open-file dialog; nothing (cancelled) when no front end is installed.
std::optional<std::string> ShowOpenFileDialog(const OpenFileRequest& request);

} // namespace platform
