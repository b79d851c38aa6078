#include "sim/sti_service.h"

#include "platform/address32.h"
#include "platform/bus_trace.h"
#include "platform/clock.h"
#include "platform/file_lock.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

namespace sim {

using namespace platform;

namespace {

constexpr std::size_t kStatusBlockSize = 68;
constexpr std::size_t kRequest32Size = 32;
constexpr std::size_t kPacketHeaderSize = 24;
constexpr std::size_t kCdbCapacity = 10;
constexpr DWORD kLockPoll = 100;

std::uint32_t le32(const BYTE* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint16_t le16(const BYTE* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

void putLe32(BYTE* p, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<BYTE>(value >> (8 * i));
}

std::string narrow(const std::u16string& text) {
    std::string out;
    for (char16_t c : text)
        out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

std::u16string widen(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

// Which scanner holds a device lock (one holder at a time per scanner).
struct LockTable {
    std::mutex lock;
    std::vector<std::pair<const VirtualScanner*, const void*>> holders;
};

LockTable& locks() {
    static LockTable table;
    return table;
}

class Device final : public IStiDevice {
public:
    Device(std::shared_ptr<VirtualScanner> scanner)
        : scanner_(std::move(scanner)), appearance_(scanner_->appearance()) {}

    ULONG AddRef() override { return ++references_; }
    ULONG Release() override {
        const ULONG left = --references_;
        if (left == 0) {
            UnLockDevice();
            delete this;
        }
        return left;
    }

    // One holder at a time: another device object of this process is refused
    // at once; a scanner that keeps its state between runs is one scanner for
    // every process, and another process's lock is waited for up to
    // `timeout` milliseconds.
    HRESULT LockDevice(DWORD timeout) override {
        if (!reachable())
            return HRESULT_DEVICE_NOT_CONNECTED;
        auto& table = locks();
        {
            std::lock_guard<std::mutex> guard(table.lock);
            for (auto& [scanner, holder] : table.holders)
                if (scanner == scanner_.get())
                    return holder == this ? S_OK : STIERR_DEVICE_LOCKED;
            table.holders.emplace_back(scanner_.get(), this);
        }
        const std::string& state = scanner_->profile().stateFile;
        if (state.empty())
            return S_OK;
        const std::uint64_t start = GetTickCount64();
        while (!processLock_.tryAcquire(state + ".lock")) {
            if (GetTickCount64() - start >= timeout) {
                UnLockDevice();
                return STIERR_DEVICE_LOCKED;
            }
            Sleep(kLockPoll);
        }
        return S_OK;
    }

    HRESULT UnLockDevice() override {
        auto& table = locks();
        std::lock_guard<std::mutex> guard(table.lock);
        auto& holders = table.holders;
        holders.erase(std::remove_if(holders.begin(), holders.end(),
                                     [this](const auto& entry) { return entry.second == this; }),
                      holders.end());
        processLock_.release();
        return S_OK;
    }

    HRESULT Escape(DWORD code, void* inData, DWORD inSize, void* outData, DWORD outSize,
                   DWORD* returned) override {
        if (returned != nullptr)
            *returned = 0;
        HRESULT result = E_INVALIDARG;
        switch (code) {
        case 1:
            result = inSize == 0
                         ? passThrough32(inData)
                         : passThroughByValue(static_cast<const BYTE*>(inData), inSize,
                                              static_cast<BYTE*>(outData), outSize, returned);
            break;
        case 2:
            result = readLink(inData, outData, outSize, returned);
            break;
        case 3:
            result = setLink(inData, inSize);
            break;
        default:
            break;
        }
        trace(code, inSize, outSize, result);
        return result;
    }

private:
    ~Device() override = default;

    bool reachable() const { return scanner_->present() && scanner_->appearance() == appearance_; }

    struct Request {
        DWORD direction = 0;
        BYTE cdb[kCdbCapacity] = {};
        std::size_t cdbLength = 0;
        std::size_t dataLength = 0;
    };

    static bool parseHeader(const BYTE* bytes, Request& request) {
        request.direction = le32(bytes);
        std::memcpy(request.cdb, bytes + 4, kCdbCapacity);
        request.cdbLength = le16(bytes + 14);
        return request.direction <= 2 && request.cdbLength >= 6 &&
               request.cdbLength <= kCdbCapacity;
    }

    static DataDirection directionOf(DWORD direction) {
        return direction == 1   ? DataDirection::In
               : direction == 2 ? DataDirection::Out
                                : DataDirection::None;
    }

    // Runs the command and fills the status block; false when nobody answered.
    bool run(const Request& request, BYTE* data, BYTE* status, std::size_t* transferred) {
        if (!reachable())
            return false;
        const CommandOutcome outcome =
            scanner_->execute(request.cdb, request.cdbLength, directionOf(request.direction), data,
                              data != nullptr ? request.dataLength : 0);
        if (!outcome.answered || outcome.hangs)
            return false;
        std::memset(status, 0, kStatusBlockSize);
        putLe32(status, outcome.good ? 1 : 0);
        putLe32(status + 4, outcome.good ? 0 : 2);
        std::memcpy(status + 8, outcome.sense.data(), outcome.sense.size());
        if (transferred != nullptr)
            *transferred = outcome.transferred;
        return true;
    }

    HRESULT passThrough32(void* inData) {
        if (inData == nullptr)
            return E_INVALIDARG;
        BYTE bytes[kRequest32Size];
        std::memcpy(bytes, inData, sizeof bytes);
        Request request;
        if (!parseHeader(bytes, request))
            return E_INVALIDARG;
        request.dataLength = le32(bytes + 16);
        auto* data = static_cast<BYTE*>(ResolveAddress32(le32(bytes + 20)));
        auto* status = static_cast<BYTE*>(ResolveAddress32(le32(bytes + 24)));
        if (status == nullptr || (request.dataLength != 0 && data == nullptr))
            return E_INVALIDARG;
        if (request.direction == 0)
            data = nullptr;
        return run(request, data, status, nullptr) ? S_OK : HRESULT_DEVICE_NOT_CONNECTED;
    }

    HRESULT passThroughByValue(const BYTE* in, DWORD inSize, BYTE* out, DWORD outSize,
                               DWORD* returned) {
        if (in == nullptr || inSize < kPacketHeaderSize + 4 || out == nullptr ||
            outSize < kStatusBlockSize)
            return E_INVALIDARG;
        Request request;
        if (!parseHeader(in, request))
            return E_INVALIDARG;
        request.dataLength = le32(in + 20);
        std::vector<BYTE> data;
        if (request.direction == 2) {
            if (inSize < kPacketHeaderSize + request.dataLength)
                return E_INVALIDARG;
            data.assign(in + kPacketHeaderSize, in + kPacketHeaderSize + request.dataLength);
        } else if (request.direction == 1) {
            if (outSize < kStatusBlockSize + request.dataLength)
                return E_INVALIDARG;
            data.assign(request.dataLength, 0);
        }
        BYTE status[kStatusBlockSize] = {};
        std::size_t transferred = 0;
        if (!run(request, data.empty() ? nullptr : data.data(), status, &transferred))
            return HRESULT_DEVICE_NOT_CONNECTED;
        std::memcpy(out, status, kStatusBlockSize);
        std::size_t count = kStatusBlockSize;
        if (request.direction == 1 && le32(status) == 1) {
            std::memcpy(out + kStatusBlockSize, data.data(), transferred);
            count += transferred;
        }
        if (returned != nullptr)
            *returned = static_cast<DWORD>(count);
        return S_OK;
    }

    HRESULT readLink(void* inData, void* outData, DWORD outSize, DWORD* returned) {
        if (!reachable())
            return HRESULT_DEVICE_NOT_CONNECTED;
        const std::uint32_t value = scanner_->linkValue();
        void* target = outData != nullptr && outSize >= 4 ? outData : inData;
        if (target == nullptr)
            return E_INVALIDARG;
        std::memcpy(target, &value, 4);
        if (returned != nullptr)
            *returned = 4;
        return S_OK;
    }

    HRESULT setLink(void* inData, DWORD inSize) {
        if (!reachable())
            return HRESULT_DEVICE_NOT_CONNECTED;
        std::uint32_t value = 0;
        if (inSize == 0) {
            value = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(inData));
        } else if (inSize >= 4 && inData != nullptr) {
            std::memcpy(&value, inData, 4);
        } else {
            return E_INVALIDARG;
        }
        scanner_->setLinkValue(value);
        return S_OK;
    }

    void trace(DWORD code, DWORD inSize, DWORD outSize, HRESULT result) const {
        if (!BusTraceOn())
            return;
        char line[160];
        std::snprintf(line, sizeof line, "STI %s escape %u in %u out %u -> %08X",
                      scanner_->profile().localName.c_str(), static_cast<unsigned>(code),
                      static_cast<unsigned>(inSize), static_cast<unsigned>(outSize),
                      static_cast<unsigned>(result));
        BusTrace(line);
    }

    std::shared_ptr<VirtualScanner> scanner_;
    const unsigned appearance_;
    std::atomic<ULONG> references_{1};
    FileLock processLock_;
};

class Service final : public IStillImageW {
public:
    explicit Service(std::vector<std::shared_ptr<VirtualScanner>> scanners)
        : scanners_(std::move(scanners)) {}

    ULONG AddRef() override { return ++references_; }
    ULONG Release() override {
        const ULONG left = --references_;
        if (left == 0)
            delete this;
        return left;
    }

    HRESULT GetDeviceList(DWORD, DWORD, DWORD* count, void** buffer) override {
        if (count == nullptr || buffer == nullptr)
            return E_POINTER;
        *count = 0;
        *buffer = nullptr;
        std::vector<std::size_t> listed;
        for (std::size_t i = 0; i < scanners_.size(); ++i)
            if (scanners_[i]->present())
                listed.push_back(i);

        // One block: the records, then every record's texts.
        struct Texts {
            std::u16string vendor, description, port, provider, local;
        };
        std::vector<Texts> texts;
        std::size_t textUnits = 0;
        for (std::size_t i : listed) {
            const auto& profile = scanners_[i]->profile();
            Texts t{widen(profile.vendor), widen(profile.vendor + " " + profile.product),
                    widen(profile.bus == "SCSI" ? "SCSI" : "USB"), u"sti.dll",
                    widen(profile.localName)};
            textUnits += t.vendor.size() + t.description.size() + t.port.size() +
                         t.provider.size() + t.local.size() + 5;
            texts.push_back(std::move(t));
        }
        const std::size_t recordBytes = listed.size() * sizeof(STI_DEVICE_INFORMATIONW);
        auto* block =
            static_cast<BYTE*>(LocalAlloc(LMEM_ZEROINIT, recordBytes + textUnits * sizeof(WCHAR)));
        if (block == nullptr)
            return E_OUTOFMEMORY;
        auto* records = reinterpret_cast<STI_DEVICE_INFORMATIONW*>(block);
        auto* next = reinterpret_cast<WCHAR*>(block + recordBytes);
        auto place = [&next](const std::u16string& text) {
            WCHAR* start = next;
            std::memcpy(start, text.data(), text.size() * sizeof(WCHAR));
            start[text.size()] = 0;
            next += text.size() + 1;
            return start;
        };
        for (std::size_t n = 0; n < listed.size(); ++n) {
            auto& record = records[n];
            record.dwSize = sizeof(STI_DEVICE_INFORMATIONW);
            record.DeviceType = StiDeviceTypeScanner;
            const std::u16string internal = InternalDeviceName(listed[n]);
            std::memcpy(record.szDeviceInternalName, internal.data(),
                        std::min(internal.size(), STI_MAX_INTERNAL_NAME_LENGTH - 1) *
                            sizeof(WCHAR));
            record.pszVendorDescription = place(texts[n].vendor);
            record.pszDeviceDescription = place(texts[n].description);
            record.pszPortName = place(texts[n].port);
            record.pszPropProvider = place(texts[n].provider);
            record.pszLocalName = place(texts[n].local);
        }
        *count = static_cast<DWORD>(listed.size());
        *buffer = block;
        if (BusTraceOn())
            BusTrace("STI device list -> " + std::to_string(listed.size()) + " device(s)");
        return S_OK;
    }

    HRESULT GetDeviceInfo(const WCHAR*, void**) override { return E_NOTIMPL; }

    HRESULT CreateDevice(const WCHAR* internalName, DWORD, IStiDevice** device,
                         void* outer) override {
        if (device == nullptr)
            return RPC_E_INVALID_PARAMETER_POINTER;
        *device = nullptr;
        if (internalName == nullptr || outer != nullptr)
            return E_INVALIDARG;
        const std::u16string name(internalName);
        HRESULT result = STIERR_INVALID_DEVICE_NAME;
        for (std::size_t i = 0; i < scanners_.size(); ++i) {
            if (InternalDeviceName(i) != name)
                continue;
            if (scanners_[i]->present()) {
                *device = new Device(scanners_[i]);
                result = S_OK;
            } else {
                result = HRESULT_DEVICE_NOT_CONNECTED;
            }
            break;
        }
        if (BusTraceOn()) {
            char line[64];
            std::snprintf(line, sizeof line, " -> %08X", static_cast<unsigned>(result));
            BusTrace("STI create device " + narrow(name) + line);
        }
        return result;
    }

    HRESULT GetDeviceValue(const WCHAR*, const WCHAR*, DWORD*, BYTE*, DWORD*) override {
        return E_NOTIMPL;
    }
    HRESULT SetDeviceValue(const WCHAR*, const WCHAR*, DWORD, const BYTE*, DWORD) override {
        return E_NOTIMPL;
    }
    HRESULT GetSTILaunchInformation(WCHAR*, DWORD*, WCHAR*) override { return E_NOTIMPL; }
    HRESULT RegisterLaunchApplication(const WCHAR*, const WCHAR*) override { return E_NOTIMPL; }
    HRESULT UnregisterLaunchApplication(const WCHAR*) override { return E_NOTIMPL; }
    HRESULT RefreshDeviceBus(const WCHAR*) override { return S_OK; }

private:
    ~Service() override = default;

    std::vector<std::shared_ptr<VirtualScanner>> scanners_;
    std::atomic<ULONG> references_{1};
};

} // namespace

IStillImageW* CreateStillImageService(std::vector<std::shared_ptr<VirtualScanner>> scanners) {
    return new Service(std::move(scanners));
}

std::u16string InternalDeviceName(std::size_t index) {
    char name[64];
    std::snprintf(name, sizeof name, "{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\%04zu", index);
    return widen(name);
}

} // namespace sim
