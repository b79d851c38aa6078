#pragma once

#include <string>

// The upgrade cautions the wait dialogs show while the scanner is away: a
// heading and five cautions, each looked up in the current language and put
// on a line of its own (no line feed after the last).
std::string CautionText();

// The five cautions alone, one a line, as the upgrade dialogs also show them.
std::string CautionLines();
