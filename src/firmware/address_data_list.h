#pragma once

#include "firmware/address_data.h"
#include "firmware/packed_pointer.h"

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// A firmware image: one record for every line of its S-record file, in file
// order, owned by the list. The block fill lays it out as if it walked it from
// the head again for each block, and takes out the records it has used up.
//
// Images run to millions of lines, so the list is built for that: a load reads
// the file in large pieces and keeps no text; its records are allocated many
// at a time, and each line's digits are turned into bytes at once, into
// storage the list holds for many records together (decode() then only takes
// up the outcome); the order is kept in index links, so that taking out a
// record costs nothing else. The room of records made together goes back as
// soon as the last of them is taken out, so that an image laid out in address
// order gives its memory back while the blocks are filled.
class CAddressDataList {
public:
    // Where an entry stands; stays valid until that entry is removed.
    class Position {
    public:
        using iterator_category = std::bidirectional_iterator_tag;
        using value_type = CAddressDataEx;
        using difference_type = std::ptrdiff_t;
        using pointer = CAddressDataEx*;
        using reference = CAddressDataEx&;

        Position() = default;
        Position& operator++();
        Position operator++(int) {
            Position before = *this;
            ++*this;
            return before;
        }
        // From end(), the last entry.
        Position& operator--();
        Position operator--(int) {
            Position before = *this;
            --*this;
            return before;
        }
        friend bool operator==(const Position& a, const Position& b) { return a.slot_ == b.slot_; }

    private:
        friend class CAddressDataList;
        Position(const CAddressDataList* list, std::uint32_t slot) : list_(list), slot_(slot) {}
        const CAddressDataList* list_ = nullptr;
        std::uint32_t slot_ = kNone;
    };

    CAddressDataList();
    CAddressDataList(CAddressDataList&&) noexcept;
    CAddressDataList& operator=(CAddressDataList&&) noexcept;
    ~CAddressDataList();

    // Appends one record for every line of the file and returns the number of data
    // bytes they will hold. Raises CFileOpenError when the file cannot be opened
    // or read; nothing is appended then.
    std::int32_t load(const std::string& fileName);

    // As load, for file content already in memory. Lines end at CR LF or a lone
    // LF, a last line without an end counts, and a Ctrl-Z ends the text, as a
    // Windows text-mode read has it.
    std::int32_t loadText(std::string_view content);

    // std::invalid_argument for a null entry.
    void append(std::unique_ptr<CAddressDataEx> entry);

    std::size_t count() const { return count_; }
    bool empty() const { return count_ == 0; }

    Position head() { return {this, head_}; }
    Position end() { return {this, kNone}; }
    // The entry at a position; std::invalid_argument at end().
    CAddressDataEx& at(Position position);
    // Deletes the entry at a position and returns the position after it;
    // std::invalid_argument at end().
    Position remove(Position position);
    // Deletes every entry, head first.
    void clear();

    // What the block fill keeps with the image from one block to the next (an
    // index of the entries by address). Every change made to the list other
    // than through removeKeepingFillState drops it.
    struct FillState {
        virtual ~FillState() = default;
    };
    FillState* fillState() const { return fillState_.get(); }
    void setFillState(std::unique_ptr<FillState> state) { fillState_ = std::move(state); }
    // remove(), for the fill that keeps its state up to date itself.
    Position removeKeepingFillState(Position position);
    // A position as a number, and back, for the fill's index: the entry's place
    // among every entry the list has been given since it was last cleared.
    static std::uint32_t slotOf(Position position) { return position.slot_; }
    Position positionOfSlot(std::uint32_t slot) { return {this, slot}; }
    // Entries are appended only, so slots rise in list order; this is one
    // more than the last slot given.
    std::uint32_t slotsMade() const { return static_cast<std::uint32_t>(slots_.size()); }
    // Fetch ahead, for the fill: the slot that taking its entry out reads and
    // changes.
    void prefetchSlot(std::uint32_t slot) const;

private:
    static constexpr std::uint32_t kNone = 0xFFFFFFFFu;
    struct Arena;

    // Takes over the other list's entries, leaving it empty.
    void adopt(CAddressDataList& other) noexcept;
    // One record for the line, appended; returns its data byte count.
    std::uint32_t appendLine(std::string_view line, std::int32_t lineNumber);
    // Takes out and destroys the entries from the slot on (a load that failed).
    void truncate(std::uint32_t slot);
    // Takes a record into the order, after the last; `chunk` is the arena
    // chunk it was made in, kNone for one handed in.
    void link(CAddressDataEx* record, std::uint32_t chunk);
    // Empties the slot: a record handed in is destroyed, one made by a load
    // is counted off its chunk, which destroys it with the others.
    void destroy(std::uint32_t slot);

    // Every record made, in order. What taking a record out changes lies
    // together, in twenty bytes in a 64-bit program (the record's address
    // kept unaligned): an image has millions of records, and the fill takes
    // them out in address order, which is not the list's in every image.
    struct Slot {
        std::uint32_t next;
        std::uint32_t previous;
        std::uint32_t chunk; // the arena chunk a load made the record in; kNone for one handed in
        PackedPointer<CAddressDataEx> record; // null once removed
    };
    static_assert(sizeof(Slot) == 3 * sizeof(std::uint32_t) + sizeof(CAddressDataEx*));
    std::vector<Slot> slots_;
    std::uint32_t head_ = kNone;
    std::uint32_t tail_ = kNone;
    std::size_t count_ = 0;
    std::unique_ptr<Arena> arena_;
    std::unique_ptr<FillState> fillState_;
};
