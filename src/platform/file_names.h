#pragma once

#include <string>

namespace platform {

// Turns a file name written the Windows way (backslashes, any letter case) into a
// name on this file system. Each component is taken as written when it exists,
// else the first entry of its directory that matches it case-insensitively;
// once a component is missing the rest is kept as written.
std::string ResolveFileName(const std::string& windowsName);

// True when both texts are equal ignoring ASCII letter case.
bool EqualsNoCase(const std::string& a, const std::string& b);

} // namespace platform
