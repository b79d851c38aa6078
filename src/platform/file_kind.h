#pragma once

#include <string>

// What stands behind a name or a stream, for messages that say why a file
// cannot be used and for output that only suits a person at a terminal.
namespace platform {

// Whether the name (see ResolveFileName) is an existing directory.
bool IsDirectory(const std::string& fileName);

// Whether the process's standard error is a terminal.
bool StandardErrorIsTerminal();

} // namespace platform
