#include "device/sti_proxy.h"

#include "platform/clock.h"
#include "platform/module_loader.h"
#include "platform/sync.h"
#include "platform/thread_messages.h"

namespace {

using namespace platform;

constexpr UINT kQuitWorker = 0x8001;
constexpr UINT kRunRequest = 0x8002;

// The process-wide proxy. Transports are created and used from one thread at a
// time; the atomic only keeps that hand-over well defined.
std::atomic<StiProxy*> sharedProxy{nullptr};

using CreateInstance = HRESULT (*)(HINSTANCE, DWORD, IStillImageW**, void*);

} // namespace

StiProxy* StiProxy::Acquire(HINSTANCE instance) {
    StiProxy* proxy = sharedProxy.load();
    if (proxy == nullptr) {
        proxy = new StiProxy();
        Request create;
        create.code = kCreateInstance;
        create.arguments[0] = instance;
        if (!proxy->start() || FAILED(proxy->call(create))) {
            delete proxy;
            return nullptr;
        }
        sharedProxy.store(proxy);
    }
    ++proxy->references_;
    return proxy;
}

void StiProxy::release() {
    if (--references_ > 0)
        return;
    Request releaseInstance;
    releaseInstance.code = kReleaseInstance;
    call(releaseInstance);
    sharedProxy.store(nullptr);
    delete this;
}

bool StiProxy::Exists() {
    return sharedProxy.load() != nullptr;
}

StiProxy::~StiProxy() {
    stop();
}

bool StiProxy::start() {
    library_ = LoadLibraryA("sti.dll");
    if (library_ == nullptr)
        return false;
    started_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (started_ == nullptr)
        return false;
    thread_ = CreateThread(nullptr, 0, WorkerMain, this, 0, &threadId_);
    if (thread_ == nullptr)
        return false;
    WaitForSingleObject(started_, INFINITE);
    return true;
}

void StiProxy::stop() {
    if (thread_ != nullptr) {
        if (PostThreadMessageA(threadId_, kQuitWorker, 0, 0)) {
            WaitForSingleObject(thread_, INFINITE);
        } else {
            TerminateThread(thread_, 0);
            Sleep(1000);
        }
        CloseHandle(thread_);
        thread_ = nullptr;
    }
    if (started_ != nullptr) {
        CloseHandle(started_);
        started_ = nullptr;
    }
    if (library_ != nullptr) {
        FreeLibrary(library_);
        library_ = nullptr;
    }
}

