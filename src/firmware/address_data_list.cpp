#include "firmware/address_data_list.h"

#include "firmware/file_open_error.h"
#include "firmware/line_splitter.h"
#include "firmware/prefetch.h"
#include "platform/files.h"
#include "platform/page_memory.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>
#include <utility>

// Room for the records of a load and for their bytes, in chunks of many
// records each; records are made in place. A record the list takes out is
// only counted off its chunk; the records of a chunk are destroyed together,
// in the order they were made, when its last one has been taken out (or the
// list is cleared), and the chunk is freed. The fill takes records out in
// address order, which in an image not in address order is no order in
// memory: destroying each at once would fetch every record once more.
struct CAddressDataList::Arena {
    static constexpr std::size_t kPerChunk = 4096;
    // Room for the bytes of the first chunk's records, which hold 32 bytes
    // each in most images; more is added as it is needed. Later chunks start
    // with room for what the chunk before them took: the pieces' pages are
    // all made ready when they are taken, so room the records leave unused
    // would stay in memory for nothing.
    static constexpr std::size_t kFirstPiece = 40 * kPerChunk;
    static constexpr std::size_t kPage = 4096;
    // A record asks for room for its whole line before it knows how much of
    // that it takes: the last ones of a chunk must still find it.
    static constexpr std::size_t kSlack = 512;
    // Pages of their own, so that a freed chunk goes back to the system at
    // once and the memory it held is there for the blocks and whatever else
    // the upgrade needs next, on whichever thread.
    struct Chunk {
        platform::PageMemory cells;
        std::vector<platform::PageMemory> pieces;
        std::uint32_t live = 0; // records made and not taken out
        std::uint32_t made = 0; // records made, and not destroyed
    };
    std::vector<Chunk> chunks;
    std::size_t usedInLast = kPerChunk;
    std::uint8_t* freeBytes = nullptr;
    std::size_t bytesLeft = 0;
    std::size_t bytesInChunk = 0; // taken by the current chunk's records
    std::size_t piece = kFirstPiece;

    // A record in the current chunk, whose index goes to `chunk`.
    CAddressDataEx* make(std::int32_t line, std::uint32_t& chunk) {
        if (usedInLast == kPerChunk) {
            // Each record is made in its cell.
            if (!chunks.empty())
                piece = (bytesInChunk + kSlack + kPage - 1) / kPage * kPage;
            chunks.push_back({platform::PageMemory(kPerChunk * sizeof(CAddressDataEx)), {}, 0});
            usedInLast = 0;
            freeBytes = nullptr;
            bytesLeft = 0;
            bytesInChunk = 0;
        }
        chunk = static_cast<std::uint32_t>(chunks.size() - 1);
        ++chunks.back().live;
        ++chunks.back().made;
        void* cell = chunks.back().cells.data() + usedInLast++ * sizeof(CAddressDataEx);
        return new (cell) CAddressDataEx(line);
    }

    // At least `size` bytes of room in the current chunk, which use() then
    // takes (some of).
    std::uint8_t* room(std::size_t size) {
        if (size > bytesLeft) {
            const std::size_t length = std::max(size, piece);
            auto& pieces = chunks.back().pieces;
            pieces.emplace_back(length);
            freeBytes = pieces.back().data();
            bytesLeft = length;
        }
        return freeBytes;
    }
    void use(std::size_t size) {
        freeBytes += size;
        bytesLeft -= size;
        bytesInChunk += size;
    }

    // A record of the chunk was taken out.
    void release(std::uint32_t chunk) {
        Chunk& c = chunks[chunk];
        if (--c.live == 0 && chunk + 1 != chunks.size())
            free(c);
    }

    void free(Chunk& c) {
        auto* records = reinterpret_cast<CAddressDataEx*>(c.cells.data());
        for (std::uint32_t i = 0; i < c.made; ++i)
            records[i].~CAddressDataEx();
        c.made = 0;
        c.cells = platform::PageMemory();
        c.pieces.clear();
        c.pieces.shrink_to_fit();
    }

