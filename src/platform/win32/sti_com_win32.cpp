#include "platform/still_image.h"
#include "platform/win32/sti_com.h"

#include "platform/win32/windows_api.h"

#include <sti.h>

#include <atomic>
#include <memory>
#include <utility>

// The two directions between this layer's Still Image interfaces and the
// system's COM ones. Every call passes straight through; texts and counts
// only change their spelling (wchar_t and char16_t, unsigned long and
// uint32_t are the same units on Windows).
namespace {

static_assert(sizeof(wchar_t) == sizeof(platform::WCHAR));
static_assert(sizeof(::DWORD) == sizeof(platform::DWORD));
static_assert(sizeof(::HRESULT) == sizeof(platform::HRESULT));

// The interface ids of <sti.h>, and IUnknown's.
constexpr IID kIidUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID kIidStillImageW = {
    0x641BD880, 0x2DC8, 0x11D0, {0x90, 0xEA, 0x00, 0xAA, 0x00, 0x60, 0xF8, 0x6C}};
constexpr IID kIidStiDevice = {
    0x6CFA5A80, 0x2DC8, 0x11D0, {0x90, 0xEA, 0x00, 0xAA, 0x00, 0x60, 0xF8, 0x6C}};

wchar_t* comText(const platform::WCHAR* text) {
    return const_cast<wchar_t*>(reinterpret_cast<const wchar_t*>(text));
}

const platform::WCHAR* layerText(const wchar_t* text) {
    return reinterpret_cast<const platform::WCHAR*>(text);
}

::DWORD* comCount(platform::DWORD* count) {
    return reinterpret_cast<::DWORD*>(count);
}

platform::DWORD* layerCount(::DWORD* count) {
    return reinterpret_cast<platform::DWORD*>(count);
}

// Shared by a service and the devices made through it; the last of them to
// go runs `released`.
class Lifetime {
public:
    explicit Lifetime(std::function<void()> released) : released_(std::move(released)) {}
    ~Lifetime() {
        if (released_)
            released_();
    }
    Lifetime(const Lifetime&) = delete;
    Lifetime& operator=(const Lifetime&) = delete;

private:
    std::function<void()> released_;
};

// The system's COM objects seen as this layer's interfaces.

class ImportedDevice final : public platform::IStiDevice {
public:
    ImportedDevice(::IStiDevice* com, std::shared_ptr<Lifetime> lifetime)
        : com_(com), lifetime_(std::move(lifetime)) {}

    platform::ULONG AddRef() override { return ++references_; }
    platform::ULONG Release() override {
        const platform::ULONG left = --references_;
        if (left == 0)
            delete this;
        return left;
    }
    platform::HRESULT LockDevice(platform::DWORD timeout) override {
        return com_->LockDevice(timeout);
    }
    platform::HRESULT UnLockDevice() override { return com_->UnLockDevice(); }
    platform::HRESULT Escape(platform::DWORD code, void* inData, platform::DWORD inSize,
                             void* outData, platform::DWORD outSize,
                             platform::DWORD* returned) override {
        return com_->Escape(code, inData, inSize, outData, outSize, comCount(returned));
    }

private:
    ~ImportedDevice() override { com_->Release(); }

    ::IStiDevice* com_;
    std::shared_ptr<Lifetime> lifetime_;
    std::atomic<platform::ULONG> references_{1};
};

class ImportedService final : public platform::IStillImageW {
public:
    ImportedService(::IStillImageW* com, std::shared_ptr<Lifetime> lifetime)
        : com_(com), lifetime_(std::move(lifetime)) {}

    platform::ULONG AddRef() override { return ++references_; }
    platform::ULONG Release() override {
        const platform::ULONG left = --references_;
        if (left == 0)
            delete this;
        return left;
    }