DWORD StiProxy::WorkerMain(void* argument) {
    auto* proxy = static_cast<StiProxy*>(argument);
    MSG message;
    PeekMessageA(&message, nullptr, 1024, 1024, PM_NOREMOVE);
    CoInitialize(nullptr);
    SetEvent(proxy->started_);
    while (GetMessageA(&message, nullptr, 0, 0)) {
        if (message.message == kQuitWorker) {
            PostQuitMessage(0);
        } else if (message.message == kRunRequest) {
            auto* request = reinterpret_cast<Request*>(message.lParam);
            proxy->perform(*request);
            SetEvent(request->event);
        } else {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    CoUninitialize();
    return 0;
}

HRESULT StiProxy::call(Request& request) {
    // An event of the request's own: one kept for the calling thread would be
    // gone when that thread's objects are destroyed, while the program's exit
    // can still close a scanner through this worker.
    request.event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    request.result = E_FAIL;
    if (request.event == nullptr)
        return E_FAIL;
    if (PostThreadMessageA(threadId_, kRunRequest, 0, reinterpret_cast<LPARAM>(&request)))
        WaitForSingleObject(request.event, INFINITE);
    CloseHandle(request.event);
    request.event = nullptr;
    return request.result;
}

void StiProxy::perform(Request& r) {
    auto text = [&r](int i) { return static_cast<const WCHAR*>(r.arguments[i]); };
    auto device = [&r] { return static_cast<IStiDevice*>(const_cast<void*>(r.arguments[0])); };
    if (r.code == kCreateInstance) {
        if (library_ == nullptr) {
            r.result = TYPE_E_CANTLOADLIBRARY;
            return;
        }
        auto create =
            reinterpret_cast<CreateInstance>(GetProcAddress(library_, "StiCreateInstanceW"));
        if (create == nullptr) {
            r.result = TYPE_E_DLLFUNCTIONNOTFOUND;
            return;
        }
        r.result = create(static_cast<HINSTANCE>(const_cast<void*>(r.arguments[0])), STI_VERSION,
                          &stillImage_, nullptr);
        return;
    }
    const bool needsService = r.code >= kReleaseInstance && r.code <= kRefreshDeviceBus;
    const bool needsDevice = r.code >= kReleaseDevice && r.code <= kEscape;
    if ((needsService && stillImage_ == nullptr) || (needsDevice && device() == nullptr)) {
        r.result = E_FAIL;
        return;
    }
    switch (r.code) {
    case kReleaseInstance:
        stillImage_->Release();
        stillImage_ = nullptr;
        r.result = S_OK;
        break;
    case kGetDeviceList:
        r.result = stillImage_->GetDeviceList(
            r.values[0], r.values[1], static_cast<DWORD*>(const_cast<void*>(r.arguments[0])),
            static_cast<void**>(const_cast<void*>(r.arguments[1])));
        break;
    case kGetDeviceInfo:
        r.result = stillImage_->GetDeviceInfo(
            text(0), static_cast<void**>(const_cast<void*>(r.arguments[1])));
        break;
    case kCreateDevice:
        if (r.arguments[1] == nullptr) {
            r.result = static_cast<HRESULT>(0x80010010u);
            break;
        }
        r.result = stillImage_->CreateDevice(
            text(0), r.values[0], static_cast<IStiDevice**>(const_cast<void*>(r.arguments[1])),
            nullptr);
        break;
    case kGetDeviceValue:
        r.result = stillImage_->GetDeviceValue(
            text(0), text(1), static_cast<DWORD*>(const_cast<void*>(r.arguments[2])),
            static_cast<BYTE*>(const_cast<void*>(r.arguments[3])),
            static_cast<DWORD*>(const_cast<void*>(r.arguments[4])));
        break;
    case kSetDeviceValue:
        r.result = stillImage_->SetDeviceValue(
            text(0), text(1), r.values[0], static_cast<const BYTE*>(r.arguments[2]), r.values[1]);
        break;
    case kGetLaunchInformation:
        r.result = stillImage_->GetSTILaunchInformation(
            const_cast<WCHAR*>(text(0)), static_cast<DWORD*>(const_cast<void*>(r.arguments[1])),
            const_cast<WCHAR*>(text(2)));
        break;
    case kRegisterLaunchApplication:
        r.result = stillImage_->RegisterLaunchApplication(text(0), text(1));
        break;
    case kUnregisterLaunchApplication:
        r.result = stillImage_->UnregisterLaunchApplication(text(0));
        break;
    case kRefreshDeviceBus:
        r.result = stillImage_->RefreshDeviceBus(text(0));
        break;
    case kReleaseDevice:
        device()->Release();
        r.result = S_OK;
        break;
    case kLockDevice:
        r.result = device()->LockDevice(r.values[0]);
        break;
    case kUnLockDevice:
        r.result = device()->UnLockDevice();
        break;
    case kEscape:
        r.result = device()->Escape(r.values[0], const_cast<void*>(r.arguments[1]), r.values[1],
                                    const_cast<void*>(r.arguments[2]), r.values[2],
                                    static_cast<DWORD*>(const_cast<void*>(r.arguments[3])));
        break;
    default:
        r.result = E_FAIL;
        break;
    }
}

HRESULT StiProxy::getDeviceList(DWORD* count, void** list) {
    Request r;
    r.code = kGetDeviceList;
    r.arguments[0] = count;
    r.arguments[1] = list;
    return call(r);
}

HRESULT StiProxy::createDevice(const WCHAR* internalName, IStiDevice** device) {
    Request r;
    r.code = kCreateDevice;
    r.arguments[0] = internalName;
    r.arguments[1] = device;
    r.values[0] = STI_DEVICE_CREATE_BOTH;
    return call(r);
}

HRESULT StiProxy::releaseDevice(IStiDevice* device) {
    Request r;
    r.code = kReleaseDevice;
    r.arguments[0] = device;
    return call(r);
}

HRESULT StiProxy::lockDevice(IStiDevice* device, DWORD timeout) {
    Request r;
    r.code = kLockDevice;
    r.arguments[0] = device;
    r.values[0] = timeout;
    return call(r);
}

HRESULT StiProxy::unLockDevice(IStiDevice* device) {
    Request r;
    r.code = kUnLockDevice;
    r.arguments[0] = device;
    return call(r);
}

HRESULT StiProxy::escape(IStiDevice* device, DWORD code, void* in, DWORD inSize, void* out,
                         DWORD outSize, DWORD* returned) {
    Request r;
    r.code = kEscape;
    r.arguments[0] = device;
    r.arguments[1] = in;
    r.arguments[2] = out;
    r.arguments[3] = returned;
    r.values[0] = code;
    r.values[1] = inSize;
    r.values[2] = outSize;
    return call(r);
}

long StiDevice::release() {
    const long left = --references_;
    if (left == 0) {
        proxy_->releaseDevice(device_);
        delete this;
    }
    return left;
}
