#include "platform/aspi.h"
#include "platform/clock.h"

#include "platform/win32/windows_api.h"

#include <chrono>
#include <cstring>
#include <memory>

// The system's ASPI layer behind the program's ASPI calls. Its request blocks
// are the 32-bit process's own: the data buffer field holds the buffer's
// address and the event field a real event handle, so the layer exists only
// for a 32-bit process (there is no 64-bit ASPI layer).
namespace platform {

namespace {

using SendCommand = DWORD(__cdecl*)(void*);
using SupportInfo = DWORD(__cdecl*)();

// The request blocks are handed to the system's layer as they are.
static_assert(sizeof(SRB_ExecSCSICmd) == 80 && sizeof(SRB_HAInquiry) == 60 &&
              sizeof(SRB_RescanPort) == 8);
static_assert(offsetof(SRB_ExecSCSICmd, dataLength) == 12 &&
              offsetof(SRB_ExecSCSICmd, dataBuffer) == 16 &&
              offsetof(SRB_ExecSCSICmd, senseLength) == 20 &&
              offsetof(SRB_ExecSCSICmd, postEvent) == 24 && offsetof(SRB_ExecSCSICmd, cdb) == 48 &&
              offsetof(SRB_ExecSCSICmd, sense) == 64);
static_assert(offsetof(SRB_HAInquiry, adapterCount) == 8 &&
              offsetof(SRB_HAInquiry, managerId) == 10 &&
              offsetof(SRB_HAInquiry, identifier) == 26 && offsetof(SRB_HAInquiry, unique) == 42);

// The longest a command may take before it counts as never completing: the
// device layer's own wait (120 s) and some more.
constexpr std::uint64_t kCompletionBound = 125000;

class SystemAspi : public AspiBackend {
public:
    SystemAspi(HMODULE library, SendCommand send, int adapters)
        : library_(library), send_(send), adapters_(adapters) {}
    ~SystemAspi() override {
        if (!abandoned_)
            ::FreeLibrary(library_);
    }

    int adapterCount() const override { return adapters_; }

    void describeAdapter(int adapter, SRB_HAInquiry& block) override {
        SRB_HAInquiry inquiry{};
        inquiry.command = SC_HA_INQUIRY;
        inquiry.hostAdapter = static_cast<BYTE>(adapter);
        send_(&inquiry);
        if (inquiry.status != SS_COMP)
            return;
        block.adapterScsiId = inquiry.adapterScsiId;
        std::memcpy(block.managerId, inquiry.managerId, sizeof block.managerId);
        std::memcpy(block.identifier, inquiry.identifier, sizeof block.identifier);
        std::memcpy(block.unique, inquiry.unique, sizeof block.unique);
    }

    bool execute(int adapter, SRB_ExecSCSICmd& block, BYTE*) override {
        // The system's layer signals an event of its own; the caller's event is
        // signalled by the layer above once this returns.
        const HANDLE event = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
        if (event == nullptr) {
            block.status = SS_ERR;
            return true;
        }
        auto request = std::make_unique<SRB_ExecSCSICmd>(block);
        request->hostAdapter = static_cast<BYTE>(adapter);
        request->flags = static_cast<BYTE>(request->flags | SRB_EVENT_NOTIFY);
        request->postEvent = static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(event));
        if (send_(request.get()) == SS_PENDING) {
            const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(
                RealDuration(kCompletionBound));
            if (::WaitForSingleObject(event, static_cast<DWORD>(wait.count())) != WAIT_OBJECT_0 &&
                request->status == SS_PENDING) {
                // The layer still owns the block, its event and the library.
                request.release();
                abandoned_ = true;
                return false;
            }
        }
        ::CloseHandle(event);
        block.status = request->status;
        block.hostAdapterStatus = request->hostAdapterStatus;
        block.targetStatus = request->targetStatus;
        std::memcpy(block.sense, request->sense, sizeof block.sense);
        return true;
    }

    void rescan(int adapter) override {
        SRB_RescanPort block{};
        block.command = SC_RESCAN_SCSI_BUS;
        block.hostAdapter = static_cast<BYTE>(adapter);
        send_(&block);
    }

private:
    HMODULE library_;
    SendCommand send_;
    int adapters_;
    bool abandoned_ = false;
};

template <typename F> F entry(HMODULE library, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(library, name)));
}

} // namespace

bool InstallSystemAspi() {
    if constexpr (sizeof(void*) != 4) {
        return false;
    } else {
        const HMODULE library = ::LoadLibraryA("WNASPI32.DLL");
        if (library == nullptr)
            return false;
        const auto send = entry<SendCommand>(library, "SendASPI32Command");
        const auto info = entry<SupportInfo>(library, "GetASPI32SupportInfo");
        const DWORD support = send != nullptr && info != nullptr ? info() : 0;
        if (((support >> 8) & 0xFF) != SS_COMP || (support & 0xFF) == 0) {
            ::FreeLibrary(library);
            return false;
        }
        InstallAspiBackend(std::make_shared<SystemAspi>(library, send, support & 0xFF));
        return true;
    }
}

} // namespace platform
