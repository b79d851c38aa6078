#pragma once

#include <wx/control.h>

// A progress bar drawn as the program's home platform draws one: a sunken
// frame filled from the left in blocks of the selection colour, at whatever
// height the template gives it (the toolkit's own bar keeps a thin line of
// its own height).
namespace platform::gui {

class ProgressBar : public wxControl {
public:
    ProgressBar(wxWindow* parent, wxWindowID id, const wxPoint& at, const wxSize& size);

    void SetRange(int range);
    void SetValue(int value);
    int GetRange() const { return range_; }
    int GetValue() const { return value_; }

private:
    void onPaint(wxPaintEvent& event);
    wxSize DoGetBestSize() const override { return GetSize(); }
    bool AcceptsFocus() const override { return false; }

    int range_ = 100;
    int value_ = 0;
};

} // namespace platform::gui
