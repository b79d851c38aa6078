#pragma once

#include "sim/flash_memory.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The changes made to a scanner's flashes since its state file was last
// written, appended line by line as they happen, so that a scanner whose
// program ends without writing its state (a killed tool, a crash) keeps what
// was erased and written, as a real scanner's flash does:
//   E <processor> <first> <last>      erased, hexadecimal, inclusive
//   P <processor> <address> <bytes>   programmed, the bytes in hexadecimal
// A line cut short by the end of the program is ignored.
namespace sim {

class FlashJournal {
public:
    explicit FlashJournal(std::string fileName);
    ~FlashJournal();
    FlashJournal(const FlashJournal&) = delete;
    FlashJournal& operator=(const FlashJournal&) = delete;

    // Appends one change; the file is created on the first.
    void erased(unsigned processor, std::uint32_t first, std::uint32_t last);
    void programmed(unsigned processor, std::uint32_t address, const std::uint8_t* data,
                    std::uint32_t length);

    // Applies a journal left by an earlier program to the flashes (by
    // processor number); for each flash, whether the journal changed it.
    std::vector<bool> replay(const std::vector<FlashMemory*>& flashes);
    // The state file has been written: the journal is no longer needed.
    void discard();

private:
    void append(const std::string& line);

    std::string fileName_;
    struct File;
    std::unique_ptr<File> file_;
};

} // namespace sim
