#pragma once

#include "platform/win_types.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// ASPI for Win32, shaped as its published interface: GetASPI32SupportInfo and
// SendASPI32Command (exported by "WNASPI32", see module_loader.h) on request
// blocks of a 32-bit process. Requests are carried out by backends installed
// beside one another (the virtual scanner's bus, a host's SCSI generic
// devices); host adapter ids are numbered across them in installation order.
//
// A request to execute a command completes before SendASPI32Command returns;
// the call still answers "pending" and signals the block's event, as the
// interface allows, so that callers go through their completion wait.
namespace platform {

#pragma pack(push, 1)

// "Execute SCSI command" (80 bytes). Buffer and event are 32-bit fields (see
// address32.h for how a 64-bit host fills the buffer field; event handles are
// small numbers, see sync.h).
struct SRB_ExecSCSICmd {
    BYTE command;           // SC_EXEC_SCSI_CMD
    BYTE status;            // SS_PENDING, SS_COMP, SS_ERR
    BYTE hostAdapter;       //
    BYTE flags;             // SRB_DIR_IN or SRB_DIR_OUT, OR SRB_EVENT_NOTIFY
    DWORD headerReserved;   //
    BYTE target;            //
    BYTE lun;               //
    WORD reserved1;         //
    DWORD dataLength;       //
    DWORD dataBuffer;       // 32-bit address of the data
    BYTE senseLength;       //
    BYTE cdbLength;         //
    BYTE hostAdapterStatus; // HASTAT_*
    BYTE targetStatus;      // SCSI status byte
    DWORD postEvent;        // completion event handle
    BYTE reserved2[20];     //
    BYTE cdb[16];           //
    BYTE sense[16];         // fixed-format sense data after a CHECK CONDITION
};

// "Host adapter inquiry" (60 bytes).
struct SRB_HAInquiry {
    BYTE command; // SC_HA_INQUIRY
    BYTE status;
    BYTE hostAdapter;
    BYTE flags;
    DWORD headerReserved;
    BYTE adapterCount;
    BYTE adapterScsiId;
    BYTE managerId[16];
    BYTE identifier[16];
    BYTE unique[16];
    WORD reserved;
};

// "Rescan SCSI bus" (8 bytes).
struct SRB_RescanPort {
    BYTE command; // SC_RESCAN_SCSI_BUS
    BYTE status;
    BYTE hostAdapter;
    BYTE flags;
    DWORD headerReserved;
};

#pragma pack(pop)

static_assert(sizeof(SRB_ExecSCSICmd) == 80);
static_assert(sizeof(SRB_HAInquiry) == 60);
static_assert(sizeof(SRB_RescanPort) == 8);
static_assert(offsetof(SRB_ExecSCSICmd, dataBuffer) == 16);
static_assert(offsetof(SRB_ExecSCSICmd, postEvent) == 24);
static_assert(offsetof(SRB_ExecSCSICmd, cdb) == 48);
static_assert(offsetof(SRB_ExecSCSICmd, sense) == 64);

constexpr BYTE SC_HA_INQUIRY = 0x00;
constexpr BYTE SC_EXEC_SCSI_CMD = 0x02;
constexpr BYTE SC_RESCAN_SCSI_BUS = 0x07;

constexpr BYTE SS_PENDING = 0x00;
constexpr BYTE SS_COMP = 0x01;
constexpr BYTE SS_ERR = 0x04;
constexpr BYTE SS_INVALID_CMD = 0x80;
constexpr BYTE SS_INVALID_HA = 0x81;
constexpr BYTE SS_INVALID_SRB = 0xE0;
constexpr BYTE SS_NO_ADAPTERS = 0xE8;

constexpr BYTE SRB_DIR_IN = 0x08;
constexpr BYTE SRB_DIR_OUT = 0x10;
constexpr BYTE SRB_EVENT_NOTIFY = 0x40;

constexpr BYTE HASTAT_OK = 0x00;
constexpr BYTE HASTAT_SEL_TO = 0x11;
constexpr BYTE HASTAT_DO_DU = 0x12;

constexpr BYTE SCSI_STATUS_GOOD = 0x00;
constexpr BYTE SCSI_STATUS_CHECK_CONDITION = 0x02;

// One set of host adapters.
class AspiBackend {
public:
    virtual ~AspiBackend() = default;

    virtual int adapterCount() const = 0;
    // Fills the identification fields of the block for one of its adapters
    // (counted from 0 within this backend); the layer sets count and status.
    virtual void describeAdapter(int adapter, SRB_HAInquiry& block) = 0;
    // Runs the block's command on one of its adapters and sets status, host
    // adapter status, target status and, after a CHECK CONDITION, the sense
    // area. `data` is the resolved data buffer (null when there is none).
    // Returns false when the request never completes (a hung bus): its status
    // stays pending and its event is never signalled.
    virtual bool execute(int adapter, SRB_ExecSCSICmd& block, BYTE* data) = 0;
    virtual void rescan(int adapter) = 0;
    // What the backend found worth telling at start: which device stands at
    // which position, which cannot be reached. One line each.
    virtual std::vector<std::string> notes() const { return {}; }
    // Devices that this process may not open, with what to do about it.
    virtual std::vector<std::string> accessProblems() const { return {}; }
};

void InstallAspiBackend(std::shared_ptr<AspiBackend> backend);
// Installs the system's own ASPI layer as a backend when there is one: on
// 32-bit Windows "WNASPI32.DLL" (a 64-bit process has no ASPI layer to load);
// on Linux the SCSI generic driver's devices (scsi_generic.h). True when one
// was installed.
bool InstallSystemAspi();
void RemoveAspiBackend(const std::shared_ptr<AspiBackend>& backend);
bool AspiBackendInstalled();
// The notes and access problems of every installed backend.
std::vector<std::string> AspiNotes();
std::vector<std::string> AspiAccessProblems();

// ASPI has no words for failures outside the SCSI protocol (a device gone, a
// system call refused). A backend leaves its text here for the execute
// request it is running; AspiErrorText gives it for the calling thread's last
// execute request, and is empty after a request without one.
void SetAspiErrorText(std::string text);
std::string AspiErrorText();

// Bits 8..15: SS_COMP, or SS_NO_ADAPTERS when there is none; bits 0..7: the
// number of host adapters.
DWORD GetASPI32SupportInfo();
// Returns the block's status after the call (SS_PENDING for an execute
// request, whose completion is signalled through its event).
DWORD SendASPI32Command(void* request);
// Looked up by callers, never needed: they answer failure.
BOOL GetASPI32Buffer(void* buffer);
BOOL FreeASPI32Buffer(void* buffer);
BOOL TranslateASPI32Address(DWORD* path, DWORD* deviceNode);

} // namespace platform
