#pragma once

#include "platform/still_image.h"

#include <cstddef>

// The operating system's own side of the Still Image calls
// (win32/system_still_image_win32.cpp, posix/system_still_image_posix.cpp).
// While no still-image provider is installed, "sti.dll" stands for the
// system's Still Image service where the system has one; Linux has none.
namespace platform::native {

// Loads the system's "sti.dll" (one more reference); false where there is
// none or it does not load.
bool LoadSystemStillImage();
// Gives back one reference LoadSystemStillImage took.
void FreeSystemStillImage();
// The system library's StiCreateInstanceW, its interfaces wrapped as this
// layer's IStillImageW and IStiDevice. STIERR_NOT_INITIALIZED while the
// library is not loaded.
HRESULT SystemStiCreateInstanceW(HINSTANCE instance, DWORD version, IStillImageW** stillImage,
                                 void* outer);

// The host's answer to IsWow64Process, when no override decides.
BOOL HostIsWow64Process(HANDLE process, BOOL* wow64);

// The memory blocks a device list comes in: the system's service allocates
// them, and the caller frees them, with the system's LocalAlloc.
HLOCAL LocalAlloc(unsigned flags, std::size_t bytes);
HLOCAL LocalFree(HLOCAL memory);

} // namespace platform::native
