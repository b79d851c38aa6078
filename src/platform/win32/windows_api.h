#pragma once

// The Win32 API as the Windows side of the platform layer includes it: the
// lean set, and no min/max macros in the way of the standard library's.
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
