#include "platform/still_image.h"
#include "platform/system_still_image.h"
#include "platform/win32/sti_com.h"

#include <cstddef>

namespace {

// This layer's names that the system's headers take for macros of their own.
constexpr std::size_t kLayerCapabilitiesOffset =
    offsetof(platform::STI_DEVICE_INFORMATIONW, DeviceCapabilities);
constexpr unsigned kLayerZeroInit = platform::LMEM_ZEROINIT;
constexpr unsigned kLayerFixed = platform::LMEM_FIXED;

} // namespace

#include "platform/win32/windows_api.h"

#include <objbase.h>
#include <sti.h>

#include <mutex>

// The system's Still Image service behind "sti.dll", and the system calls the
// Still Image path needs besides.
namespace {

// The device list is handed on from the system's service as it comes: this
// layer's record must be the system's, field by field.
using LayerRecord = platform::STI_DEVICE_INFORMATIONW;
using SystemRecord = ::STI_DEVICE_INFORMATIONW;
static_assert(sizeof(LayerRecord) == sizeof(SystemRecord));
static_assert(alignof(LayerRecord) == alignof(SystemRecord));
static_assert(offsetof(LayerRecord, dwSize) == offsetof(SystemRecord, dwSize));
static_assert(offsetof(LayerRecord, DeviceType) == offsetof(SystemRecord, DeviceType));
static_assert(offsetof(LayerRecord, szDeviceInternalName) ==
              offsetof(SystemRecord, szDeviceInternalName));
static_assert(sizeof(LayerRecord::szDeviceInternalName) ==
              sizeof(SystemRecord::szDeviceInternalName));
static_assert(kLayerCapabilitiesOffset == offsetof(SystemRecord, DeviceCapabilities));
static_assert(sizeof(platform::STI_DEV_CAPS) == sizeof(::STI_DEV_CAPS));
static_assert(offsetof(LayerRecord, dwHardwareConfiguration) ==
              offsetof(SystemRecord, dwHardwareConfiguration));
static_assert(offsetof(LayerRecord, pszVendorDescription) ==
              offsetof(SystemRecord, pszVendorDescription));
static_assert(offsetof(LayerRecord, pszDeviceDescription) ==
              offsetof(SystemRecord, pszDeviceDescription));
static_assert(offsetof(LayerRecord, pszPortName) == offsetof(SystemRecord, pszPortName));
static_assert(offsetof(LayerRecord, pszPropProvider) == offsetof(SystemRecord, pszPropProvider));
static_assert(offsetof(LayerRecord, pszLocalName) == offsetof(SystemRecord, pszLocalName));
static_assert(sizeof(LayerRecord) == (sizeof(void*) == 8 ? 312 : 292));
static_assert(platform::StiDeviceTypeScanner == ::StiDeviceTypeScanner);
static_assert(kLayerZeroInit == LMEM_ZEROINIT && kLayerFixed == LMEM_FIXED);

using CreateInstance = HRESULT(STDMETHODCALLTYPE*)(HINSTANCE, DWORD, ::IStillImageW**, LPUNKNOWN);

// The loaded library: one ::LoadLibraryA for every load of "sti.dll".
struct SystemLibrary {
    std::mutex lock;
    HMODULE module = nullptr;
    CreateInstance create = nullptr;
    int loads = 0;
};

SystemLibrary& systemLibrary() {
    static SystemLibrary library;
    return library;
}

} // namespace

namespace platform::native {

bool LoadSystemStillImage() {
    auto& library = systemLibrary();
    std::lock_guard<std::mutex> guard(library.lock);
    const HMODULE module = ::LoadLibraryA("sti.dll");
    if (module == nullptr)
        return false;
    library.module = module;
    library.create = reinterpret_cast<CreateInstance>(
        reinterpret_cast<void*>(::GetProcAddress(module, "StiCreateInstanceW")));
    ++library.loads;
    return true;
}

void FreeSystemStillImage() {
    auto& library = systemLibrary();
    std::lock_guard<std::mutex> guard(library.lock);
    if (library.loads == 0)
        return;
    ::FreeLibrary(library.module);
    if (--library.loads == 0) {
        library.module = nullptr;
        library.create = nullptr;
    }
}

HRESULT SystemStiCreateInstanceW(HINSTANCE instance, DWORD version, IStillImageW** stillImage,
                                 void* outer) {
    if (stillImage == nullptr)
        return E_POINTER;
    *stillImage = nullptr;
    CreateInstance create = nullptr;
    {
        auto& library = systemLibrary();
        std::lock_guard<std::mutex> guard(library.lock);
        if (library.loads == 0)
            return STIERR_NOT_INITIALIZED;
        create = library.create;
    }
    if (create == nullptr)
        return TYPE_E_DLLFUNCTIONNOTFOUND;
    // The service is a COM server: COM is set up on the calling thread (the
    // device layer's Still Image worker) for as long as the service lives.
    const bool comStarted = SUCCEEDED(::CoInitialize(nullptr));
    const ::DWORD thread = ::GetCurrentThreadId();
    auto stopCom = [comStarted, thread] {
        if (comStarted && ::GetCurrentThreadId() == thread)
            ::CoUninitialize();
    };
    ::IStillImageW* com = nullptr;
    // The Unicode interface, as a Unicode program asks for it.
    const HRESULT result =
        create(instance, version | STI_VERSION_FLAG_UNICODE, &com, static_cast<LPUNKNOWN>(outer));
    if (FAILED(result) || com == nullptr) {
        if (com != nullptr)
            com->Release();
        stopCom();
        return FAILED(result) ? result : E_FAIL;
    }
    *stillImage = ImportStillImage(com, stopCom);
    return result;
}

BOOL HostIsWow64Process(HANDLE process, BOOL* wow64) {
    if (wow64 == nullptr)
        return FALSE;
#ifdef _WIN64
    // A 64-bit program talks to a 64-bit driver, which takes the by-value
    // packet that a WOW64 process sends.
    (void)process;
    *wow64 = TRUE;
    return TRUE;
#else
    return ::IsWow64Process(process, wow64);
#endif
}

HLOCAL LocalAlloc(unsigned flags, std::size_t bytes) {
    return ::LocalAlloc(flags, bytes);
}

HLOCAL LocalFree(HLOCAL memory) {
    return ::LocalFree(memory);
}

} // namespace platform::native
