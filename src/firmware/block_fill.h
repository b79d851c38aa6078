#pragma once

#include "firmware/address_data.h"
#include "firmware/address_data_list.h"
#include "firmware/format_error.h"
#include "firmware/image_info.h"

#include <cstdint>
#include <functional>
#include <memory>

// A record of the image that failed to decode while a block was filled: the
// failure's value (always kMalformed) with the line of the file and the address
// the record had, so that the log can say which record is bad.
class CImageRecordError : public CFormatError {
public:
    CImageRecordError(std::uint32_t value, std::int32_t line, std::uint32_t address)
        : CFormatError(value), line_(line), address_(address) {}
    std::int32_t line() const { return line_; }
    std::uint32_t address() const { return address_; }

private:
    std::int32_t line_;
    std::uint32_t address_;
};

// Decodes one record of the image (digits in either case), raising
// CImageRecordError with its line and address when it fails.
void DecodeImageRecord(CAddressDataEx& entry);

// Called with the whole percentage of the walk, (entries walked so far × 100) /
// (entries in the image when the fill started), each time that value rises; the
// caller shows 0 % itself before the fill.
using FillProgress = std::function<void(int percent)>;

enum class FillWalk {
    // Stop as soon as every byte of the block has come from the image (the main
    // controller's layout).
    kUntilCovered,
    // Walk every entry for every block (the drive processors' layout).
    kWholeList,
};

struct FilledBlock {
    // The block at its address, 0xFF wherever the image has no byte.
    std::unique_ptr<CAddressData> block;
    // Distinct bytes of the block that the image supplied; 0 means the image does
    // not touch the block and it need not be written.
    std::uint32_t coveredBytes = 0;
};

// Lays the image out into the flash block [blockAddress, blockAddress + blockSize).
// Walks the image from the head, decoding each entry it reaches (case-insensitive
// digits) and copying the bytes that fall into the block, in file order so that a
// later record overwrites an earlier one. Entries that lie wholly inside the block
// are used up and deleted from the image; entries that reach past it stay, whole,
// for the next block. With kUntilCovered the walk ends once every byte of the
// block is covered; entries after that point do not take part in this block.
// A record that fails to decode raises CImageRecordError; the image is then left as
// the walk had made it.
FilledBlock FillBlock(CAddressDataList& image, std::uint32_t blockAddress, std::uint32_t blockSize,
                      const FillProgress& progress = {}, FillWalk walk = FillWalk::kUntilCovered);

// The addresses the image's data covers, sorted and merged, counting each
// record not decoded yet with the bytes it will hold. Read from the index the
// fill keeps with the image (made here when it has none), which has the
// records in address order already; an image with a record that would fail to
// decode has no index and is gone through record by record.
std::vector<AddressRange> ImageDataRanges(CAddressDataList& image);
