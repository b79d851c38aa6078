#pragma once

#include <cstdint>
#include <map>

// The bytes of the main flash written since they were last read back. The
// boot code of the virtual scanner trusts new firmware only when every byte
// written was read back afterwards, as the tool does after its last block: an
// upgrade cut short before that (a lost connection, a failed write, a killed
// tool) leaves the scanner in its boot loader.
namespace sim {

class ReadBack {
public:
    void written(std::uint32_t address, std::uint32_t length) {
        add(address, end(address, length));
    }
    void read(std::uint32_t address, std::uint32_t length) {
        remove(address, end(address, length));
    }
    bool complete() const { return pending_.empty(); }
    void clear() { pending_.clear(); }

private:
    static std::uint64_t end(std::uint32_t address, std::uint32_t length) {
        return std::uint64_t{address} + length;
    }
    void add(std::uint64_t start, std::uint64_t stop);
    void remove(std::uint64_t start, std::uint64_t stop);

    std::map<std::uint64_t, std::uint64_t> pending_; // start -> end, disjoint
};

} // namespace sim
