#pragma once

#include "firmware/address_data.h"

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <string_view>

// A firmware image: one record for every line of its S-record file, in file
// order, owned by the list. The block fill lays it out as if it walked it from
// the head again for each block, and takes out the records it has used up.
class CAddressDataList {
public:
    using Entries = std::list<std::unique_ptr<CAddressDataEx>>;
    using Position = Entries::iterator;

    CAddressDataList() = default;
    CAddressDataList(CAddressDataList&&) = default;
    CAddressDataList& operator=(CAddressDataList&&) = default;
    ~CAddressDataList();

    // Appends one record for every line of the file and returns the number of data
    // bytes they will hold. Raises CFileOpenError when the file cannot be read;
    // nothing is appended then.
    std::int32_t load(const std::string& fileName);

    // As load, for file content already in memory. Lines end at CR LF or a lone
    // LF, a last line without an end counts, and a Ctrl-Z ends the text, as a
    // Windows text-mode read has it.
    std::int32_t loadText(std::string_view content);

    // std::invalid_argument for a null entry.
    void append(std::unique_ptr<CAddressDataEx> entry);

    std::size_t count() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }

    Position head() { return entries_.begin(); }
    Position end() { return entries_.end(); }
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

private:
    Entries entries_;
    std::unique_ptr<FillState> fillState_;
};
