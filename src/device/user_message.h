#pragma once

#include <string>

// A message for the person in front of the program: a message box, or, in an
// unattended run, one line of the log (the text followed by "\r\n").
void ShowOrLog(const std::string& text, const std::string& caption, unsigned boxType, bool toLog);