    platform::HRESULT GetDeviceList(platform::DWORD type, platform::DWORD flags,
                                    platform::DWORD* count, void** buffer) override {
        // The records have the system's layout (see system_still_image_win32.cpp)
        // and come in the system's LocalAlloc block: handed on as they are.
        if (count != nullptr)
            *count = 0;
        if (buffer != nullptr)
            *buffer = nullptr;
        return com_->GetDeviceList(type, flags, comCount(count), buffer);
    }
    platform::HRESULT GetDeviceInfo(const platform::WCHAR* internalName, void** buffer) override {
        return com_->GetDeviceInfo(comText(internalName), buffer);
    }
    platform::HRESULT CreateDevice(const platform::WCHAR* internalName, platform::DWORD mode,
                                   platform::IStiDevice** device, void* outer) override {
        if (device == nullptr)
            return platform::RPC_E_INVALID_PARAMETER_POINTER;
        *device = nullptr;
        ::IStiDevice* created = nullptr;
        const HRESULT result = com_->CreateDevice(comText(internalName), mode, &created,
                                                  static_cast<IUnknown*>(outer));
        if (SUCCEEDED(result) && created != nullptr)
            *device = new ImportedDevice(created, lifetime_);
        else if (created != nullptr)
            created->Release();
        return result;
    }
    platform::HRESULT GetDeviceValue(const platform::WCHAR* internalName,
                                     const platform::WCHAR* valueName, platform::DWORD* type,
                                     platform::BYTE* data, platform::DWORD* size) override {
        return com_->GetDeviceValue(comText(internalName), comText(valueName), comCount(type), data,
                                    comCount(size));
    }
    platform::HRESULT SetDeviceValue(const platform::WCHAR* internalName,
                                     const platform::WCHAR* valueName, platform::DWORD type,
                                     const platform::BYTE* data, platform::DWORD size) override {
        return com_->SetDeviceValue(comText(internalName), comText(valueName), type,
                                    const_cast<BYTE*>(data), size);
    }
    platform::HRESULT GetSTILaunchInformation(platform::WCHAR* deviceName,
                                              platform::DWORD* eventCode,
                                              platform::WCHAR* eventName) override {
        return com_->GetSTILaunchInformation(comText(deviceName), comCount(eventCode),
                                             comText(eventName));
    }
    platform::HRESULT RegisterLaunchApplication(const platform::WCHAR* appName,
                                                const platform::WCHAR* commandLine) override {
        return com_->RegisterLaunchApplication(comText(appName), comText(commandLine));
    }
    platform::HRESULT UnregisterLaunchApplication(const platform::WCHAR* appName) override {
        return com_->UnregisterLaunchApplication(comText(appName));
    }
    platform::HRESULT RefreshDeviceBus(const platform::WCHAR* internalName) override {
        return com_->RefreshDeviceBus(comText(internalName));
    }

private:
    ~ImportedService() override { com_->Release(); }

