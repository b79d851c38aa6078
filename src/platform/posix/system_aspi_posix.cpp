#include "platform/aspi.h"

namespace platform {

bool InstallSystemAspi() {
    return false;
}

} // namespace platform
