#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A virtual scanner as its profile (an INI file) describes it. Every key is
// documented in the README ("Virtual scanners"); this is the parsed form, with
// the defaults already applied.
namespace sim {

enum class Transport { Sti, Aspi };

// One erase block of a flash: programming clears bits, erasing sets the whole
// block to 0xFF.
struct EraseBlock {
    std::uint32_t start = 0;
    std::uint32_t size = 0;
};

// A sense that a command answers instead of succeeding.
struct FaultRule {
    std::string command; // a command kind (see CommandKindName), or "any"
    unsigned nth = 1;    // the first failing command of that kind, counted from 1
    unsigned count = 1;  // consecutive failing commands; 0: every one from then on
    std::uint8_t senseKey = 0;
    std::uint8_t asc = 0;
    std::uint8_t ascq = 0;
    std::uint32_t diagnostic = 0; // what RECEIVE DIAGNOSTIC RESULTS reports afterwards
};

// Processor 0 is the main controller; the others sit behind it and are
// reached through its sub-commands.
struct ProcessorProfile {
    unsigned index = 0;
    std::string name;            // as the processor information command reports it
    std::string version;         // decimal text, at most 8 characters
    std::string upgradedVersion; // reported after a completed upgrade; empty: unchanged
    bool zeroReply = false;      // the processor information reply is all zeros
    // Processors behind the main controller:
    enum class Access { Vendor, Send } access = Access::Vendor;
    std::uint8_t subCommandBase = 0x01; // start; finish, address and data follow
    std::uint8_t dataType = 0;          // SEND/READ data type code (Access::Send)
    std::vector<EraseBlock> flash;
    std::optional<std::uint32_t> corruptReadAt;
    std::string initialContent = "marker"; // "marker", "erased" or an S-record file
    std::string flashDump;                 // file written at the end of the process
};

struct ScannerProfile {
    std::string sourceFile;

    std::string vendor = "KORVA";
    std::string product;
    std::string revision;
    std::string downloadProduct;  // reported in download mode
    std::string downloadRevision; //
    std::string upgradedRevision; // reported after a completed upgrade and restart
    std::string bootRevision;     // reported after an upgrade that was cut short

    Transport transport = Transport::Sti;
    std::string bus = "USB"; // STI: "USB" or "SCSI"
    std::string localName;   // STI friendly name; "KORVA <product> <bus>" by default
    int adapter = 0;         // ASPI host adapter and target id
    int target = 0;

    std::uint32_t linkValue = 0;     // what the driver's link query reads
    bool leavesOnUpdateMode = false; // update mode drops the scanner off the bus
    unsigned leaveTime = 2000;       // ms off the bus after a mode change or restart
    unsigned commandTime = 0;        // ms every command takes
    bool vendorPage = true;          // answers the vendor inquiry page
    bool legacy = false;             // writes flash without download mode
    std::string downloadCode;        // expected with the download-mode SEND; "*": any

    std::vector<EraseBlock> flash;           // main controller flash
    std::uint32_t firmwareStart = 0;         // what the erase command erases,
    std::uint32_t firmwareEnd = 0xFFFFFFFFu; // inclusive bounds
    std::optional<std::uint32_t> corruptReadAt;
    std::string initialContent = "marker"; // "marker", "erased" or an S-record file

    std::vector<ProcessorProfile> processors; // index 0 first

    std::vector<FaultRule> faults;
    std::optional<unsigned> unplugAfter; // commands after which it is gone for good
    std::optional<unsigned> hangAfter;   // ASPI: commands after which requests never complete
    bool neverReturns = false;           // gone for good after a restart or mode change

    std::string trace;     // command trace file
    std::string flashDump; // main flash dump file
    std::string stateFile; // flash and versions kept between runs
};

// Reads a profile; throws std::runtime_error naming the file and key of the
// first bad value.
ScannerProfile LoadScannerProfile(const std::string& path);

} // namespace sim
