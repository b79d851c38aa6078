#include "platform/native_front_end.h"

namespace platform {

// No native dialogs here: the console or a script plays the person.
std::shared_ptr<FrontEnd> CreateNativeFrontEnd() {
    return nullptr;
}

} // namespace platform
