#pragma once

#include "platform/win_types.h"

#include <string>

// Run-time loading of the system libraries the device layer offers. The
// libraries are providers built into this layer:
//   "sti.dll"      the Still Image service: a still-image provider's while
//                  one is installed (see still_image.h), else the system's
//                  own where there is one (none on Linux);
//   "WNASPI32"     ASPI for Win32 (loads only while an ASPI backend is
//                  installed, see aspi.h);
//   "user32.dll"   the device notification calls;
//   "kernel32"     IsWow64Process.
// Names are matched without letter case and get ".dll" when they have no
// extension, as Windows does. A name with no provider fails to load, as a
// missing DLL does.
namespace platform {

HMODULE LoadLibraryA(const char* fileName);
BOOL FreeLibrary(HMODULE module);
// Null for an unknown name, and for a module that is not loaded.
FARPROC GetProcAddress(HMODULE module, const char* name);

// The file a loaded module stands for (beside the executable); the executable
// itself for a null module. Empty for an unknown handle.
std::string ModuleFileName(HMODULE module);

constexpr DWORD ERROR_MOD_NOT_FOUND = 126;
constexpr DWORD ERROR_PROC_NOT_FOUND = 127;

} // namespace platform
