#include "app/image_tool.h"

#include "app/family_registry.h"
#include "firmware/address_data_list.h"
#include "firmware/block_fill.h"
#include "firmware/file_open_error.h"
#include "firmware/image_info.h"
#include "firmware/image_layout.h"
#include "flash/flash_map_selection.h"
#include "platform/clock.h"
#include "platform/file_kind.h"
#include "platform/files.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string_view>

namespace {

constexpr const char* kProgram = "refirm-image";
// How many bad records and overlaps a report lists without --all.
constexpr std::size_t kListedWithoutAll = 20;
// How many lines an overlap names without --all.
constexpr std::size_t kLinesWithoutAll = 10;
// Data bytes of each S3 record written with -o.
constexpr std::uint32_t kBytesPerRecord = 32;

std::string format(const char* pattern, auto... values) {
    char text[256];
    std::snprintf(text, sizeof text, pattern, values...);
    return text;
}

std::string hex32(std::uint64_t value) {
    return format("0x%08llX", static_cast<unsigned long long>(value));
}

// First and last address, both included, so that a range up to the top of the
// address space needs no ninth digit.
std::string rangeText(const AddressRange& range) {
    return hex32(range.start) + "-" + hex32(range.end - 1) +
           format("  %llu bytes", static_cast<unsigned long long>(range.size()));
}

std::string plural(std::uint64_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

void row(std::ostream& out, const char* name, const std::string& value) {
    out << format("%-16s", name) << value << '\n';
}

void listRanges(std::ostream& out, const char* name, const std::vector<AddressRange>& ranges) {
    row(out, name, ranges.empty() ? "none" : std::to_string(ranges.size()));
    for (const AddressRange& range : ranges)
        out << "  " << rangeText(range) << '\n';
}

// ---- Arguments ---------------------------------------------------------------

struct Arguments {
    std::string command;
    std::string image;
    std::optional<std::string> family;
    std::optional<std::string> product;
    std::optional<std::string> output;
    bool all = false;
};

struct UsageError {
    std::string text;
};

Arguments parseArguments(const std::vector<std::string>& args) {
    Arguments parsed;
    parsed.command = args.front();
    if (parsed.command != "info" && parsed.command != "layout")
        throw UsageError{"unknown command \"" + parsed.command + "\" (info or layout)"};
    const bool layout = parsed.command == "layout";
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const auto value = [&](std::optional<std::string>& into) {
            if (!layout)
                throw UsageError{arg + " belongs to the layout command"};
            if (into)
                throw UsageError{arg + " is given twice"};
            if (i + 1 == args.size())
                throw UsageError{arg + " needs a value"};
            into = args[++i];
        };
        if (arg == "--family")
            value(parsed.family);
        else if (arg == "--product")
            value(parsed.product);
        else if (arg == "-o" || arg == "--output")
            value(parsed.output);
        else if (arg == "--all" && !layout)
            parsed.all = true;
        else if (arg.size() > 1 && arg[0] == '-')
            throw UsageError{"unknown option " + arg};
        else if (!parsed.image.empty())
            throw UsageError{"one image at a time (\"" + parsed.image + "\" and \"" + arg + "\")"};
        else
            parsed.image = arg;
    }
    if (parsed.image.empty())
        throw UsageError{"no image named"};
    if (layout && parsed.family.has_value() == parsed.product.has_value())
        throw UsageError{"layout needs either --family or --product"};
    if (parsed.output && parsed.output->empty())
        throw UsageError{"-o needs a file name"};
    return parsed;
}

// ---- Reading the image -------------------------------------------------------

std::string unreadableText(const std::string& path, std::uint32_t code) {
    std::string why;
    if (platform::IsDirectory(path))
        why = "it is a directory";
    else if (code == 2)
        why = "there is no such file";
    else if (code == 3)
        why = "a directory on its path does not exist";
    else if (code == 5)
        why = "access is denied, or it is no regular file (a pipe, a device)";
    else
        why = format("error %u", static_cast<unsigned>(code));
    return "cannot read the image \"" + path + "\": " + why;
}

bool showsProgress(const std::ostream& err) {
    return &err == &std::cerr && platform::StandardErrorIsTerminal();
}

// ---- info --------------------------------------------------------------------

std::string lineEndsText(const ImageInfo& info) {
    const std::int32_t unended = info.lines - info.crLfLines - info.lfLines;
    std::string text;
    if (info.crLfLines > 0 && info.lfLines > 0)
        text = format("mixed, %d in CR LF and %d in LF", info.crLfLines, info.lfLines);
    else if (info.crLfLines > 0)
        text = "CR LF";
    else if (info.lfLines > 0)
        text = "LF";
    if (unended > 0)
        text = text.empty() ? "without a line end" : "ending in " + text + ", the last without one";
    else
        text = "ending in " + text;
    return text;
}

std::string recordCountsText(const ImageInfo& info) {
    std::string text;
    for (std::size_t type = 0; type < info.recordsOfType.size(); ++type) {
        if (info.recordsOfType[type] == 0)
            continue;
        text += (text.empty() ? "" : ", ") + format("S%zu %d", type, info.recordsOfType[type]);
    }
    if (info.noRecordLines > 0) {
        text += (text.empty() ? "" : ", ") + format("no record %d", info.noRecordLines);
        if (info.blankLines > 0)
            text += format(" (%d blank)", info.blankLines);
    }
    return text.empty() ? "none" : text;
}

const char* upgradeText(BadRecord::Upgrade upgrade) {
    switch (upgrade) {
    case BadRecord::Upgrade::Refuses:
        return "an upgrade refuses the image";
    case BadRecord::Upgrade::Skips:
        return "an upgrade skips the line";
    case BadRecord::Upgrade::Writes:
        return "an upgrade writes the data as it stands";
    }
    return "";
}

std::string linesText(const std::vector<std::int32_t>& lines, bool all) {
    std::string text;
    const std::size_t shown = all ? lines.size() : std::min(lines.size(), kLinesWithoutAll);
    for (std::size_t i = 0; i < shown; ++i)
        text += (i == 0 ? "" : ", ") + std::to_string(lines[i]);
    if (shown < lines.size())
        text += format(" and %zu more", lines.size() - shown);
    return text;
}

void moreLine(std::ostream& out, std::size_t total, std::size_t shown) {
    if (shown < total)
        out << format("  ... and %zu more (--all lists every one)\n", total - shown);
}

// The one sentence that sums the image up, and whether it is sound.
bool writeVerdict(std::ostream& out, const ImageInfo& info) {
    for (const BadRecord& bad : info.badRecords) {
        if (bad.upgrade == BadRecord::Upgrade::Refuses) {
            out << format("An upgrade refuses this image: the record in line %d is bad.\n",
                          bad.line);
            return false;
        }
    }
    if (info.lines == 0) {
        out << "The file is empty: an upgrade refuses it.\n";
        return false;
    }
    if (info.dataRecords == 0) {
        out << "The image holds no data: an upgrade refuses it.\n";
        return false;
    }
    if (!info.badRecords.empty()) {
        out << "An upgrade takes this image, but its faults above deserve a look.\n";
        return false;
    }
    out << "No faults found.\n";
    return true;
}

int runInfo(const Arguments& arguments, std::ostream& out, std::ostream& err) {
    // The moment the bar waits for counts from the start, reading included.
    std::optional<ProgressBar> bar(std::in_place, err, showsProgress(err), "Checking records");
    std::uint32_t code = 0;
    const auto bytes = platform::ReadWholeFile(arguments.image, code);
    if (!bytes) {
        err << kProgram << ": " << unreadableText(arguments.image, code) << '\n';
        return kImageToolFailed;
    }
    const ImageInfo info =
        AnalyseImage(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()),
                     [&](int percent) { bar->update(percent); });
    bar.reset();

