#include "firmware/address_data_list.h"

#include "firmware/file_open_error.h"
#include "firmware/line_splitter.h"
#include "platform/files.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>
#include <utility>

namespace {

constexpr std::size_t kReadPiece = 1 << 20;

} // namespace

// Room for the records of a load and for their bytes, many at a time; records
// are made in place and destroyed by the list.
struct CAddressDataList::Arena {
    static constexpr std::size_t kPerChunk = 4096;
    static constexpr std::size_t kBytesPerPiece = 1 << 20;
    struct alignas(CAddressDataEx) Cell {
        unsigned char bytes[sizeof(CAddressDataEx)];
    };
    std::vector<std::unique_ptr<Cell[]>> chunks;
    std::size_t usedInLast = kPerChunk;
    std::vector<std::unique_ptr<std::uint8_t[]>> bytePieces;
    std::uint8_t* freeBytes = nullptr;
    std::size_t bytesLeft = 0;

    CAddressDataEx* make(std::int32_t line) {
        if (usedInLast == kPerChunk) {
            // Left uninitialised: each record is made in its cell.
            chunks.push_back(std::unique_ptr<Cell[]>(new Cell[kPerChunk]));
            usedInLast = 0;
        }
        return new (chunks.back()[usedInLast++].bytes) CAddressDataEx(line);
    }

    // At least `size` bytes of room, which use() then takes (some of).
    std::uint8_t* room(std::size_t size) {
        if (size > bytesLeft) {
            const std::size_t piece = std::max(size, kBytesPerPiece);
            bytePieces.push_back(std::make_unique_for_overwrite<std::uint8_t[]>(piece));
            freeBytes = bytePieces.back().get();
            bytesLeft = piece;
        }
        return freeBytes;
    }
    void use(std::size_t size) {
        freeBytes += size;
        bytesLeft -= size;
    }
};

CAddressDataList::Position& CAddressDataList::Position::operator++() {
    if (list_ != nullptr && slot_ != kNone)
        slot_ = list_->next_[slot_];
    return *this;
}

CAddressDataList::Position& CAddressDataList::Position::operator--() {
    if (list_ != nullptr)
        slot_ = slot_ == kNone ? list_->tail_ : list_->previous_[slot_];
    return *this;
}

CAddressDataList::CAddressDataList() : arena_(std::make_unique<Arena>()) {}

CAddressDataList::CAddressDataList(CAddressDataList&& other) noexcept {
    adopt(other);
}

CAddressDataList& CAddressDataList::operator=(CAddressDataList&& other) noexcept {
    if (this != &other) {
        clear();
        adopt(other);
    }
    return *this;
}

void CAddressDataList::adopt(CAddressDataList& other) noexcept {
    slots_ = std::move(other.slots_);
    next_ = std::move(other.next_);
    previous_ = std::move(other.previous_);
    fromArena_ = std::move(other.fromArena_);
    head_ = std::exchange(other.head_, kNone);
    tail_ = std::exchange(other.tail_, kNone);
    count_ = std::exchange(other.count_, 0);
    arena_ = std::move(other.arena_);
    fillState_ = std::move(other.fillState_);
    other.slots_.clear();
    other.next_.clear();
    other.previous_.clear();
    other.fromArena_.clear();
    other.arena_ = std::make_unique<Arena>();
}

CAddressDataList::~CAddressDataList() {
    clear();
}

