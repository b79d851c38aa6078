#include "platform/gui/progress_bar.h"

#include <wx/dcbuffer.h>
#include <wx/settings.h>

#include <algorithm>

namespace platform::gui {

ProgressBar::ProgressBar(wxWindow* parent, wxWindowID id, const wxPoint& at, const wxSize& size)
    : wxControl(parent, id, at, size, wxBORDER_NONE) {
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    Bind(wxEVT_PAINT, &ProgressBar::onPaint, this);
}

void ProgressBar::SetRange(int range) {
    range_ = std::max(1, range);
    value_ = std::clamp(value_, 0, range_);
    Refresh(false);
}

void ProgressBar::SetValue(int value) {
    value = std::clamp(value, 0, range_);
    if (value == value_)
        return;
    value_ = value;
    Refresh(false);
}

void ProgressBar::onPaint(wxPaintEvent&) {
    wxAutoBufferedPaintDC dc(this);
    const wxSize size = GetClientSize();
    dc.SetPen(*wxTRANSPARENT_PEN);
    dc.SetBrush(wxBrush(wxSystemSettings::GetColour(wxSYS_COLOUR_WINDOW)));
    dc.DrawRectangle(0, 0, size.x, size.y);
    // The sunken frame: dark above and left, light below and right.
    dc.SetPen(wxPen(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNSHADOW)));
    dc.DrawLine(0, 0, size.x - 1, 0);
    dc.DrawLine(0, 0, 0, size.y - 1);
    dc.SetPen(wxPen(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNHIGHLIGHT)));
    dc.DrawLine(0, size.y - 1, size.x, size.y - 1);
    dc.DrawLine(size.x - 1, 0, size.x - 1, size.y);
    const int inner = size.x - 4;
    const int height = size.y - 4;
    if (inner <= 0 || height <= 0)
        return;
    const int filled =
        static_cast<int>(static_cast<long long>(inner) * value_ / std::max(1, range_));
    // Blocks as wide as two thirds of the bar's height, a pixel apart.
    const int block = std::max(2, height * 2 / 3);
    dc.SetPen(*wxTRANSPARENT_PEN);
    dc.SetBrush(wxBrush(wxSystemSettings::GetColour(wxSYS_COLOUR_HIGHLIGHT)));
    for (int x = 0; x < filled; x += block + 2)
        dc.DrawRectangle(2 + x, 2, std::min(block, filled - x), height);
}

} // namespace platform::gui
