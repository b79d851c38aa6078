#include "platform/gui/message_box_dialog.h"

#include "platform/gui/wx_text.h"

#include <wx/artprov.h>
#include <wx/button.h>
#include <wx/dcclient.h>
#include <wx/display.h>
#include <wx/sizer.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>

#include <algorithm>
#include <string>

namespace platform::gui {

namespace {

enum Answer : int { kOk = 1, kCancel = 2, kAbort = 3, kRetry = 4, kIgnore = 5, kYes = 6, kNo = 7 };

constexpr int kFirstButtonId = 10000;

wxArtID artFor(BoxIcon icon) {
    switch (icon) {
    case BoxIcon::Error:
        return wxART_ERROR;
    case BoxIcon::Question:
        return wxART_QUESTION;
    case BoxIcon::Warning:
        return wxART_WARNING;
    case BoxIcon::Information:
        return wxART_INFORMATION;
    case BoxIcon::None:
        break;
    }
    return wxString();
}

// Japanese text is drawn from a face that has its letters; measured in the
// default face, whose letters it lacks, its lines come out shorter than they
// are drawn and the last one is cut off.
bool hasJapanese(const wxString& text) {
    for (const wxUniChar c : text)
        if (c.GetValue() >= 0x3000 && c.GetValue() <= 0xFFEF)
            return true;
    return false;
}

} // namespace

MessageBoxDialog::MessageBoxDialog(wxWindow* parent, const wxString& text, const wxString& caption,
                                   const MessageBoxParts& parts)
    : wxDialog(parent, wxID_ANY, caption, wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX) {
    switch (parts.buttons) {
    case BoxButtons::Ok:
        choices_ = {{"OK", kOk, 0}};
        escapeAnswer_ = kOk;
        break;
    case BoxButtons::OkCancel:
        choices_ = {{"OK", kOk, 0}, {"Cancel", kCancel, 0}};
        escapeAnswer_ = kCancel;
        break;
    case BoxButtons::YesNo:
        choices_ = {{"&Yes", kYes, 'Y'}, {"&No", kNo, 'N'}};
        break;
    case BoxButtons::YesNoCancel:
        choices_ = {{"&Yes", kYes, 'Y'}, {"&No", kNo, 'N'}, {"Cancel", kCancel, 0}};
        escapeAnswer_ = kCancel;
        break;
    case BoxButtons::RetryCancel:
        choices_ = {{"&Retry", kRetry, 'R'}, {"Cancel", kCancel, 0}};
        escapeAnswer_ = kCancel;
        break;
    case BoxButtons::AbortRetryIgnore:
        choices_ = {{"&Abort", kAbort, 'A'}, {"&Retry", kRetry, 'R'}, {"&Ignore", kIgnore, 'I'}};
        break;
    }
    const std::size_t defaultIndex =
        std::min<std::size_t>(static_cast<std::size_t>(parts.defaultButton), choices_.size() - 1);

    if (hasJapanese(text)) {
        wxFont font = GetFont();
        font.SetFaceName(ToWx(ScreenFontFace("MS PGothic")));
        SetFont(font);
    }
    auto* top = new wxBoxSizer(wxVERTICAL);
    auto* body = new wxBoxSizer(wxHORIZONTAL);
    if (parts.icon != BoxIcon::None) {
        const wxBitmap icon =
            wxArtProvider::GetBitmap(artFor(parts.icon), wxART_MESSAGE_BOX, wxSize(32, 32));
        body->Add(new wxStaticBitmap(this, wxID_ANY, icon), 0, wxRIGHT | wxALIGN_TOP, 16);
    }
    // Long lines wrap at about half the screen's width, as the system's box
    // wraps them; line breaks of the text stay.
    const int screen = wxDisplay(parent != nullptr ? wxDisplay::GetFromWindow(parent) : 0)
                           .GetClientArea()
                           .GetWidth();
    wxClientDC dc(this);
    dc.SetFont(GetFont());
    const std::string wrapped =
        WrapText(FromWx(text), std::max(320, screen / 2),
                 [&](const std::string& line) { return dc.GetTextExtent(ToWx(line)).GetWidth(); });
    auto* label = new wxStaticText(this, wxID_ANY, ToWx(wrapped));
    // Measured here in the box's own font, with room for a taller fallback
    // face in the last line.
    wxSize size = dc.GetMultiLineTextExtent(label->GetLabel());
    size.y += dc.GetCharHeight() / 2;
    label->SetMinSize(size);
    body->Add(label, 1, wxALIGN_CENTER_VERTICAL);
    top->Add(body, 1, wxALL | wxEXPAND, 16);

    auto* row = new wxBoxSizer(wxHORIZONTAL);
    row->AddStretchSpacer();
    wxButton* focused = nullptr;
    for (std::size_t i = 0; i < choices_.size(); ++i) {
        auto* button = new wxButton(this, kFirstButtonId + static_cast<int>(i), choices_[i].label);
        row->Add(button, 0, wxLEFT, 8);
        if (i == defaultIndex)
            focused = button;
    }
    top->Add(row, 0, wxLEFT | wxRIGHT | wxBOTTOM | wxEXPAND, 12);
    SetSizerAndFit(top);
    if (focused != nullptr) {
        focused->SetDefault();
        focused->SetFocus();
    }
    CentreOnScreen();
    if (escapeAnswer_ == 0)
        EnableCloseButton(false);

    Bind(wxEVT_BUTTON, [this](wxCommandEvent& event) {
        const int index = event.GetId() - kFirstButtonId;
        if (index >= 0 && index < static_cast<int>(choices_.size()))
            choose(choices_[static_cast<std::size_t>(index)].answer);
    });
    Bind(wxEVT_CHAR_HOOK, &MessageBoxDialog::onCharHook, this);
    Bind(wxEVT_CLOSE_WINDOW, &MessageBoxDialog::onClose, this);
}

void MessageBoxDialog::choose(int answer) {
    answer_ = answer;
    EndModal(answer);
}

void MessageBoxDialog::onCharHook(wxKeyEvent& event) {
    const int key = event.GetKeyCode();
    if (key == WXK_ESCAPE) {
        if (escapeAnswer_ != 0)
            choose(escapeAnswer_);
        return;
    }
    if (key < 128 && !event.ControlDown()) {
        const wxChar letter = static_cast<wxChar>(wxToupper(key));
        for (const Choice& choice : choices_)
            if (choice.key != 0 && choice.key == letter) {
                choose(choice.answer);
                return;
            }
    }
    event.Skip();
}

void MessageBoxDialog::onClose(wxCloseEvent& event) {
    if (escapeAnswer_ != 0) {
        choose(escapeAnswer_);
        return;
    }
    if (event.CanVeto())
        event.Veto();
}

} // namespace platform::gui
