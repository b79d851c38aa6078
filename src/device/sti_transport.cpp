#include "device/sti_transport.h"

#include "device/cmd_error.h"
#include "device/sti_proxy.h"
#include "platform/address32.h"
#include "platform/module_loader.h"
#include "platform/still_image.h"
#include "settings/localisation.h"

#include <atomic>
#include <cstring>
#include <string>

namespace {

using namespace platform;

constexpr char kPrefix[] = "STI\\";
constexpr std::size_t kPrefixLength = sizeof kPrefix - 1;
constexpr std::size_t kNameBytes = 256;
constexpr std::size_t kSenseBytes = 14;

const std::uint8_t kRequestSense[6] = {0x03, 0, 0, 0, 0x0E, 0};

// Set while a REQUEST SENSE after a failed command is under way, so that a
// failing REQUEST SENSE does not ask for its own sense.
std::atomic<bool> sendingSense{false};

bool toAnsi(const WCHAR* text, char (&out)[kNameBytes]) {
    std::memset(out, 0, sizeof out);
    if (text == nullptr)
        return false;
    return WideCharToMultiByte(CP_ACP, 0, text, -1, out, sizeof out - 1, nullptr, nullptr) != 0;
}

} // namespace

bool ProcessIsWow64() {
    HMODULE kernel32 = LoadLibraryA("kernel32");
    if (kernel32 == nullptr)
        return false;
    using IsWow64 = BOOL (*)(HANDLE, BOOL*);
    auto query = reinterpret_cast<IsWow64>(GetProcAddress(kernel32, "IsWow64Process"));
    BOOL wow64 = FALSE;
    const bool answered = query != nullptr && query(GetCurrentProcess(), &wow64);
    FreeLibrary(kernel32);
    return answered && wow64 != FALSE;
}

CSTIIF::~CSTIIF() {
    // Closing first also gives back the device, which would otherwise keep the
    // proxy's worker busy with an interface nobody releases.
    close();
}

bool CSTIIF::ensureStillImage() {
    if (stillImage_ == nullptr)
        stillImage_ = StiProxy::Acquire(reinterpret_cast<HINSTANCE>(handle()));
    return stillImage_ != nullptr;
}

void CSTIIF::releaseStillImage() {
    if (stillImage_ != nullptr) {
        stillImage_->release();
        stillImage_ = nullptr;
    }
}

bool CSTIIF::reconnect() {
    return ensureStillImage() && open();
}

bool CSTIIF::findAndCreate() {
    DWORD count = 0;
    void* list = nullptr;
    if (FAILED(stillImage_->getDeviceList(&count, &list)) || count == 0 || list == nullptr) {
        if (list != nullptr)
            LocalFree(list);
        return false;
    }
    auto* records = static_cast<STI_DEVICE_INFORMATIONW*>(list);
    bool converted = true;
    for (DWORD i = 0; i < count && device_ == nullptr && converted; ++i) {
        char internalName[kNameBytes];
        if (!toAnsi(records[i].szDeviceInternalName, internalName)) {
            converted = false;
            break;
        }
        for (std::size_t n = 0;; ++n) {
            const std::string candidate = identifier(n);
            if (candidate.empty())
                break;
            if (candidate.compare(0, kPrefixLength, kPrefix) != 0)
                continue;
            char localName[kNameBytes];
            if (!toAnsi(records[i].pszLocalName, localName)) {
                converted = false;
                break;
            }
            const std::string rest = candidate.substr(kPrefixLength);
            if (std::strncmp(localName, rest.c_str(), rest.size()) != 0)
                continue;
            IStiDevice* created = nullptr;
            if (SUCCEEDED(stillImage_->createDevice(records[i].szDeviceInternalName, &created)) &&
                created != nullptr) {
                device_ = new StiDevice(created, stillImage_);
                setDeviceName(candidate);
            }
            break;
        }
    }
    LocalFree(list);
    return device_ != nullptr;
}

