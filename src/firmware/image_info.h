#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What an image file holds, found out without a scanner: its records by type,
// the addresses its data covers, every record an upgrade would refuse or that
// is not what it claims to be, and the records that write the same addresses.
// The file is read the way an upgrade reads it (CAddressDataList, CAddressDataEx),
// so that a line number here is the line number an upgrade reports.

// The addresses [start, end). The end is kept in 64 bits: a record may run up to
// the top of the address space, or past it.
struct AddressRange {
    std::uint64_t start = 0;
    std::uint64_t end = 0;

    std::uint64_t size() const { return end - start; }
    friend bool operator==(const AddressRange&, const AddressRange&) = default;
};

// The ranges sorted by address, those that overlap or touch joined into one;
// empty ranges are dropped.
std::vector<AddressRange> MergeRanges(std::vector<AddressRange> ranges);

// The addresses of `ranges` that lie in none of `cover`; both sorted and merged,
// and so is the result.
std::vector<AddressRange> SubtractRanges(const std::vector<AddressRange>& ranges,
                                         const std::vector<AddressRange>& cover);

// A line an upgrade refuses or skips, or one that does not hold what its own
// fields say; `reason` says what is wrong, without an end mark.
struct BadRecord {
    // What an upgrade with the image does about the line.
    enum class Upgrade {
        Refuses, // a data record that does not decode: the upgrade stops before erasing
        Skips,   // no data record, or one too short to be read: the line is passed over
        Writes,  // the data decodes and is written as it stands
    };

    std::int32_t line = 0;
    std::string reason;
    Upgrade upgrade = Upgrade::Skips;
};

// Addresses that two or more data records hold, and the lines of every record
// that holds some of them, ascending. Records overlapping in stretches that do
// not touch make an entry each.
struct RecordOverlap {
    AddressRange range;
    std::vector<std::int32_t> lines;
};

// The data records' spans with their lines, for FindOverlaps.
struct RecordSpan {
    AddressRange range;
    std::int32_t line = 0;
};

// Every stretch that two or more spans cover, ascending; O(n log n) in the
// number of spans.
std::vector<RecordOverlap> FindOverlaps(const std::vector<RecordSpan>& spans);

struct ImageInfo {
    // Lines as the loader counts them (a last line without an end counts).
    std::int32_t lines = 0;
    // Lines ending in CR LF, and in a line feed alone.
    std::int32_t crLfLines = 0;
    std::int32_t lfLines = 0;
    // Carriage returns that stand inside a line: the loader ends a line at a
    // line feed only, so lines that end in a carriage return alone run together.
    std::uint64_t carriageReturnsInLines = 0;
    // Where a Ctrl-Z ends the text, as the loader has it; the bytes from there on
    // are not read.
    std::optional<std::uint64_t> endOfTextAt;
    std::uint64_t bytesNotRead = 0;

    // Lines by record type, S0 to S9 ('S' and a digit), bad ones included.
    std::array<std::int32_t, 10> recordsOfType{};
    // Lines that are no S-record, blank lines among them.
    std::int32_t noRecordLines = 0;
    std::int32_t blankLines = 0;

    // Data records (S1, S2, S3) that decode, and the bytes they hold; an address
    // held by several records counts for each.
    std::int32_t dataRecords = 0;
    std::uint64_t dataBytes = 0;
    // The addresses their data covers, merged.
    std::vector<AddressRange> ranges;

    // In line order.
    std::vector<BadRecord> badRecords;
    std::vector<RecordOverlap> overlaps;

    // Bytes of the merged ranges: each address once.
    std::uint64_t distinctBytes() const;
    // Nothing an upgrade would refuse or that looks wrong, and some data.
    bool good() const { return badRecords.empty() && dataRecords > 0; }
};

// Called with the whole percentage of the lines looked at, each time it rises.
using InfoProgress = std::function<void(int percent)>;

// Looks at the content of an image file.
ImageInfo AnalyseImage(std::string_view content, const InfoProgress& progress = {});
