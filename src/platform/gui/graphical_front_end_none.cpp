#include "platform/graphical_front_end.h"

// The build without the graphical toolkit: every run uses the console.
namespace platform {

bool GraphicalFrontEndBuilt() {
    return false;
}

std::shared_ptr<FrontEnd> CreateGraphicalFrontEnd(std::string& why) {
    why = "this build has no graphical front end (configured with -DREFIRM_GUI=OFF)";
    return nullptr;
}

} // namespace platform
