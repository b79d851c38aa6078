#include "platform/file_kind.h"

#include "platform/file_names.h"
#include "platform/native.h"

#include <cstdio>
#include <filesystem>

namespace platform {

bool IsDirectory(const std::string& fileName) {
    std::error_code error;
    return std::filesystem::is_directory(ResolveFileName(fileName), error);
}

bool StandardErrorIsTerminal() {
    return native::IsTerminal(stderr);
}

} // namespace platform