    row(out, "Image file", arguments.image + ", " + plural(bytes->size(), "byte", "bytes"));
    row(out, "Lines",
        std::to_string(info.lines) + (info.lines > 0 ? ", " + lineEndsText(info) : ""));
    row(out, "Records", recordCountsText(info));
    row(out, "Data",
        format("%llu bytes in %d records, %llu distinct addresses",
               static_cast<unsigned long long>(info.dataBytes), info.dataRecords,
               static_cast<unsigned long long>(info.distinctBytes())));
    listRanges(out, "Ranges", info.ranges);

    row(out, "Bad records",
        info.badRecords.empty() ? "none" : std::to_string(info.badRecords.size()));
    const std::size_t badShown = arguments.all
                                     ? info.badRecords.size()
                                     : std::min(info.badRecords.size(), kListedWithoutAll);
    for (std::size_t i = 0; i < badShown; ++i) {
        const BadRecord& bad = info.badRecords[i];
        out << format("  line %d: ", bad.line) << bad.reason << " (" << upgradeText(bad.upgrade)
            << ")\n";
    }
    moreLine(out, info.badRecords.size(), badShown);

    row(out, "Overlaps", info.overlaps.empty() ? "none" : std::to_string(info.overlaps.size()));
    const std::size_t overlapsShown =
        arguments.all ? info.overlaps.size() : std::min(info.overlaps.size(), kListedWithoutAll);
    for (std::size_t i = 0; i < overlapsShown; ++i) {
        const RecordOverlap& overlap = info.overlaps[i];
        out << "  " << rangeText(overlap.range) << ", lines "
            << linesText(overlap.lines, arguments.all) << '\n';
    }
    moreLine(out, info.overlaps.size(), overlapsShown);
    if (!info.overlaps.empty())
        out << "  (a later record overwrites an earlier one, until its flash block is covered)\n";

