#pragma once

#include "platform/window_layout.h"

#include <wx/dialog.h>

#include <vector>

// A message box as the program's home platform draws one: its icon at the
// left, the text wrapped beside it, the buttons in a row below, the default
// button focused. Escape and the close box answer Cancel where the box has
// one and OK on a box with OK alone; a yes/no box must be answered. The
// letters of the buttons (Y, N, R ...) press them, with or without Alt.
namespace platform::gui {

class MessageBoxDialog : public wxDialog {
public:
    MessageBoxDialog(wxWindow* parent, const wxString& text, const wxString& caption,
                     const MessageBoxParts& parts);

    // The button chosen, as the system's box answers (IDOK, IDYES ...).
    int answer() const { return answer_; }

private:
    struct Choice {
        wxString label;
        int answer;
        wxChar key;
    };

    void choose(int answer);
    void onCharHook(wxKeyEvent& event);
    void onClose(wxCloseEvent& event);

    std::vector<Choice> choices_;
    int escapeAnswer_ = 0; // 0: Escape does nothing
    int answer_ = 0;
};

} // namespace platform::gui
