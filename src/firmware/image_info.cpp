#include "firmware/image_info.h"

#include "firmware/address_data_list.h"
#include "firmware/format_error.h"
#include "firmware/radix_sort.h"

#include <algorithm>
#include <cstdio>
#include <set>
#include <stdexcept>

namespace {

constexpr char kEndOfText = '\x1A'; // Ctrl-Z, where the loader stops reading
constexpr std::uint64_t kAddressSpaceEnd = std::uint64_t{1} << 32;

// The lines of the text exactly as CAddressDataList::loadText cuts them: at a
// line feed, with one carriage return before it taken off; a last line without
// a line feed keeps whatever it ends in.
class LoaderLines {
public:
    enum class End { None, Lf, CrLf };

    explicit LoaderLines(std::string_view text) : rest_(text) {}

    bool next(std::string_view& line, End& end) {
        if (rest_.empty())
            return false;
        const std::size_t lineFeed = rest_.find('\n');
        line = rest_.substr(0, lineFeed);
        rest_ =
            lineFeed == std::string_view::npos ? std::string_view() : rest_.substr(lineFeed + 1);
        end = End::None;
        if (lineFeed != std::string_view::npos) {
            end = End::Lf;
            if (!line.empty() && line.back() == '\r') {
                line.remove_suffix(1);
                end = End::CrLf;
            }
        }
        return true;
    }

private:
    std::string_view rest_;
};

// The record type of a line, 0 to 9; -1 for a line that is no S-record.
int recordType(std::string_view line) {
    if (line.size() < 2 || line[0] != 'S' || line[1] < '0' || line[1] > '9')
        return -1;
    return line[1] - '0';
}

bool isDataType(int type) {
    return type >= 1 && type <= 3;
}

// Address digits of each record type; S4 is reserved and has none.
constexpr std::size_t kAddressDigits[10] = {4, 4, 6, 8, 0, 4, 6, 8, 6, 4};

std::string format(const char* pattern, auto... values) {
    char text[256];
    std::snprintf(text, sizeof text, pattern, values...);
    return text;
}

std::string characterName(char c) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\r')
        return "a carriage return";
    if (byte == 0)
        return "a NUL byte";
    if (byte >= 0x20 && byte < 0x7F)
        return format("'%c'", c);
    return format("byte 0x%02X", static_cast<unsigned>(byte));
}

// The start of a line that is no record, for the reader to recognise it.
std::string lineStart(std::string_view line) {
    std::string shown;
    for (char c : line.substr(0, 16)) {
        const auto byte = static_cast<unsigned char>(c);
        shown += (byte >= 0x20 && byte < 0x7F && c != '"') ? c : '.';
    }
    return shown;
}

// What is wrong with a line of the given record type, in the terms of its
// fields: a character that is no digit, an odd number of digits, too few
// digits for its type, a checksum that does not match, a count field that does
// not match the line. Nothing when the line is a sound record.
std::optional<std::string> recordFault(std::string_view line, int type) {
    if (type == 4)
        return std::string("record type S4 is reserved");
    // A line that ends in a carriage return alone does not end there for the
    // loader: the lines after it run into it.
    if (const auto returns = std::count(line.begin(), line.end(), '\r'); returns > 0)
        return format("%zu characters with %zu carriage returns in them (the first in column "
                      "%zu): lines run together, no valid record",
                      line.size(), static_cast<std::size_t>(returns), line.find('\r') + 1);
    for (std::size_t i = 2; i < line.size(); ++i)
        if (HexDigitValue(line[i]) < 0)
            return characterName(line[i]) + format(" in column %zu is no hexadecimal digit", i + 1);
    const std::size_t digits = line.size() - 2;
    if (digits % 2 != 0)
        return format("odd number of hexadecimal digits (%zu) after the record type", digits);
    const std::size_t frameDigits = 2 + kAddressDigits[type] + 2;
    if (digits < frameDigits)
        return format("too short for an S%d record (%zu characters)", type, line.size());

    const std::size_t byteCount = digits / 2;
    std::uint8_t sum = 0;
    std::uint8_t count = 0;
    std::uint8_t checksum = 0;
    for (std::size_t i = 0; i < byteCount; ++i) {
        const auto value = static_cast<std::uint8_t>((HexDigitValue(line[2 + 2 * i]) << 4) |
                                                     HexDigitValue(line[3 + 2 * i]));
        if (i == 0)
            count = value;
        if (i + 1 == byteCount)
            checksum = value;
        else
            sum = static_cast<std::uint8_t>(sum + value);
    }
    const auto needed = static_cast<std::uint8_t>(~sum);
    if (checksum != needed)
        return format("checksum 0x%02X, the record needs 0x%02X", static_cast<unsigned>(checksum),
                      static_cast<unsigned>(needed));
    if (count != byteCount - 1)
        return format("count field 0x%02X, the line holds 0x%02zX bytes after it",
                      static_cast<unsigned>(count), byteCount - 1);
    return std::nullopt;
}