    if (info.carriageReturnsInLines > 0)
        out << "Note: "
            << plural(info.carriageReturnsInLines, "carriage return", "carriage returns")
            << " inside lines. A line ends at a line feed (LF or CR LF); lines that end in a "
               "carriage return alone run together into one.\n";
    if (info.endOfTextAt)
        out << format("Note: a Ctrl-Z at byte %llu ends the text; the %llu bytes from there on "
                      "are not read.\n",
                      static_cast<unsigned long long>(*info.endOfTextAt),
                      static_cast<unsigned long long>(info.bytesNotRead));
    return writeVerdict(out, info) ? kImageToolGood : kImageToolFaults;
}

// ---- layout ------------------------------------------------------------------

struct Product {
    std::string text;
    std::string family; // empty when named with --product
};

std::optional<Product> chooseProduct(const Arguments& arguments, std::ostream& err) {
    if (arguments.product) {
        if (arguments.product->empty() || arguments.product->size() > 16) {
            err << kProgram << ": a product has 1 to 16 characters, not \"" << *arguments.product
                << "\"\n";
            return std::nullopt;
        }
        return Product{*arguments.product, ""};
    }
    const FamilyKey key = lookUpFamily(*arguments.family);
    const std::vector<std::string> identifiers = familyIdentifiers(key);
    if (key == FamilyKey::None || identifiers.empty()) {
        err << kProgram << ": unknown family \"" << *arguments.family
            << "\" (codes are exact and case-sensitive: ZEPA, XR2, MORVI, ...)\n";
        return std::nullopt;
    }
    return Product{ProductOfDeviceIdentifier(identifiers.front()), *arguments.family};
}

// The two digits of every byte value, upper case.
struct HexPairs {
    char digits[512];
    constexpr HexPairs() : digits() {
        constexpr char kDigits[] = "0123456789ABCDEF";
        for (int value = 0; value < 256; ++value) {
            digits[2 * value] = kDigits[value >> 4];
            digits[2 * value + 1] = kDigits[value & 0x0F];
        }
    }
    char* put(char* out, std::uint8_t value) const {
        out[0] = digits[2 * value];
        out[1] = digits[2 * value + 1];
        return out + 2;
    }
};
constexpr HexPairs kPairs{};

