#include "platform/aspi.h"

#include "platform/address32.h"
#include "platform/bus_trace.h"
#include "platform/sync.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

namespace platform {

namespace {

struct Backends {
    std::mutex lock;
    std::vector<std::shared_ptr<AspiBackend>> list;
};

Backends& backends() {
    static Backends instance;
    return instance;
}

std::vector<std::shared_ptr<AspiBackend>> snapshot() {
    auto& b = backends();
    std::lock_guard<std::mutex> guard(b.lock);
    return b.list;
}

// The backend that owns a host adapter id, and the adapter's number within it.
struct Route {
    std::shared_ptr<AspiBackend> backend;
    int adapter = -1;
};

Route route(int hostAdapter) {
    int first = 0;
    for (auto& backend : snapshot()) {
        const int count = backend->adapterCount();
        if (hostAdapter < first + count)
            return {backend, hostAdapter - first};
        first += count;
    }
    return {};
}

int totalAdapters() {
    int total = 0;
    for (auto& backend : snapshot())
        total += backend->adapterCount();
    return total;
}

const char* directionName(BYTE flags) {
    if (flags & SRB_DIR_OUT)
        return "out";
    if (flags & SRB_DIR_IN)
        return "in";
    return "none";
}

void traceExec(const SRB_ExecSCSICmd& block, const char* outcome) {
    if (!BusTraceOn())
        return;
    char head[96];
    std::snprintf(head, sizeof head, "ASPI %u:%u:%u ", block.hostAdapter, block.target, block.lun);
    char tail[160];
    std::snprintf(tail, sizeof tail, " %s %u -> status %02X ha %02X target %02X sense %s %s",
                  directionName(block.flags), static_cast<unsigned>(block.dataLength), block.status,
                  block.hostAdapterStatus, block.targetStatus, HexBytes(block.sense, 14).c_str(),
                  outcome);
    const std::size_t cdbLength = std::min<std::size_t>(block.cdbLength, sizeof block.cdb);
    BusTrace(head + HexBytes(block.cdb, cdbLength) + tail);
}

thread_local std::string lastErrorText;

DWORD execute(SRB_ExecSCSICmd& block) {
    lastErrorText.clear();
    block.status = SS_PENDING;
    block.hostAdapterStatus = HASTAT_OK;
    block.targetStatus = SCSI_STATUS_GOOD;
    std::memset(block.sense, 0, sizeof block.sense);

    Route target = route(block.hostAdapter);
    if (!target.backend) {
        block.status = SS_INVALID_HA;
        traceExec(block, "no adapter");
        return block.status;
    }
    BYTE* data = nullptr;
    if (block.dataLength != 0) {
        data = static_cast<BYTE*>(ResolveAddress32(block.dataBuffer));
        if (data == nullptr) {
            block.status = SS_INVALID_SRB;
            traceExec(block, "bad buffer");
            return block.status;
        }
    }
    if (!target.backend->execute(target.adapter, block, data)) {
        block.status = SS_PENDING;
        traceExec(block, "never completes");
        return SS_PENDING;
    }
    traceExec(block, lastErrorText.c_str());
    if ((block.flags & SRB_EVENT_NOTIFY) != 0 && block.postEvent != 0) {
        SetEvent(reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(block.postEvent)));
        return SS_PENDING;
    }
    return block.status;
}

DWORD inquireAdapter(SRB_HAInquiry& block) {
    const BYTE id = block.hostAdapter;
    std::memset(&block, 0, sizeof block);
    block.command = SC_HA_INQUIRY;
    block.hostAdapter = id;
    const int total = totalAdapters();
    block.adapterCount = static_cast<BYTE>(total);
    Route target = route(id);
    if (!target.backend) {
        block.status = SS_INVALID_HA;
    } else {
        target.backend->describeAdapter(target.adapter, block);
        block.hostAdapter = id;
        block.adapterCount = static_cast<BYTE>(total);
        block.status = SS_COMP;
    }
    if (BusTraceOn()) {
        char line[64];
        std::snprintf(line, sizeof line, "ASPI %u host adapter inquiry -> status %02X", id,
                      block.status);
        BusTrace(line);
    }
    return block.status;
}

DWORD rescan(SRB_RescanPort& block) {
    Route target = route(block.hostAdapter);
    if (!target.backend) {
        block.status = SS_INVALID_HA;
    } else {
        target.backend->rescan(target.adapter);
        block.status = SS_COMP;
    }
    if (BusTraceOn()) {
        char line[64];
        std::snprintf(line, sizeof line, "ASPI %u rescan -> status %02X", block.hostAdapter,
                      block.status);
        BusTrace(line);
    }
    return block.status;
}

} // namespace

void InstallAspiBackend(std::shared_ptr<AspiBackend> backend) {
    if (!backend)
        return;
    auto& b = backends();
    std::lock_guard<std::mutex> guard(b.lock);
    b.list.push_back(std::move(backend));
}

void RemoveAspiBackend(const std::shared_ptr<AspiBackend>& backend) {
    auto& b = backends();
    std::lock_guard<std::mutex> guard(b.lock);
    b.list.erase(std::remove(b.list.begin(), b.list.end(), backend), b.list.end());
}

bool AspiBackendInstalled() {
    auto& b = backends();
    std::lock_guard<std::mutex> guard(b.lock);
    return !b.list.empty();
}

namespace {

// The lines of one kind from every installed backend, in installation order.
std::vector<std::string> linesOfAll(std::vector<std::string> (AspiBackend::*kind)() const) {
    std::vector<std::string> lines;
    for (auto& backend : snapshot())
        for (auto& line : ((*backend).*kind)())
            lines.push_back(std::move(line));
    return lines;
}

} // namespace

std::vector<std::string> AspiNotes() {
    return linesOfAll(&AspiBackend::notes);
}

std::vector<std::string> AspiAccessProblems() {
    return linesOfAll(&AspiBackend::accessProblems);
}

void SetAspiErrorText(std::string text) {
    lastErrorText = std::move(text);
}

std::string AspiErrorText() {
    return lastErrorText;
}

DWORD GetASPI32SupportInfo() {
    const int total = std::min(totalAdapters(), 255);
    if (total == 0)
        return static_cast<DWORD>(SS_NO_ADAPTERS) << 8;
    return static_cast<DWORD>(SS_COMP) << 8 | static_cast<DWORD>(total);
}

DWORD SendASPI32Command(void* request) {
    if (request == nullptr)
        return SS_INVALID_SRB;
    auto* command = static_cast<BYTE*>(request);
    switch (command[0]) {
    case SC_EXEC_SCSI_CMD:
        return execute(*static_cast<SRB_ExecSCSICmd*>(request));
    case SC_HA_INQUIRY:
        return inquireAdapter(*static_cast<SRB_HAInquiry*>(request));
    case SC_RESCAN_SCSI_BUS:
        return rescan(*static_cast<SRB_RescanPort*>(request));
    default:
        command[1] = SS_INVALID_CMD;
        return SS_INVALID_CMD;
    }
}

BOOL GetASPI32Buffer(void*) {
    return FALSE;
}

BOOL FreeASPI32Buffer(void*) {
    return FALSE;
}

BOOL TranslateASPI32Address(DWORD*, DWORD*) {
    return FALSE;
}

} // namespace platform
