#include "firmware/address_data_list.h"

#include "firmware/file_open_error.h"
#include "platform/files.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>
#include <utility>

namespace {

constexpr char kEndOfText = '\x1A'; // Ctrl-Z

} // namespace

// Room for the records of a load, many at a time; records are made in place
// and destroyed by the list.
struct CAddressDataList::Arena {
    static constexpr std::size_t kPerChunk = 4096;
    struct alignas(CAddressDataEx) Cell {
        unsigned char bytes[sizeof(CAddressDataEx)];
    };
    std::vector<std::unique_ptr<Cell[]>> chunks;
    std::size_t usedInLast = kPerChunk;

    CAddressDataEx* make(std::int32_t line) {
        if (usedInLast == kPerChunk) {
            // Left uninitialised: each record is made in its cell.
            chunks.push_back(std::unique_ptr<Cell[]>(new Cell[kPerChunk]));
            usedInLast = 0;
        }
        return new (chunks.back()[usedInLast++].bytes) CAddressDataEx(line);
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
    texts_ = std::move(other.texts_);
    fillState_ = std::move(other.fillState_);
    other.slots_.clear();
    other.next_.clear();
    other.previous_.clear();
    other.fromArena_.clear();
    other.texts_.clear();
    other.arena_ = std::make_unique<Arena>();
}

CAddressDataList::~CAddressDataList() {
    clear();
}

std::int32_t CAddressDataList::load(const std::string& fileName) {
    std::uint32_t error = 0;
    auto bytes = platform::ReadWholeFile(fileName, error);
    if (!bytes)
        throw CFileOpenError(error);
    // The records refer to the text, so the list keeps the file's content.
    texts_.push_back(std::move(*bytes));
    const auto& text = texts_.back();
    return parseText(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()));
}

std::int32_t CAddressDataList::loadText(std::string_view content) {
    texts_.emplace_back(content.begin(), content.end());
    const auto& text = texts_.back();
    return parseText(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()));
}

std::int32_t CAddressDataList::parseText(std::string_view content) {
    content = content.substr(0, content.find(kEndOfText));
    fillState_.reset();
    const std::size_t lines =
        slots_.size() + static_cast<std::size_t>(std::count(content.begin(), content.end(), '\n')) +
        1;
    slots_.reserve(lines);
    next_.reserve(lines);
    previous_.reserve(lines);
    fromArena_.reserve(lines);

    std::uint32_t total = 0;
    std::int32_t lineNumber = 0;
    const char* at = content.data();
    const char* const end = at + content.size();
    while (at != end) {
        const char* lineFeed = static_cast<const char*>(std::memchr(at, '\n', end - at));
        std::string_view line(at, (lineFeed != nullptr ? lineFeed : end) - at);
        at = lineFeed != nullptr ? lineFeed + 1 : end;
        if (lineFeed != nullptr && !line.empty() && line.back() == '\r')
            line.remove_suffix(1);

        CAddressDataEx* entry = arena_->make(++lineNumber);
        entry->parseInPlace(line);
        total += static_cast<std::uint32_t>(entry->dataByteCount());
        link(entry);
        fromArena_.push_back(true);
    }
    return static_cast<std::int32_t>(total);
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
    texts_.clear();
}