// An S-record file written as it goes: an S0 header, S3 records of 32 data
// bytes in address order, an S7 end record; upper-case digits, LF line ends.
class S3Writer {
public:
    explicit S3Writer(const std::string& path) : file_(path, std::ios::binary | std::ios::trunc) {
        pending_.reserve(kFlushAt + 2 * 256 + 8);
    }

    bool good() const { return static_cast<bool>(file_); }

    void header(std::string_view text) {
        record('0', 2, 0, reinterpret_cast<const std::uint8_t*>(text.data()),
               static_cast<std::uint32_t>(text.size()));
    }

    void block(const CAddressData& block) {
        for (std::uint32_t done = 0; done < block.size(); done += kBytesPerRecord) {
            const std::uint32_t length = std::min(kBytesPerRecord, block.size() - done);
            record('3', 4, block.address() + done, block.data() + done, length);
            ++records_;
        }
    }

    void end() { record('7', 4, 0, nullptr, 0); }

    bool close() {
        flush();
        file_.close();
        return !file_.fail();
    }

    std::uint64_t dataRecords() const { return records_; }

private:
    // Lines gather here and go to the file a large piece at a time.
    static constexpr std::size_t kFlushAt = std::size_t{1} << 20;

    void record(char type, int addressBytes, std::uint32_t address, const std::uint8_t* data,
                std::uint32_t length) {
        // A record holds what its count byte can say, and the line below no more.
        if (static_cast<std::uint64_t>(addressBytes) + length + 1 > 255)
            throw std::length_error("an S-record holds at most 255 bytes");
        const auto count = static_cast<std::uint8_t>(addressBytes + length + 1);
        std::uint8_t sum = count;
        // "S", the type, the count, the address, the data and the checksum:
        // a count of at most 255 bytes, each of them two digits.
        char line[2 + 2 * 256 + 1];
        char* out = line;
        *out++ = 'S';
        *out++ = type;
        out = kPairs.put(out, count);
        for (int i = addressBytes - 1; i >= 0; --i) {
            const auto byte = static_cast<std::uint8_t>(address >> (8 * i));
            out = kPairs.put(out, byte);
            sum = static_cast<std::uint8_t>(sum + byte);
        }
        for (std::uint32_t i = 0; i < length; ++i) {
            out = kPairs.put(out, data[i]);
            sum = static_cast<std::uint8_t>(sum + data[i]);
        }
        out = kPairs.put(out, static_cast<std::uint8_t>(~sum));
        *out++ = '\n';
        pending_.append(line, static_cast<std::size_t>(out - line));
        if (pending_.size() >= kFlushAt)
            flush();
    }

    void flush() {
        file_.write(pending_.data(), static_cast<std::streamsize>(pending_.size()));
        pending_.clear();
    }

    std::ofstream file_;
    std::string pending_;
    std::uint64_t records_ = 0;
};

