#include "platform/graphical_front_end.h"
#include "platform/system_info.h"

namespace platform {

bool DisplayNamed() {
    return !GetEnvironmentVariableA("DISPLAY").empty() ||
           !GetEnvironmentVariableA("WAYLAND_DISPLAY").empty();
}

} // namespace platform