// One line of the image, looked at with the record the loader made of it.
class LineCheck {
public:
    LineCheck(ImageInfo& info, std::vector<RecordSpan>& spans) : info_(info), spans_(spans) {}

    void look(std::string_view line, CAddressDataEx& entry) {
        const int type = recordType(line);
        if (type < 0) {
            ++info_.noRecordLines;
            if (line.empty())
                ++info_.blankLines;
            else
                bad(entry,
                    format("no S-record (%zu characters, beginning \"%s\")", line.size(),
                           lineStart(line).c_str()),
                    BadRecord::Upgrade::Skips);
            return;
        }
        ++info_.recordsOfType[static_cast<std::size_t>(type)];
        if (isDataType(type))
            lookAtData(line, type, entry);
        else if (const auto fault = recordFault(line, type))
            bad(entry, *fault, BadRecord::Upgrade::Skips);
    }

private:
    void lookAtData(std::string_view line, int type, CAddressDataEx& entry) {
        // Parsed again here for the reason the loader had, which it keeps to itself.
        if (entry.parse(line)) {
            bad(entry, recordFault(line, type).value_or("too short for its type"),
                BadRecord::Upgrade::Skips);
            return;
        }
        try {
            entry.decode();
        } catch (const CFormatError&) {
            bad(entry, recordFault(line, type).value_or("the record does not decode"),
                BadRecord::Upgrade::Refuses);
            return;
        }
        ++info_.dataRecords;
        info_.dataBytes += entry.size();
        const std::uint64_t start = entry.address();
        const std::uint64_t end = start + entry.size();
        if (entry.size() > 0)
            spans_.push_back({{start, end}, entry.line()});
        if (const auto fault = recordFault(line, type))
            bad(entry, *fault, BadRecord::Upgrade::Writes);
        else if (end > kAddressSpaceEnd)
            bad(entry, "the data runs past address 0xFFFFFFFF", BadRecord::Upgrade::Writes);
    }

    void bad(const CAddressDataEx& entry, std::string reason, BadRecord::Upgrade upgrade) {
        info_.badRecords.push_back({entry.line(), std::move(reason), upgrade});
    }

    ImageInfo& info_;
    std::vector<RecordSpan>& spans_;
};

} // namespace

std::vector<AddressRange> MergeRanges(std::vector<AddressRange> ranges) {
    const auto byStart = [](const AddressRange& a, const AddressRange& b) {
        return a.start < b.start;
    };
    // Ranges of an image start at 32-bit addresses.
    const bool addresses = std::all_of(
        ranges.begin(), ranges.end(), [](const AddressRange& r) { return r.start <= 0xFFFFFFFFu; });
    if (addresses)
        RadixSortBy(ranges, [](const AddressRange& r) { return r.start; });
    else
        std::sort(ranges.begin(), ranges.end(), byStart);
    std::vector<AddressRange> merged;
    for (const AddressRange& range : ranges) {
        if (range.size() == 0)
            continue;
        if (!merged.empty() && range.start <= merged.back().end)
            merged.back().end = std::max(merged.back().end, range.end);
        else
            merged.push_back(range);
    }
    return merged;
}

std::vector<AddressRange> SubtractRanges(const std::vector<AddressRange>& ranges,
                                         const std::vector<AddressRange>& cover) {
    std::vector<AddressRange> left;
    auto next = cover.begin();
    for (const AddressRange& range : ranges) {
        std::uint64_t from = range.start;
        // Cover ranges that end before this range are of no use to later ones either.
        while (next != cover.end() && next->end <= from)
            ++next;
        for (auto c = next; c != cover.end() && c->start < range.end; ++c) {
            if (c->start > from)
                left.push_back({from, c->start});
            from = std::max(from, c->end);
        }
        if (from < range.end)
            left.push_back({from, range.end});
    }
    return left;
}

