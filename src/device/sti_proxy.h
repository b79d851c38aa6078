#pragma once

#include "platform/still_image.h"

#include <atomic>
#include <cstdint>

// The one worker thread of the process that makes every Still Image call.
// Callers on any thread hand it a request and block until it is done, so
// requests run one at a time in the order they were posted. The proxy is
// created on first use and reference counted; the last release stops the
// worker and frees "sti.dll".
class StiProxy {
public:
    // Request codes.
    enum Code : int {
        kCreateInstance = 0,
        kReleaseInstance = 1,
        kGetDeviceList = 2,
        kGetDeviceInfo = 3,
        kCreateDevice = 4,
        kGetDeviceValue = 5,
        kSetDeviceValue = 6,
        kGetLaunchInformation = 7,
        kRegisterLaunchApplication = 8,
        kUnregisterLaunchApplication = 9,
        kRefreshDeviceBus = 10,
        kReleaseDevice = 11,
        kLockDevice = 12,
        kUnLockDevice = 13,
        kEscape = 14,
    };

    // The shared proxy, with one more reference; created (worker started and
    // the service instance made with `instance`) when there is none. Null when
    // any of that fails, and then no proxy remains.
    static StiProxy* Acquire(platform::HINSTANCE instance);
    // Drops one reference; the last one releases the service and stops the worker.
    void release();

    platform::HRESULT getDeviceList(platform::DWORD* count, void** list);
    platform::HRESULT createDevice(const platform::WCHAR* internalName,
                                   platform::IStiDevice** device);
    platform::HRESULT releaseDevice(platform::IStiDevice* device);
    platform::HRESULT lockDevice(platform::IStiDevice* device, platform::DWORD timeout);
    platform::HRESULT unLockDevice(platform::IStiDevice* device);
    platform::HRESULT escape(platform::IStiDevice* device, platform::DWORD code, void* in,
                             platform::DWORD inSize, void* out, platform::DWORD outSize,
                             platform::DWORD* returned);

    // Any request by code; the unknown ones answer E_FAIL.
    struct Request {
        int code = -1;
        const void* arguments[8] = {};
        platform::DWORD values[4] = {};
        platform::HANDLE event = nullptr;
        platform::HRESULT result = platform::E_FAIL;
    };
    platform::HRESULT call(Request& request);

    // Whether a proxy exists now (tests).
    static bool Exists();

private:
    StiProxy() = default;
    ~StiProxy();
    bool start();
    void stop();
    static platform::DWORD WorkerMain(void* argument);
    void perform(Request& request);

    std::atomic<long> references_{0};
    platform::IStillImageW* stillImage_ = nullptr;
    platform::HMODULE library_ = nullptr;
    platform::HANDLE thread_ = nullptr;
    platform::DWORD threadId_ = 0;
    platform::HANDLE started_ = nullptr;
};

// One open Still Image device: the interface, the worker that reaches it, and
// the area a failed command's REQUEST SENSE data is read into. Reference
// counted; the last release has the worker release the interface.
class StiDevice {
public:
    StiDevice(platform::IStiDevice* device, StiProxy* proxy) : device_(device), proxy_(proxy) {}
    StiDevice(const StiDevice&) = delete;
    StiDevice& operator=(const StiDevice&) = delete;

    long addRef() { return ++references_; }
    long release();

    platform::IStiDevice* device() const { return device_; }
    StiProxy* proxy() const { return proxy_; }
    std::uint8_t* sense() { return sense_; }

private:
    ~StiDevice() = default;

    std::atomic<long> references_{1};
    platform::IStiDevice* device_;
    StiProxy* proxy_;
    std::uint8_t sense_[64] = {};
};
