#pragma once

#include <string>

class CCmdError;

// The one line that describes a failed command: from the sense data when the
// error carries a request block that completed or failed, else from its
// message; with the diagnostic detail appended after " - ".
std::string errorText(const CCmdError& error);
