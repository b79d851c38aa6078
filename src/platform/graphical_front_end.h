#pragma once

#include "platform/front_end.h"

#include <memory>
#include <string>

// The program's dialogs as windows on a graphical display (X11 or Wayland):
// each dialog drawn from its template, its modal loop, timers and posted
// messages run by the toolkit's event loop, real message boxes and the
// toolkit's open-file dialog. Dialogs run on the thread that created the
// front end; a box asked for on another thread is shown by that thread.
namespace platform {

// Whether this build has the graphical front end at all (a build option).
bool GraphicalFrontEndBuilt();

// True when the environment names a display to draw on.
bool DisplayNamed();

// Null, with the reason in `why`, when the build has no graphical front end
// or the display cannot be opened. At most one lives at a time.
std::shared_ptr<FrontEnd> CreateGraphicalFrontEnd(std::string& why);

} // namespace platform
