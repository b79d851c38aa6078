#include "platform/system_still_image.h"

#include <cstdlib>
#include <cstring>

// Linux has no Still Image service of its own: "sti.dll" loads only while a
// provider is installed.
namespace platform::native {

bool LoadSystemStillImage() {
    return false;
}

void FreeSystemStillImage() {}

HRESULT SystemStiCreateInstanceW(HINSTANCE, DWORD, IStillImageW** stillImage, void*) {
    if (stillImage == nullptr)
        return E_POINTER;
    *stillImage = nullptr;
    return STIERR_NOT_INITIALIZED;
}

// A 64-bit host answers true, so that the pass-through requests carry
// everything by value; a 32-bit host false.
BOOL HostIsWow64Process(HANDLE, BOOL* wow64) {
    if (wow64 == nullptr)
        return FALSE;
    *wow64 = sizeof(void*) > 4 ? TRUE : FALSE;
    return TRUE;
}

HLOCAL LocalAlloc(unsigned flags, std::size_t bytes) {
    void* memory = std::malloc(bytes == 0 ? 1 : bytes);
    if (memory != nullptr && (flags & LMEM_ZEROINIT) != 0)
        std::memset(memory, 0, bytes);
    return memory;
}

HLOCAL LocalFree(HLOCAL memory) {
    std::free(memory);
    return nullptr;
}

} // namespace platform::native
