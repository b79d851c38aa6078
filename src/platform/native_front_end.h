#pragma once

#include "platform/front_end.h"

#include <memory>

// The system's own dialogs, message boxes and open-file dialog: on Windows the
// program's dialogs become real ones. Null where the system has none to offer
// (Linux).
namespace platform {

std::shared_ptr<FrontEnd> CreateNativeFrontEnd();

} // namespace platform
