#pragma once

#include "device/cdb.h"
#include "device/cmd_error.h"
#include "device/message_queue.h"
#include "device/msg_buffer.h"
#include "device/scsi_transport.h"
#include "device/sti_transport.h"
#include "flash/flash_map_ptr.h"

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

class CAddressData;

// The scanner: both transports, the one that found the device, the scanner's
// identity as it answers now, its flash map, and its commands. Every command
// goes to the selected transport; a failed one always leaves by a thrown
// CCmdError (after the hardware-error translation). Commands from different
// threads are serialised.
class CScanner {
public:
    CScanner();
    virtual ~CScanner();
    CScanner(const CScanner&) = delete;
    CScanner& operator=(const CScanner&) = delete;

    // The device name of the selected transport; empty when none matched.
    virtual std::string deviceName() const;
    // Adds the diagnostic detail to a hardware error, then throws the error.
    [[noreturn]] virtual void translateError(const CCmdError& error);
    // The held flash map's reconnect flag; false without a map.
    virtual bool NeedsReconnect() const;

    // --- Transport, through the selected one ---
    // STI first, then ASPI; then identification. 0 when no transport found a
    // device; a failing INQUIRY leaves as CCmdError.
    int open(int mode);
    // Replaces the acceptable identifiers by `list` and opens with mode 0.
    int openWith(const std::vector<std::string>& list);
    void close();
    void reset();
    bool linkFlag() const;
    int executeIn(const CCDB& cdb, CMsgBuffer& buffer);
    int executeIn(const CCDB& cdb, std::uint8_t* buffer, std::size_t length);
    int executeOut(const CCDB& cdb, const CMsgBuffer& buffer);
    int executeOut(const CCDB& cdb, const std::uint8_t* buffer, std::size_t length);
    int execute(const CCDB& cdb);

    // --- Identification ---
    // Bit 0 of mode: send nothing but TEST UNIT READY, with legacyDevice taken
    // from bit 1. Ends with the flash map choice.
    void identify(int mode);
    std::string identifier(std::size_t n) const;
    // "STI\" or "ASPI\" (up to and including the first backslash), or the whole
    // device name when it has none.
    std::string transportPrefix() const;

    // --- Commands ---
    int testUnitReady();
    // Swallows a failure and answers 0.
    int testUnitReadyQuiet();
    // `length` zero bytes, then the INQUIRY data.
    void inquiry(std::uint8_t* array, std::size_t length);
    void selectProcessor(int n);
    void enterUpdateMode();
    void prepareUpdateMode(int variant);
    void restart();
    void eraseBlock(std::uint32_t address);
    void eraseBlockAt(const CAddressData& record);
    void writeMemory(std::uint32_t address, const CMsgBuffer& buffer);
    void writeMemory(std::uint32_t address, const std::uint8_t* bytes, std::size_t length);
    void writeRecord(const CAddressData& record);
    void readMemory(CAddressData& record);
    // The erase this model's firmware area needs.
    void eraseFirmwareArea();
    std::uint32_t checksum(std::uint32_t start, std::uint32_t length);
    // 1 with the processor's name and version texts, or 0.
    int processorInfo(int index, std::string& name, std::string& version);
    // What processorInfo learns, told apart: the processor's name and version;
    // no such processor (the scanner refuses the index as an illegal request);
    // or nothing usable (any other error, no answer, an all-zero reply).
    enum class ProcessorAnswer { Named, NotPresent, Failed };
    ProcessorAnswer queryProcessor(int index, std::string& name, std::string& version);
    int processorVersion(int index);

    // Whether the product (at offset 8 of the identification) begins with `model`.
    bool productIs(const std::string& model) const;

    // --- State ---
    int useSti = 0;
    std::vector<std::string> identifiers;
    std::string inquiryString;
    std::string versionString;
    std::string modelString;
    int identityProcessor = 0;
    int quietErrors = 0;
    int legacyDevice = 0;
    CFlashMapPtr flashWriter;
    CMessageQueue queues[4]{CMessageQueue{false}, CMessageQueue{false}, CMessageQueue{false},
                            CMessageQueue{false}};

    // The transports (tests look at them).
    CSTIIF& sti() { return sti_; }
    CScsi& scsi() { return scsi_; }

private:
    // Each transport asks the scanner for the acceptable identifiers.
    class StiPart final : public CSTIIF {
    public:
        explicit StiPart(const CScanner& owner) : owner_(owner) {}
        std::string identifier(std::size_t n) const override { return owner_.identifier(n); }

    private:
        const CScanner& owner_;
    };
    class ScsiPart final : public CScsi {
    public:
        explicit ScsiPart(const CScanner& owner) : owner_(owner) {}
        std::string identifier(std::size_t n) const override { return owner_.identifier(n); }

    private:
        const CScanner& owner_;
    };

    CCommandObject& selected();
    const CCommandObject& selected() const;
    void chooseMap();

    StiPart sti_;
    ScsiPart scsi_;
    mutable std::recursive_mutex commands_;
    bool translating_ = false;
};

// The detail text of a diagnostic value; empty for 0.
std::string DiagnosticDetail(std::uint32_t value);