    ::IStillImageW* com_;
    std::shared_ptr<Lifetime> lifetime_;
    std::atomic<platform::ULONG> references_{1};
};

// This layer's interfaces as COM objects.

template <typename Object>
HRESULT queryInterface(Object* object, REFIID iid, const IID& own, void** result) {
    if (result == nullptr)
        return E_POINTER;
    if (iid == kIidUnknown || iid == own) {
        object->AddRef();
        *result = object;
        return S_OK;
    }
    *result = nullptr;
    return E_NOINTERFACE;
}

class ExportedDevice final : public ::IStiDevice {
public:
    ExportedDevice(platform::IStiDevice* device, std::shared_ptr<Lifetime> lifetime)
        : device_(device), lifetime_(std::move(lifetime)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        return queryInterface(this, iid, kIidStiDevice, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0)
            delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE Initialize(HINSTANCE, LPCWSTR, DWORD, DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetCapabilities(PSTI_DEV_CAPS capabilities) override {
        if (capabilities == nullptr)
            return E_POINTER;
        capabilities->dwGeneric = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetStatus(PSTI_DEVICE_STATUS) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeviceReset() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Diagnostic(LPSTI_DIAG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Escape(STI_RAW_CONTROL_CODE code, LPVOID inData, DWORD inSize,
                                     LPVOID outData, DWORD outSize, LPDWORD returned) override {
        return device_->Escape(code, inData, inSize, outData, outSize, layerCount(returned));
    }
    HRESULT STDMETHODCALLTYPE GetLastError(LPDWORD error) override {
        if (error == nullptr)
            return E_POINTER;
        *error = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE LockDevice(DWORD timeout) override {
        return device_->LockDevice(timeout);
    }
    HRESULT STDMETHODCALLTYPE UnLockDevice() override { return device_->UnLockDevice(); }
    HRESULT STDMETHODCALLTYPE RawReadData(LPVOID, LPDWORD, LPOVERLAPPED) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE RawWriteData(LPVOID, DWORD, LPOVERLAPPED) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE RawReadCommand(LPVOID, LPDWORD, LPOVERLAPPED) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE RawWriteCommand(LPVOID, DWORD, LPOVERLAPPED) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Subscribe(LPSTISUBSCRIBE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetLastNotificationData(LPSTINOTIFY) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UnSubscribe() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetLastErrorInfo(STI_ERROR_INFO*) override { return E_NOTIMPL; }

private:
    ~ExportedDevice() { device_->Release(); }

    platform::IStiDevice* device_;
    std::shared_ptr<Lifetime> lifetime_;
    std::atomic<ULONG> references_{1};
};

class ExportedService final : public ::IStillImageW {
public:
    ExportedService(platform::IStillImageW* service, std::shared_ptr<Lifetime> lifetime)
        : service_(service), lifetime_(std::move(lifetime)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        return queryInterface(this, iid, kIidStillImageW, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0)
            delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE Initialize(HINSTANCE, DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetDeviceList(DWORD type, DWORD flags, DWORD* count,
                                            LPVOID* buffer) override {
        return service_->GetDeviceList(type, flags, layerCount(count), buffer);
    }
    HRESULT STDMETHODCALLTYPE GetDeviceInfo(LPWSTR internalName, LPVOID* buffer) override {
        return service_->GetDeviceInfo(layerText(internalName), buffer);
    }
    HRESULT STDMETHODCALLTYPE CreateDevice(LPWSTR internalName, DWORD mode, PSTIDEVICE* device,
                                           LPUNKNOWN outer) override {
        if (device == nullptr)
            return platform::RPC_E_INVALID_PARAMETER_POINTER;
        *device = nullptr;
        platform::IStiDevice* created = nullptr;
        const HRESULT result =
            service_->CreateDevice(layerText(internalName), mode, &created, outer);
        if (SUCCEEDED(result) && created != nullptr)
            *device = new ExportedDevice(created, lifetime_);
        else if (created != nullptr)
            created->Release();
        return result;
    }
    HRESULT STDMETHODCALLTYPE GetDeviceValue(LPWSTR internalName, LPWSTR valueName, LPDWORD type,
                                             LPBYTE data, LPDWORD size) override {
        return service_->GetDeviceValue(layerText(internalName), layerText(valueName),
                                        layerCount(type), data, layerCount(size));
    }
    HRESULT STDMETHODCALLTYPE SetDeviceValue(LPWSTR internalName, LPWSTR valueName, DWORD type,
                                             LPBYTE data, DWORD size) override {
        return service_->SetDeviceValue(layerText(internalName), layerText(valueName), type, data,
                                        size);
    }
    HRESULT STDMETHODCALLTYPE GetSTILaunchInformation(LPWSTR deviceName, DWORD* eventCode,
                                                      LPWSTR eventName) override {
        return service_->GetSTILaunchInformation(reinterpret_cast<platform::WCHAR*>(deviceName),
                                                 layerCount(eventCode),
                                                 reinterpret_cast<platform::WCHAR*>(eventName));
    }
    HRESULT STDMETHODCALLTYPE RegisterLaunchApplication(LPWSTR appName,
                                                        LPWSTR commandLine) override {
        return service_->RegisterLaunchApplication(layerText(appName), layerText(commandLine));
    }
    HRESULT STDMETHODCALLTYPE UnregisterLaunchApplication(LPWSTR appName) override {
        return service_->UnregisterLaunchApplication(layerText(appName));
    }
    HRESULT STDMETHODCALLTYPE EnableHwNotifications(LPCWSTR, WINBOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetHwNotificationState(LPCWSTR, WINBOOL* state) override {
        if (state == nullptr)
            return E_POINTER;
        *state = FALSE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE RefreshDeviceBus(LPCWSTR internalName) override {
        return service_->RefreshDeviceBus(layerText(internalName));
    }
    HRESULT STDMETHODCALLTYPE LaunchApplicationForDevice(LPWSTR, LPWSTR, LPSTINOTIFY) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetupDeviceParameters(PSTI_DEVICE_INFORMATIONW) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE WriteToErrorLog(DWORD, LPCWSTR) override { return S_OK; }

private:
    ~ExportedService() { service_->Release(); }

    platform::IStillImageW* service_;
    std::shared_ptr<Lifetime> lifetime_;
    std::atomic<ULONG> references_{1};
};

} // namespace

namespace platform::native {

IStillImageW* ImportStillImage(void* com, std::function<void()> released) {
    if (com == nullptr)
        return nullptr;
    return new ImportedService(static_cast<::IStillImageW*>(com),
                               std::make_shared<Lifetime>(std::move(released)));
}

void* ExportStillImage(IStillImageW* service, std::function<void()> released) {
    if (service == nullptr)
        return nullptr;
    ::IStillImageW* com =
        new ExportedService(service, std::make_shared<Lifetime>(std::move(released)));
    return com;
}

} // namespace platform::native