bool CSTIIF::queryLink() {
    const bool wow64 = ProcessIsWow64();
    DWORD value = 2;
    HRESULT read;
    if (wow64) {
        DWORD returned = 0;
        read = stillImage_->escape(device_->device(), 2, nullptr, 0, &value, 4, &returned);
    } else {
        read = stillImage_->escape(device_->device(), 2, &value, 0, nullptr, 0, nullptr);
    }
    if (FAILED(read))
        value = 2;
    linkFlag_ = value == 1;
    if (!linkFlag_)
        return true;
    HRESULT set;
    if (wow64) {
        DWORD one = 1;
        set = stillImage_->escape(device_->device(), 3, &one, 4, nullptr, 0, nullptr);
    } else {
        set = stillImage_->escape(device_->device(), 3,
                                  reinterpret_cast<void*>(static_cast<std::uintptr_t>(1)), 0,
                                  nullptr, 0, nullptr);
    }
    return SUCCEEDED(set);
}

bool CSTIIF::open() {
    if (!ensureStillImage())
        return false;
    if (device_ != nullptr)
        return true;
    if (findAndCreate() && SUCCEEDED(stillImage_->lockDevice(device_->device(), kLockTimeout))) {
        locked_ = true;
        if (queryLink())
            return true;
    }
    close();
    return false;
}

void CSTIIF::close() {
    if (device_ != nullptr) {
        if (locked_)
            stillImage_->unLockDevice(device_->device());
        locked_ = false;
        device_->release();
        device_ = nullptr;
    }
    releaseStillImage();
}

void CSTIIF::reset() {
    close();
    open();
}

HRESULT CSTIIF::escapeOnce(const CCDB& cdb, sti::Direction direction, std::uint8_t* buffer,
                           std::size_t length, std::uint8_t* status) {
    std::memset(status, 0, sti::kStatusBlockSize);
    const bool receives = direction == sti::kDataIn;
    if (ProcessIsWow64()) {
        auto packet = sti::BuildPacket(direction, cdb.data(), cdb.size(), buffer, length);
        auto out = sti::BuildOutputBuffer(direction, length);
        DWORD returned = 0;
        const HRESULT result = stillImage_->escape(device_->device(), 1, packet.data(),
                                                   static_cast<DWORD>(packet.size()), out.data(),
                                                   static_cast<DWORD>(out.size()), &returned);
        std::memcpy(status, out.data(), sti::kStatusBlockSize);
        // The data part is copied back whatever the status says.
        if (receives && length != 0)
            std::memcpy(buffer, out.data() + sti::kStatusBlockSize, length);
        return result;
    }
    Address32 data(length != 0 ? buffer : nullptr);
    Address32 statusBlock(status);
    auto request =
        sti::BuildRequest32(direction, cdb.data(), cdb.size(), static_cast<std::uint32_t>(length),
                            data.value(), statusBlock.value());
    DWORD returned = 0;
    return stillImage_->escape(device_->device(), 1, request.data(), 0, nullptr, 0, &returned);
}

HRESULT CSTIIF::passThrough(const CCDB& cdb, sti::Direction direction, std::uint8_t* buffer,
                            std::size_t length) {
    std::uint8_t status[sti::kStatusBlockSize];
    escapeOnce(cdb, direction, buffer, length, status); // its own result says nothing more
    if (sti::CompletionValue(status) == 1)
        return S_OK;
    if (sendingSense.exchange(true))
        return S_OK;
    passThrough(CCDB(kRequestSense), sti::kDataIn, device_->sense(), kSenseBytes);
    sendingSense.store(false);
    return E_FAIL;
}

int CSTIIF::run(const CCDB& cdb, sti::Direction direction, std::uint8_t* buffer,
                std::size_t length) {
    if (device_ == nullptr || stillImage_ == nullptr)
        throw CCmdError(Translate("The scanner is not open."));
    if (FAILED(passThrough(cdb, direction, buffer, length)))
        throw CCmdError(device_->sense(), kSenseBytes);
    return 0;
}

int CSTIIF::executeIn(const CCDB& cdb, std::uint8_t* buffer, std::size_t length) {
    return run(cdb, sti::kDataIn, buffer, length);
}

int CSTIIF::executeOut(const CCDB& cdb, const std::uint8_t* buffer, std::size_t length) {
    return run(cdb, sti::kDataOut, const_cast<std::uint8_t*>(buffer), length);
}

int CSTIIF::execute(const CCDB& cdb) {
    return run(cdb, sti::kNoData, nullptr, 0);
}