    Arena() = default;
    Arena(const Arena&) = delete;
    Arena& operator=(const Arena&) = delete;
    ~Arena() {
        for (Chunk& c : chunks)
            free(c);
    }
};

CAddressDataList::Position& CAddressDataList::Position::operator++() {
    if (list_ != nullptr && slot_ != kNone)
        slot_ = list_->slots_[slot_].next;
    return *this;
}

CAddressDataList::Position& CAddressDataList::Position::operator--() {
    if (list_ != nullptr)
        slot_ = slot_ == kNone ? list_->tail_ : list_->slots_[slot_].previous;
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
    head_ = std::exchange(other.head_, kNone);
    tail_ = std::exchange(other.tail_, kNone);
    count_ = std::exchange(other.count_, 0);
    arena_ = std::move(other.arena_);
    fillState_ = std::move(other.fillState_);
    other.slots_.clear();
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

    std::uint32_t total = 0;
    std::int32_t lineNumber = 0;
    const auto take = [&](std::string_view line) { total += appendLine(line, ++lineNumber); };
    if (!SplitFileIntoLines(file, take, error)) {
        truncate(firstSlot);
        throw CFileOpenError(error);
    }
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
    std::uint32_t chunk = kNone;
    CAddressDataEx* entry = arena_->make(lineNumber, chunk);
    arena_->use(entry->parseInto(line, arena_->room(line.size() / 2)));
    link(entry, chunk);
    return static_cast<std::uint32_t>(entry->dataByteCount());
}

void CAddressDataList::truncate(std::uint32_t slot) {
    while (slots_.size() > slot) {
        // The load appends in slot order, so the last slot is the tail.
        removeKeepingFillState({this, tail_});
        slots_.pop_back();
    }
}

void CAddressDataList::append(std::unique_ptr<CAddressDataEx> entry) {
    if (!entry)
        throw std::invalid_argument("an image entry must be a record");
    fillState_.reset();
    link(entry.release(), kNone);
}

void CAddressDataList::link(CAddressDataEx* record, std::uint32_t chunk) {
    const auto slot = static_cast<std::uint32_t>(slots_.size());
    slots_.push_back({kNone, tail_, chunk, record});
    if (tail_ != kNone)
        slots_[tail_].next = slot;
    else
        head_ = slot;
    tail_ = slot;
    ++count_;
}

CAddressDataEx& CAddressDataList::at(Position position) {
    CAddressDataEx* record =
        position.slot_ < slots_.size() ? slots_[position.slot_].record.get() : nullptr;
    if (record == nullptr)
        throw std::invalid_argument("no image entry at the end of the list");
    return *record;
}

void CAddressDataList::prefetchSlot(std::uint32_t slot) const {
    if (slot >= slots_.size())
        return;
    Prefetch(&slots_[slot]);
}

CAddressDataList::Position CAddressDataList::remove(Position position) {
    fillState_.reset();
    return removeKeepingFillState(position);
}

CAddressDataList::Position CAddressDataList::removeKeepingFillState(Position position) {
    at(position); // throws at end()
    const std::uint32_t slot = position.slot_;
    const std::uint32_t after = slots_[slot].next;
    const std::uint32_t before = slots_[slot].previous;
    if (before != kNone)
        slots_[before].next = after;
    else
        head_ = after;
    if (after != kNone)
        slots_[after].previous = before;
    else
        tail_ = before;
    destroy(slot);
    --count_;
    return {this, after};
}

void CAddressDataList::destroy(std::uint32_t slot) {
    CAddressDataEx* record = slots_[slot].record.get();
    slots_[slot].record = nullptr;
    if (slots_[slot].chunk == kNone)
        delete record;
    else
        arena_->release(slots_[slot].chunk);
}

void CAddressDataList::clear() {
    fillState_.reset();
    for (std::uint32_t slot = head_; slot != kNone;) {
        const std::uint32_t after = slots_[slot].next;
        destroy(slot);
        slot = after;
    }
    slots_.clear();
    head_ = tail_ = kNone;
    count_ = 0;
    if (arena_)
        arena_ = std::make_unique<Arena>();
}
