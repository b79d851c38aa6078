#include "platform/gui/template_dialog.h"

#include "platform/gui/progress_bar.h"
#include "platform/gui/wx_text.h"

#include "platform/dialog.h"
#include "platform/window_messages.h"

#include <wx/artprov.h>
#include <wx/button.h>
#include <wx/dcclient.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>

#include <algorithm>

namespace platform::gui {

wxDEFINE_EVENT(kPostedMessageEvent, wxThreadEvent);

namespace {

constexpr UINT kWmClose = 0x0010;
constexpr UINT kWmTimer = 0x0113;
// The dialog manager keeps the first three messages of the WM_USER range.
constexpr UINT kFirstProgramMessage = 0x0400 + 3;
constexpr UINT kLastProgramMessage = 0xBFFF;

wxArtID artFor(const std::string& icon) {
    if (icon == stock_icon::kWarning)
        return wxART_WARNING;
    return wxART_EXECUTABLE_FILE;
}

long dialogStyle(const DialogTemplate& layout) {
    long style = 0;
    if ((layout.style & dialog_style::kCaption) != 0)
        style |= wxCAPTION;
    if ((layout.style & dialog_style::kSystemMenu) != 0)
        style |= wxSYSTEM_MENU | wxCLOSE_BOX;
    return style;
}

// The template's font, or the face drawn in its place, at the template's
// size.
wxFont templateFont(const DialogTemplate& layout) {
    wxFont font(wxFontInfo(std::max(1, layout.fontSize))
                    .FaceName(ToWx(ScreenFontFace(layout.fontFace)))
                    .Family(wxFONTFAMILY_SWISS));
    if (!font.IsOk())
        font = wxFont(wxFontInfo(std::max(1, layout.fontSize)).Family(wxFONTFAMILY_SWISS));
    return font;
}

} // namespace

class TemplateDialog::Timer : public wxTimer {
public:
    Timer(NativeDialogEvents& events, UINT_PTR id) : events_(events), id_(id) {}
    void Notify() override { events_.timer(id_); }

private:
    NativeDialogEvents& events_;
    UINT_PTR id_;
};

TemplateDialog::TemplateDialog(wxWindow* owner, const DialogTemplate& layout,
                               NativeDialogEvents& events)
    : wxDialog(owner, wxID_ANY, ToWx(layout.caption), wxDefaultPosition, wxDefaultSize,
               dialogStyle(layout)),
      events_(events) {
    const wxFont font = templateFont(layout);
    SetFont(font);
    wxClientDC dc(this);
    dc.SetFont(font);
    wxCoord width = 0, height = 0;
    dc.GetTextExtent("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", &width, &height);
    const DialogBaseUnits base = BaseUnitsFromExtent(width, dc.GetCharHeight());
    createControls(layout, base);
    SetClientSize(HorizontalPixels(layout.width, base), VerticalPixels(layout.height, base));
    CentreOnScreen();

    Bind(wxEVT_BUTTON, &TemplateDialog::onButton, this);
    Bind(wxEVT_CLOSE_WINDOW, &TemplateDialog::onClose, this);
    Bind(wxEVT_CHAR_HOOK, &TemplateDialog::onCharHook, this);
    Bind(kPostedMessageEvent, &TemplateDialog::onPosted, this);
}

TemplateDialog::~TemplateDialog() {
    stopTimers();
}

void TemplateDialog::createControls(const DialogTemplate& layout, const DialogBaseUnits& base) {
    for (const DialogControl& control : layout.controls) {
        const PixelRect r = ControlPixels(control, base);
        const wxPoint at(r.x, r.y);
        const wxSize size(std::max(1, r.width), std::max(1, r.height));
        const int id = control.id == -1 ? wxID_ANY : control.id;
        wxWindow* window = nullptr;
        switch (control.kind) {
        case ControlClass::Static: {
            const bool right = (control.style & control_style::kRightAligned) != 0;
            auto* label =
                new wxStaticText(this, id, ToWx(control.text), at, size,
                                 wxST_NO_AUTORESIZE | (right ? wxALIGN_RIGHT : wxALIGN_LEFT));
            // The system wraps a static text at word boundaries within its width.
            label->Wrap(size.x);
            if (control.id != -1)
                wrapWidths_[control.id] = size.x;
            window = label;
            break;
        }
        case ControlClass::Button: {
            auto* button = new wxButton(this, id, ToWx(control.text), at, size);
            if ((control.style & control_style::kDefaultButton) != 0 && control.id != -1) {
                button->SetDefault();
                defaultButton_ = control.id;
            }
            window = button;
            break;
        }
        case ControlClass::Progress: {
            auto* gauge = new ProgressBar(this, id, at, size);
            if (control.id != -1)
                gauges_[control.id] = Gauge{gauge};
            window = gauge;
            break;
        }
        case ControlClass::Icon: {
            const wxBitmap bitmap =
                wxArtProvider::GetBitmap(artFor(control.text), wxART_MESSAGE_BOX, wxSize(32, 32));
            window = new wxStaticBitmap(this, id, bitmap, at, wxSize(32, 32));
            break;
        }
        }
        if (control.id != -1 && window != nullptr)
            items_[control.id] = window;
    }
}

INT_PTR TemplateDialog::run() {
    events_.initialise(handle());
    if (!ended_) {
        showing_ = true;
        const int answer = ShowModal();
        showing_ = false;
        if (!ended_) {
            ended_ = true;
            result_ = answer;
        }
    }
    stopTimers();
    events_.destroyed();
    return result_;
}

void TemplateDialog::finish(INT_PTR result) {
    if (ended_)
        return;
    ended_ = true;
    result_ = result;
    if (showing_)
        EndModal(static_cast<int>(result));
}

void TemplateDialog::setItemText(int id, const std::string& value) {
    auto it = items_.find(id);
    if (it == items_.end())
        return;
    if (auto* label = dynamic_cast<wxStaticText*>(it->second)) {
        label->SetLabel(ToWx(value));
        if (auto width = wrapWidths_.find(id); width != wrapWidths_.end())
            label->Wrap(width->second);
        return;
    }
    it->second->SetLabel(ToWx(value));
}

void TemplateDialog::setProgressRange(int id, int low, int high) {
    auto it = gauges_.find(id);
    if (it == gauges_.end())
        return;
    Gauge& gauge = it->second;
    gauge.low = low;
    gauge.range = std::max(1, high - low);
    gauge.window->SetRange(gauge.range);
    setProgressPosition(id, gauge.position);
}

void TemplateDialog::setProgressPosition(int id, int position) {
    auto it = gauges_.find(id);
    if (it == gauges_.end())
        return;
    Gauge& gauge = it->second;
    gauge.position = position;
    const long long offset = static_cast<long long>(position) - gauge.low;
    gauge.window->SetValue(static_cast<int>(std::clamp<long long>(offset, 0, gauge.range)));
}

void TemplateDialog::setWindowIcon(const std::string& icon, bool big) {
    const int side = big ? 32 : 16;
    SetIcon(wxArtProvider::GetIcon(artFor(icon), wxART_FRAME_ICON, wxSize(side, side)));
}

void TemplateDialog::setTimer(UINT_PTR id, UINT milliseconds) {
    std::unique_ptr<Timer>& timer = timers_[id];
    if (!timer)
        timer = std::make_unique<Timer>(events_, id);
    timer->Start(static_cast<int>(std::min<UINT>(milliseconds, 0x7FFFFFFF)));
}

// The timer object stays: it may be the one whose notification runs now.
void TemplateDialog::killTimer(UINT_PTR id) {
    if (auto it = timers_.find(id); it != timers_.end())
        it->second->Stop();
}

void TemplateDialog::stopTimers() {
    for (auto& [id, timer] : timers_)
        timer->Stop();
}

void TemplateDialog::onButton(wxCommandEvent& event) {
    if (event.GetId() >= 0)
        events_.command(event.GetId());
}

// The close box, as the system's dialogs have it, is Cancel.
void TemplateDialog::onClose(wxCloseEvent& event) {
    if (event.CanVeto())
        event.Veto();
    if (!ended_)
        events_.command(IDCANCEL);
}

// Escape is Cancel; Enter presses the button that has the focus, else the
// default button.
void TemplateDialog::onCharHook(wxKeyEvent& event) {
    switch (event.GetKeyCode()) {
    case WXK_ESCAPE:
        events_.command(IDCANCEL);
        return;
    case WXK_RETURN:
    case WXK_NUMPAD_ENTER:
        if (dynamic_cast<wxButton*>(wxWindow::FindFocus()) != nullptr)
            break;
        events_.command(defaultButton_);
        return;
    default:
        break;
    }
    event.Skip();
}

void TemplateDialog::onPosted(wxThreadEvent& event) {
    const auto posted = event.GetPayload<PostedMessage>();
    switch (posted.message) {
    case WM_COMMAND:
        events_.command(static_cast<int>(posted.wParam & 0xFFFF));
        return;
    case kWmClose:
        events_.command(IDCANCEL);
        return;
    case WM_DEVICECHANGE:
        events_.deviceChange(posted.wParam, posted.lParam);
        return;
    case kWmTimer:
        return;
    default:
        if (posted.message >= kFirstProgramMessage && posted.message <= kLastProgramMessage)
            events_.message(posted.message, posted.wParam, posted.lParam);
        return;
    }
}

} // namespace platform::gui
