#pragma once

#include "platform/dialog.h"
#include "settings/loc_window.h"

#include <memory>
#include <vector>

// The language side of the program's dialogs: the font their templates are
// laid out with, and the translation of their caption and control texts.

// Sets the dialog font of the current language into the dialog's template
// (before DoModal): Translate("MS Sans Serif/8") handed to the face name and
// point size lookups.
void ApplyDialogFont(platform::CDialog& dialog);

// A dialog as a window with children for TranslateDialog: its title, and the
// controls that carry an id and a text of their own (icons and progress bars
// have none), in template order.
class CDialogLocWindow : public CLocWindow {
public:
    explicit CDialogLocWindow(platform::CDialog& dialog);
    ~CDialogLocWindow() override;

    std::string windowText() const override;
    void setWindowText(const std::string& text) override;
    std::size_t childCount() const override { return children_.size(); }
    CLocWindow& child(std::size_t index) override;

private:
    class Control;

    platform::CDialog& dialog_;
    std::vector<std::unique_ptr<Control>> children_;
};

// Translates the dialog's caption and control texts in place (while it runs,
// or before).
void TranslateDialogTexts(platform::CDialog& dialog);
