#include "device/dialog_font.h"

#include "settings/localisation.h"

#include <stdexcept>

void ApplyDialogFont(platform::CDialog& dialog) {
    const std::string font = Translate("MS Sans Serif/8");
    dialog.SetTemplateFont(DialogFontFaceName(font), DialogFontPointSize(font));
}

// One control of the dialog, reached by its id.
class CDialogLocWindow::Control : public CLocWindow {
public:
    Control(platform::CDialog& dialog, int id) : dialog_(dialog), id_(id) {}

    std::string windowText() const override { return dialog_.GetDlgItemTextA(id_); }
    void setWindowText(const std::string& text) override { dialog_.SetDlgItemTextA(id_, text); }
    std::size_t childCount() const override { return 0; }
    CLocWindow& child(std::size_t) override {
        throw std::out_of_range("a dialog control has no child windows");
    }

private:
    platform::CDialog& dialog_;
    int id_;
};

CDialogLocWindow::CDialogLocWindow(platform::CDialog& dialog) : dialog_(dialog) {
    for (const platform::DialogControl& control : dialog.Template().controls) {
        if (control.id == -1 || control.kind == platform::ControlClass::Icon ||
            control.kind == platform::ControlClass::Progress)
            continue;
        children_.push_back(std::make_unique<Control>(dialog, control.id));
    }
}

CDialogLocWindow::~CDialogLocWindow() = default;

std::string CDialogLocWindow::windowText() const {
    return dialog_.GetWindowTextA();
}

void CDialogLocWindow::setWindowText(const std::string& text) {
    dialog_.SetWindowTextA(text);
}

CLocWindow& CDialogLocWindow::child(std::size_t index) {
    return *children_.at(index);
}

void TranslateDialogTexts(platform::CDialog& dialog) {
    CDialogLocWindow window(dialog);
    TranslateDialog(window);
}