std::string baseName(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void listBlocks(std::ostream& out, const ImageLayout& layout) {
    out << "  index    address     size        state\n";
    for (std::size_t i = 0; i < layout.blocks.size();) {
        const BlockLayout& block = layout.blocks[i];
        if (block.written()) {
            out << format("  %-7d  %s  %-10s  written, %u bytes from the image\n", block.index,
                          hex32(block.address).c_str(), format("0x%X", block.size).c_str(),
                          block.coveredBytes);
            ++i;
            continue;
        }
        // A run of blocks that are left erased, one after the other, is one line.
        std::size_t last = i;
        std::uint64_t size = block.size;
        while (last + 1 < layout.blocks.size() && !layout.blocks[last + 1].written() &&
               layout.blocks[last + 1].address ==
                   layout.blocks[last].address + std::uint64_t{layout.blocks[last].size}) {
            ++last;
            size += layout.blocks[last].size;
        }
        const std::string index = last == i ? std::to_string(block.index)
                                            : std::to_string(block.index) + "-" +
                                                  std::to_string(layout.blocks[last].index);
        out << format("  %-7s  %s  %-10s  erased only", index.c_str(), hex32(block.address).c_str(),
                      format("0x%llX", static_cast<unsigned long long>(size)).c_str());
        if (last > i)
            out << format(" (%zu blocks)", last - i + 1);
        out << '\n';
        i = last + 1;
    }
}

int runLayout(const Arguments& arguments, std::ostream& out, std::ostream& err) {
    const std::optional<Product> product = chooseProduct(arguments, err);
    if (!product)
        return kImageToolFailed;
    const std::unique_ptr<CFlashMap> map =
        CreateFlashMapForProduct(IdentificationText(product->text));
    if (!map) {
        err << kProgram << ": no flash map is implemented for the product \"" << product->text
            << "\"\n";
        return kImageToolFailed;
    }

    std::optional<ProgressBar> bar(std::in_place, err, showsProgress(err), "Laying out");
    CAddressDataList image;
    try {
        image.load(arguments.image);
    } catch (const CFileOpenError& error) {
        err << kProgram << ": " << unreadableText(arguments.image, error.code()) << '\n';
        return kImageToolFailed;
    }

    std::unique_ptr<S3Writer> writer;
    if (arguments.output) {
        writer = std::make_unique<S3Writer>(*arguments.output);
        if (!writer->good()) {
            err << kProgram << ": cannot write \"" << *arguments.output << "\"\n";
            return kImageToolFailed;
        }
        writer->header(baseName(arguments.image).substr(0, 64));
    }

    ImageLayout layout;
    try {
        layout = LayOutImage(
            image, *map, [&](int percent) { bar->update(percent); },
            [&](const BlockLayout&, const CAddressData& bytes) {
                if (writer)
                    writer->block(bytes);
            });
        bar.reset();
    } catch (const CImageRecordError& error) {
        bar.reset();
        writer.reset();
        if (arguments.output)
            platform::DeleteFileA(*arguments.output);
        err << kProgram << ": the image has a bad record in line " << error.line() << " (address "
            << hex32(error.address()) << "); \"" << kProgram << " info\" says what is wrong\n";
        return kImageToolFaults;
    }

    const std::vector<BlockLayout>& blocks = layout.blocks;
    std::uint64_t mapBytes = 0;
    for (const BlockLayout& block : blocks)
        mapBytes += block.size;
    row(out, "Image file", arguments.image);
    row(out, "Product",
        product->text + (product->family.empty() ? "" : " (family " + product->family + ")"));
    row(out, "Flash map",
        plural(blocks.size(), "block", "blocks") + ", " + plural(mapBytes, "byte", "bytes"));
    out << "Blocks\n";
    listBlocks(out, layout);
    row(out, "Written",
        plural(layout.writtenBlocks(), "block", "blocks") + ", " +
            plural(layout.writtenBytes(), "byte", "bytes"));
    listRanges(out, "In no block", layout.outsideBlocks);
    listRanges(out, "Reserved range", layout.reserved);

    if (writer) {
        writer->end();
        const std::uint64_t records = writer->dataRecords();
        if (!writer->close()) {
            err << kProgram << ": cannot write \"" << *arguments.output << "\"\n";
            return kImageToolFailed;
        }
        row(out, "Output", *arguments.output + ", " + plural(records, "S3 record", "S3 records"));
    }
    if (layout.writtenBlocks() == 0) {
        out << "Nothing would be written: no data of the image falls in this flash map, and an "
               "upgrade refuses it.\n";
        return kImageToolFaults;
    }
    return kImageToolGood;
}

} // namespace

