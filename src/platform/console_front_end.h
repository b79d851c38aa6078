#pragma once

#include "platform/front_end.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

// The front end for a person at a terminal. The open dialogs are drawn as
// text: the title, the static texts, and each progress bar with the label and
// the "n / m" counter that stand on the row above it in the dialog.
//
// On a terminal the drawing is redrawn in place (ANSI cursor movements), at
// most about ten times a second of the program's clock, and fits the width
// of the terminal. Anywhere else (a file, a pipe) it is written as plain
// lines that never flood: a text when it changes, a progress bar when it
// passes a tenth of its range, a title when a dialog opens.
//
// Message boxes and the open-file dialog ask on `in`: "y" or "yes" (any
// letter case) is Yes, "n" or "no" is No, anything else or the end of input
// is the box's default button; OK boxes are only shown.
namespace platform {

class ConsoleFrontEnd : public FrontEnd {
public:
    enum class Style {
        Detect,   // Terminal when `out` is a terminal, else Plain
        Terminal, // redrawn in place
        Plain     // lines only
    };

    // `width`: the columns to fit a terminal drawing to; 0 asks the terminal
    // (80 when it cannot say).
    explicit ConsoleFrontEnd(std::FILE* out = stdout, std::FILE* in = stdin,
                             Style style = Style::Detect, int width = 0);
    ~ConsoleFrontEnd() override;
    ConsoleFrontEnd(const ConsoleFrontEnd&) = delete;
    ConsoleFrontEnd& operator=(const ConsoleFrontEnd&) = delete;

    void dialogOpened(const DialogView& dialog) override;
    void dialogChanged(const DialogView& dialog) override;
    void dialogClosed(const DialogView& dialog, int result) override;
    int messageBox(const std::string& text, const std::string& caption, unsigned type) override;
    std::optional<std::string> openFile(const OpenFileRequest& request) override;

    bool terminal() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

std::shared_ptr<FrontEnd> CreateConsoleFrontEnd(std::FILE* out = stdout, std::FILE* in = stdin);

// Columns a UTF-8 text takes on a terminal: East Asian wide characters take
// two, combining marks none, a byte that is no valid UTF-8 one.
int DisplayWidth(const std::string& text);

// The longest start of `text` that takes at most `columns`, never cutting a
// UTF-8 sequence.
std::string CutToWidth(const std::string& text, int columns);

} // namespace platform
