#pragma once

#include "platform/system_info.h"
#include "settings/loc_window.h"

#include <cstddef>
#include <string>
#include <vector>

// Message localisation for the whole process. Every text is written in English in
// the program and looked up, by its exact wording, in the .LOC file for the
// current language just before it is shown; texts are UTF-8 throughout.

class CLocText;

// The process's language; 1033 (en-US) until the application object sets the
// user's language.
platform::LANGID LanguageId();
void SetLanguageId(platform::LANGID languageId);

// The translation for the current language, or the English text itself. Loads
// the .LOC file when that has not happened yet.
std::string Translate(const std::string& english);
// Length in bytes of what Translate gives; loads like Translate.
std::size_t TranslatedLength(const std::string& english);

// The dialog font. Callers hand in Translate("MS Sans Serif/8"), but the answer
// depends on the current language alone: Japanese gets MS PGothic at 9 points,
// every other language MS Sans Serif at 8.
std::string DialogFontFaceName(const std::string& translatedFontText);
int DialogFontPointSize(const std::string& translatedFontText);

// Translates the dialog's caption and the text of each direct child that has one.
void TranslateDialog(CLocWindow& dialog);

// The files the process-wide table loads from, in the order they are tried.
std::vector<std::string> LocCandidateFileNames();

// The executable's path with the extension of its file name replaced by ".LOC".
// Only the last component loses its extension, so a dot in a directory name
// (~/.local/bin) stays.
std::string LocFileNameBesideExecutable(const std::string& modulePath);

// The process-wide table behind Translate.
CLocText& ProcessLocText();