std::string ImageToolUsage() {
    return std::string("Usage: ") + kProgram + " info IMAGE.MOT [--all]\n" + "       " + kProgram +
           " layout IMAGE.MOT (--family CODE | --product TEXT) [-o OUT.MOT]\n"
           "\n"
           "Looks at a firmware image (Motorola S-records) before it goes to a scanner.\n"
           "\n"
           "  info             counts the records by type, lists the address ranges the data\n"
           "                   covers, every bad record and every stretch that several records\n"
           "                   write (the first 20 of each; --all lists every one)\n"
           "  layout           lays the image over the product's main controller flash map as\n"
           "                   an upgrade does: the blocks written and left erased, the image\n"
           "                   bytes in no block and in the map's reserved range\n"
           "  --family CODE    the family code, exact and case-sensitive (MORVI, KIRUNA, ...)\n"
           "  --product TEXT   the product as the scanner reports it (SX-2300C, SX-T18, ...)\n"
           "  -o OUT.MOT       also write every byte of the written blocks as S3 records of\n"
           "                   32 bytes (S0 header, S7 end, LF line ends)\n"
           "\n"
           "Exit status: 0 no faults; 1 the image has faults (a bad record, no data, nothing\n"
           "for the flash map); 2 the command could not be carried out (its arguments, a file\n"
           "that cannot be read or written, an unknown family, a product without a map).\n";
}

std::string ProductOfDeviceIdentifier(const std::string& identifier) {
    constexpr std::string_view kSti = "STI\\";
    constexpr std::string_view kAspi = "ASPI\\";
    constexpr std::size_t kVendorWidth = 8;
    const std::string_view text = identifier;
    if (text.starts_with(kSti)) {
        // Vendor, model and bus, one blank between each.
        std::string_view rest = text.substr(kSti.size());
        const std::size_t blank = rest.find(' ');
        rest = blank == std::string_view::npos ? std::string_view() : rest.substr(blank + 1);
        return std::string(rest.substr(0, rest.rfind(' ')));
    }
    if (text.starts_with(kAspi) && text.size() > kAspi.size() + kVendorWidth) {
        std::string product(text.substr(kAspi.size() + kVendorWidth));
        product.erase(product.find_last_not_of(' ') + 1);
        return product;
    }
    return {};
}

std::string IdentificationText(const std::string& product) {
    std::string text = "KORVA";
    text.resize(kProductOffset, ' ');
    text += product.substr(0, 16);
    text.resize(kProductOffset + 16 + 4, ' ');
    return text;
}

ProgressBar::ProgressBar(std::ostream& out, bool shown, std::string label, std::uint64_t delay)
    : out_(out), shown_(shown), label_(std::move(label)), startedAt_(platform::GetTickCount64()),
      delay_(delay) {}

ProgressBar::~ProgressBar() {
    if (drawnWidth_ > 0)
        out_ << '\r' << std::string(drawnWidth_, ' ') << '\r' << std::flush;
}

void ProgressBar::update(int percent) {
    if (!shown_ || platform::GetTickCount64() - startedAt_ < delay_)
        return;
    constexpr int kWidth = 30;
    const int filled = std::clamp(percent, 0, 100) * kWidth / 100;
    const std::string text = label_ + " [" + std::string(static_cast<std::size_t>(filled), '#') +
                             std::string(static_cast<std::size_t>(kWidth - filled), '.') + "] " +
                             std::to_string(std::clamp(percent, 0, 100)) + "%";
    out_ << '\r' << text << std::flush;
    drawnWidth_ = text.size();
}

int RunImageTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") {
            out << ImageToolUsage();
            return kImageToolGood;
        }
    }
    if (args.empty()) {
        err << ImageToolUsage();
        return kImageToolFailed;
    }
    Arguments arguments;
    try {
        arguments = parseArguments(args);
    } catch (const UsageError& error) {
        err << kProgram << ": " << error.text << "\n"
            << "Try \"" << kProgram << " --help\".\n";
        return kImageToolFailed;
    }
    return arguments.command == "info" ? runInfo(arguments, out, err)
                                       : runLayout(arguments, out, err);
}
