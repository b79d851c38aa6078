#pragma once

#include "platform/win_types.h"

#include <functional>
#include <memory>
#include <string>

// The Still Image service, shaped as its COM interfaces: StiCreateInstanceW
// (exported by "sti.dll", see module_loader.h) gives an IStillImageW, which
// lists the still-image devices and creates an IStiDevice for one of them.
// Interfaces are reference counted; Release at zero frees the object.
//
// Behind the service sits a provider (the virtual scanner's bus, for one),
// installed with InstallStillImageProvider.
namespace platform {

constexpr DWORD STI_VERSION = 2;
constexpr DWORD STI_DEVICE_CREATE_STATUS = 1;
constexpr DWORD STI_DEVICE_CREATE_DATA = 2;
constexpr DWORD STI_DEVICE_CREATE_BOTH = 3;
constexpr DWORD StiDeviceTypeScanner = 1;
constexpr std::size_t STI_MAX_INTERNAL_NAME_LENGTH = 128;

constexpr HRESULT STIERR_DEVICE_LOCKED = static_cast<HRESULT>(0x80070021u);
constexpr HRESULT STIERR_INVALID_DEVICE_NAME = static_cast<HRESULT>(0x8007007Bu);
constexpr HRESULT STIERR_NOT_INITIALIZED = static_cast<HRESULT>(0x80070015u);
// What CreateDevice answers when it is given no place for the device.
constexpr HRESULT RPC_E_INVALID_PARAMETER_POINTER = static_cast<HRESULT>(0x80010010u);

struct STI_DEV_CAPS {
    DWORD dwGeneric;
};

struct STI_DEVICE_INFORMATIONW {
    DWORD dwSize;
    DWORD DeviceType;
    WCHAR szDeviceInternalName[STI_MAX_INTERNAL_NAME_LENGTH];
    STI_DEV_CAPS DeviceCapabilities;
    DWORD dwHardwareConfiguration;
    WCHAR* pszVendorDescription;
    WCHAR* pszDeviceDescription;
    WCHAR* pszPortName;
    WCHAR* pszPropProvider;
    WCHAR* pszLocalName;
};

class IStiDevice {
public:
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
    virtual HRESULT LockDevice(DWORD timeoutMilliseconds) = 0;
    virtual HRESULT UnLockDevice() = 0;
    // A driver-defined call: `code` selects it, the buffers carry its data and
    // `returned` receives the count of output bytes the driver filled.
    virtual HRESULT Escape(DWORD code, void* inData, DWORD inSize, void* outData, DWORD outSize,
                           DWORD* returned) = 0;

protected:
    virtual ~IStiDevice() = default;
};

class IStillImageW {
public:
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
    // `*buffer` receives an array of `*count` records in one block allocated
    // with LocalAlloc; the caller frees it with LocalFree.
    virtual HRESULT GetDeviceList(DWORD type, DWORD flags, DWORD* count, void** buffer) = 0;
    virtual HRESULT GetDeviceInfo(const WCHAR* internalName, void** buffer) = 0;
    virtual HRESULT CreateDevice(const WCHAR* internalName, DWORD mode, IStiDevice** device,
                                 void* outer) = 0;
    virtual HRESULT GetDeviceValue(const WCHAR* internalName, const WCHAR* valueName, DWORD* type,
                                   BYTE* data, DWORD* size) = 0;
    virtual HRESULT SetDeviceValue(const WCHAR* internalName, const WCHAR* valueName, DWORD type,
                                   const BYTE* data, DWORD size) = 0;
    virtual HRESULT GetSTILaunchInformation(WCHAR* deviceName, DWORD* eventCode,
                                            WCHAR* eventName) = 0;
    virtual HRESULT RegisterLaunchApplication(const WCHAR* appName, const WCHAR* commandLine) = 0;
    virtual HRESULT UnregisterLaunchApplication(const WCHAR* appName) = 0;
    virtual HRESULT RefreshDeviceBus(const WCHAR* internalName) = 0;

protected:
    virtual ~IStillImageW() = default;
};

// Makes a still-image service instance; each call gives a new one with one
// reference.
using StillImageProvider = std::function<IStillImageW*()>;

// With a provider installed "sti.dll" loads; an empty provider removes it.
void InstallStillImageProvider(StillImageProvider provider);
bool StillImageProviderInstalled();

// The entry point "sti.dll" exports.
HRESULT StiCreateInstanceW(HINSTANCE instance, DWORD version, IStillImageW** stillImage,
                           void* outer);

// The system's own on Windows.
constexpr unsigned LMEM_FIXED = 0;
constexpr unsigned LMEM_ZEROINIT = 0x40;
HLOCAL LocalAlloc(unsigned flags, std::size_t bytes);
HLOCAL LocalFree(HLOCAL memory);

constexpr unsigned CP_ACP = 0;
// UTF-16 to the program's 8-bit text and back. With `count` -1 the text ends
// at its terminator, which is converted too. Returns the number of units
// written (or needed, with an output size of 0); 0 on failure.
int WideCharToMultiByte(unsigned codePage, DWORD flags, const WCHAR* text, int count, char* out,
                        int outSize, const char* defaultChar, BOOL* usedDefault);
int MultiByteToWideChar(unsigned codePage, DWORD flags, const char* text, int count, WCHAR* out,
                        int outSize);

// Whether the process runs as a 32-bit process on 64-bit Windows (exported by
// "kernel32"). On a 64-bit host this layer answers true, so that the
// pass-through requests carry everything by value (as a 64-bit driver expects
// them); a 32-bit Windows program gets the system's answer, a 32-bit Linux
// host false. REFIRM_WOW64=0 or 1 overrides the answer, and so does
// SetWow64Override.
BOOL IsWow64Process(HANDLE process, BOOL* wow64);
HANDLE GetCurrentProcess();
// -1 restores the host's answer.
void SetWow64Override(int wow64);

} // namespace platform
