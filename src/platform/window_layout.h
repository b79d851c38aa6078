#pragma once

#include "platform/dialog_template.h"

#include <functional>
#include <string>
#include <vector>

// What a graphical front end needs to draw the program's dialogs and boxes as
// the system they were made for would: dialog units in pixels of the dialog's
// font, the fonts this machine has in place of the template's, the parts of a
// message box type, and the open-file dialog's filter and default extension.
namespace platform {

// The dialog's base units: the average width of its font's letters and the
// height of a line, in pixels.
struct DialogBaseUnits {
    int x = 6;
    int y = 13;
};

// From the extent of "A..Za..z" (52 letters) in the dialog's font and its
// line height, rounded as the system rounds them.
DialogBaseUnits BaseUnitsFromExtent(int alphabetWidth, int lineHeight);

struct PixelRect {
    int x = 0, y = 0, width = 0, height = 0;
};

// Dialog units are a quarter of the average letter width across and an
// eighth of the line height down.
int HorizontalPixels(int dialogUnits, const DialogBaseUnits& base);
int VerticalPixels(int dialogUnits, const DialogBaseUnits& base);
PixelRect ControlPixels(const DialogControl& control, const DialogBaseUnits& base);

// The installed face drawn in place of a template's face: the faces the
// templates name are the system fonts of the program's home platform.
std::string ScreenFontFace(const std::string& templateFace);

enum class BoxButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel, AbortRetryIgnore };
enum class BoxIcon { None, Error, Question, Warning, Information };

struct MessageBoxParts {
    BoxButtons buttons = BoxButtons::Ok;
    BoxIcon icon = BoxIcon::None;
    int defaultButton = 0; // 0: the first, 1: the second, 2: the third
};

MessageBoxParts DecodeMessageBoxType(unsigned type);

// "Description|pattern|Description|pattern||" without its closing empty
// pairs, as description/pattern pairs; an odd piece at the end is dropped.
struct FileFilter {
    std::string description;
    std::string pattern;
};
std::vector<FileFilter> ParseFileFilter(const std::string& filter);

// A chosen name without an extension of its own gets the default one, as the
// system's open-file dialog gives it.
std::string WithDefaultExtension(const std::string& path, const std::string& extension);

// Breaks every line of `text` (UTF-8) that is wider than `maxWidth`, as
// `width` measures it: after the last blank that fits, else before a
// Japanese letter or, for a word longer than the line, before the letter that
// does not fit. Line breaks of the text stay; a broken line loses the blanks
// at its break.
std::string WrapText(const std::string& text, int maxWidth,
                     const std::function<int(const std::string&)>& width);

} // namespace platform