std::vector<RecordOverlap> FindOverlaps(const std::vector<RecordSpan>& spans) {
    // A sweep over the spans' ends and starts; at one address the ends come
    // first, as a span holds its start and not its end.
    struct Event {
        std::uint64_t at;
        bool start;
        std::size_t span;
    };
    std::vector<Event> events;
    events.reserve(2 * spans.size());
    for (std::size_t i = 0; i < spans.size(); ++i) {
        if (spans[i].range.size() == 0)
            continue;
        events.push_back({spans[i].range.start, true, i});
        events.push_back({spans[i].range.end, false, i});
    }
    std::sort(events.begin(), events.end(), [](const Event& a, const Event& b) {
        return a.at != b.at ? a.at < b.at : (!a.start && b.start);
    });

    std::vector<RecordOverlap> overlaps;
    std::set<std::size_t> active;
    bool open = false;
    std::uint64_t openedAt = 0;
    std::vector<std::size_t> members;
    const auto close = [&](std::uint64_t at) {
        std::vector<std::int32_t> lines;
        lines.reserve(members.size());
        for (std::size_t member : members)
            lines.push_back(spans[member].line);
        std::sort(lines.begin(), lines.end());
        lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
        overlaps.push_back({{openedAt, at}, std::move(lines)});
        members.clear();
        open = false;
    };

    for (std::size_t i = 0; i < events.size();) {
        const std::uint64_t at = events[i].at;
        for (; i < events.size() && events[i].at == at && !events[i].start; ++i)
            active.erase(events[i].span);
        if (open && active.size() < 2)
            close(at);
        for (; i < events.size() && events[i].at == at; ++i) {
            active.insert(events[i].span);
            if (open)
                members.push_back(events[i].span);
        }
        // Opened with at most one span from before this address and the ones
        // starting here, so the copies stay linear in the number of spans.
        if (!open && active.size() >= 2) {
            open = true;
            openedAt = at;
            members.assign(active.begin(), active.end());
        }
    }
    return overlaps;
}

std::uint64_t ImageInfo::distinctBytes() const {
    std::uint64_t total = 0;
    for (const AddressRange& range : ranges)
        total += range.size();
    return total;
}

ImageInfo AnalyseImage(std::string_view content, const InfoProgress& progress) {
    ImageInfo info;
    const std::size_t endOfText = content.find(kEndOfText);
    if (endOfText != std::string_view::npos) {
        info.endOfTextAt = endOfText;
        info.bytesNotRead = content.size() - endOfText;
    }

    CAddressDataList image;
    image.loadText(content);
    const std::size_t total = image.count();

    std::vector<RecordSpan> spans;
    LineCheck check(info, spans);
    LoaderLines lines(content.substr(0, endOfText));
    int shownPercent = 0;
    std::string_view line;
    LoaderLines::End end = LoaderLines::End::None;
    // Each record is dropped once looked at, so that no more than one is decoded
    // at a time.
    for (auto position = image.head(); position != image.end();) {
        if (!lines.next(line, end))
            throw std::logic_error("the image has more records than lines");
        ++info.lines;
        if (end == LoaderLines::End::CrLf)
            ++info.crLfLines;
        else if (end == LoaderLines::End::Lf)
            ++info.lfLines;
        info.carriageReturnsInLines +=
            static_cast<std::uint64_t>(std::count(line.begin(), line.end(), '\r'));
        check.look(line, image.at(position));
        position = image.remove(position);

        const int percent = static_cast<int>(static_cast<std::uint64_t>(info.lines) * 100 / total);
        if (percent > shownPercent) {
            shownPercent = percent;
            if (progress)
                progress(percent);
        }
    }

    std::vector<AddressRange> ranges;
    ranges.reserve(spans.size());
    for (const RecordSpan& span : spans)
        ranges.push_back(span.range);
    info.ranges = MergeRanges(std::move(ranges));
    info.overlaps = FindOverlaps(spans);
    return info;
}