std::int32_t CAddressDataList::load(const std::string& fileName) {
    std::uint32_t error = 0;
    platform::FileReader file = platform::FileReader::open(fileName, error);
    if (!file.valid())
        throw CFileOpenError(error);
    fillState_.reset();
    const auto firstSlot = static_cast<std::uint32_t>(slots_.size());
    // About 40 characters a line in the images met so far.
    const std::size_t lines = slots_.size() + static_cast<std::size_t>(file.sizeHint() / 40) + 1;
    slots_.reserve(lines);
    next_.reserve(lines);
    previous_.reserve(lines);
    fromArena_.reserve(lines);

    CLineSplitter splitter;
    std::uint32_t total = 0;
    std::int32_t lineNumber = 0;
    const auto take = [&](std::string_view line) { total += appendLine(line, ++lineNumber); };
    const auto buffer = std::make_unique_for_overwrite<char[]>(kReadPiece);
    for (;;) {
        const long n = file.read(buffer.get(), kReadPiece, error);
        if (n < 0) {
            truncate(firstSlot);
            throw CFileOpenError(error);
        }
        if (n == 0)
            break;
        splitter.feed(std::string_view(buffer.get(), static_cast<std::size_t>(n)), take);
    }
    splitter.finish(take);
    return static_cast<std::int32_t>(total);
}

std::int32_t CAddressDataList::loadText(std::string_view content) {
    fillState_.reset();
    CLineSplitter splitter;
    std::uint32_t total = 0;
    std::int32_t lineNumber = 0;
    const auto take = [&](std::string_view line) { total += appendLine(line, ++lineNumber); };
    splitter.feed(content, take);
    splitter.finish(take);
    return static_cast<std::int32_t>(total);
}

std::uint32_t CAddressDataList::appendLine(std::string_view line, std::int32_t lineNumber) {
    CAddressDataEx* entry = arena_->make(lineNumber);
    arena_->use(entry->parseInto(line, arena_->room(line.size() / 2)));
    link(entry);
    fromArena_.push_back(true);
    return static_cast<std::uint32_t>(entry->dataByteCount());
}

void CAddressDataList::truncate(std::uint32_t slot) {
    while (slots_.size() > slot) {
        // The load appends in slot order, so the last slot is the tail.
        removeKeepingFillState({this, tail_});
        slots_.pop_back();
        next_.pop_back();
        previous_.pop_back();
        fromArena_.pop_back();
    }
}

void CAddressDataList::append(std::unique_ptr<CAddressDataEx> entry) {
    if (!entry)
        throw std::invalid_argument("an image entry must be a record");
    fillState_.reset();
    link(entry.release());
    fromArena_.push_back(false);
}

void CAddressDataList::link(CAddressDataEx* record) {
    const auto slot = static_cast<std::uint32_t>(slots_.size());
    slots_.push_back(record);
    next_.push_back(kNone);
    previous_.push_back(tail_);
    if (tail_ != kNone)
        next_[tail_] = slot;
    else
        head_ = slot;
    tail_ = slot;
    ++count_;
}

CAddressDataEx& CAddressDataList::at(Position position) {
    if (position.slot_ == kNone || position.slot_ >= slots_.size() ||
        slots_[position.slot_] == nullptr)
        throw std::invalid_argument("no image entry at the end of the list");
    return *slots_[position.slot_];
}

CAddressDataList::Position CAddressDataList::remove(Position position) {
    fillState_.reset();
    return removeKeepingFillState(position);
}

CAddressDataList::Position CAddressDataList::removeKeepingFillState(Position position) {
    at(position); // throws at end()
    const std::uint32_t slot = position.slot_;
    const std::uint32_t after = next_[slot];
    const std::uint32_t before = previous_[slot];
    if (before != kNone)
        next_[before] = after;
    else
        head_ = after;
    if (after != kNone)
        previous_[after] = before;
    else
        tail_ = before;
    destroy(slot);
    --count_;
    return {this, after};
}

void CAddressDataList::destroy(std::uint32_t slot) {
    CAddressDataEx* record = slots_[slot];
    slots_[slot] = nullptr;
    if (fromArena_[slot])
        record->~CAddressDataEx();
    else
        delete record;
}

void CAddressDataList::clear() {
    fillState_.reset();
    for (std::uint32_t slot = head_; slot != kNone;) {
        const std::uint32_t after = next_[slot];
        destroy(slot);
        slot = after;
    }
    slots_.clear();
    next_.clear();
    previous_.clear();
    fromArena_.clear();
    head_ = tail_ = kNone;
    count_ = 0;
    if (arena_)
        arena_ = std::make_unique<Arena>();
}
