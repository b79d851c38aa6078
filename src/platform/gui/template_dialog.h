#pragma once

#include "platform/dialog_template.h"
#include "platform/native_ui.h"
#include "platform/window_layout.h"

#include <wx/dialog.h>
#include <wx/event.h>
#include <wx/timer.h>

#include <map>
#include <memory>
#include <string>

// One of the program's dialogs as a window: made from its template (dialog
// units in pixels of the template's font, or the face this machine has in its
// place), reporting what happens to it as a dialog window of the program's
// home platform reports it: buttons, Enter and Escape, the close box, timers,
// posted messages and device changes.
namespace platform::gui {

class ProgressBar;

struct PostedMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// Carries a PostedMessage; queued from any thread.
wxDECLARE_EVENT(kPostedMessageEvent, wxThreadEvent);

class TemplateDialog : public wxDialog {
public:
    TemplateDialog(wxWindow* owner, const DialogTemplate& layout, NativeDialogEvents& events);
    ~TemplateDialog() override;

    HWND handle() { return reinterpret_cast<HWND>(static_cast<wxWindow*>(this)); }
    static TemplateDialog* FromHandle(HWND window) {
        return static_cast<TemplateDialog*>(reinterpret_cast<wxWindow*>(window));
    }

    // Initialises the dialog and runs it modally unless it ended already.
    INT_PTR run();
    // Ends the modal loop now (it must be the innermost one) or, before it
    // runs, keeps the result for run().
    void finish(INT_PTR result);
    bool ended() const { return ended_; }

    void setItemText(int id, const std::string& text);
    void setProgressRange(int id, int low, int high);
    void setProgressPosition(int id, int position);
    void setWindowIcon(const std::string& icon, bool big);
    void setTimer(UINT_PTR id, UINT milliseconds);
    void killTimer(UINT_PTR id);

private:
    class Timer;
    struct Gauge {
        ProgressBar* window = nullptr;
        int low = 0;
        int range = 100;
        int position = 0;
    };

    void createControls(const DialogTemplate& layout, const DialogBaseUnits& base);
    void onButton(wxCommandEvent& event);
    void onClose(wxCloseEvent& event);
    void onCharHook(wxKeyEvent& event);
    void onPosted(wxThreadEvent& event);
    void stopTimers();

    NativeDialogEvents& events_;
    std::map<int, wxWindow*> items_;
    std::map<int, int> wrapWidths_; // static texts: the width they wrap at
    std::map<int, Gauge> gauges_;
    std::map<UINT_PTR, std::unique_ptr<Timer>> timers_;
    int defaultButton_ = 1; // IDOK
    bool ended_ = false;
    bool showing_ = false;
    INT_PTR result_ = 0;
};

} // namespace platform::gui
