#pragma once

#include "device/message.h"
#include "firmware/format_error.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One contiguous run of bytes at a flash address: a data record of an image file
// (kept as hexadecimal text until its bytes are first needed) or a finished flash
// block on its way to the device writer, which is why it is a message.
class CAddressData : public CMessage {
public:
    // An empty record: address 0, no bytes, no text, checksum 0. The loader
    // creates its records this way, undecoded, and then parses a line into them.
    explicit CAddressData(bool decoded = false);
    // `length` bytes at `address`, copied from `source`, or all 0xFF (erased
    // flash) without a source. Decoded when a source is given and length is above 0.
    CAddressData(std::uint32_t address, const std::uint8_t* source, std::uint32_t length);
    // A deep copy of the other record's address and bytes, as the previous
    // constructor makes it; the text is not copied.
    CAddressData(const CAddressData& other);
    CAddressData& operator=(const CAddressData&) = delete;

    int type() const override { return kAddressData; }

    // Takes address, checksum and data text from one S1, S2 or S3 line and leaves
    // the record undecoded. Any other line leaves the record empty, so that header,
    // count and end records and blank lines become entries that never meet a block;
    // the reason is returned for whoever wants to log it (kMalformed for a line too
    // short for its type, kUnsupportedRecord for another record type) and is not
    // raised. The address, count and checksum digits may be in either case.
    std::optional<CFormatError> parse(std::string_view line);
    // As parse, for the image loader, which holds millions of records: the data
    // digits are turned into bytes at once, into `store` (room for line.size() / 2
    // bytes, which must outlive the record), and no text is kept. decode() then
    // only takes up what was found here (the bytes, or the failure), so the
    // record behaves as one that kept its text. Returns the number of bytes put
    // into the store: 0 for a record whose decode would fail in either case.
    std::uint32_t parseInto(std::string_view line, std::uint8_t* store);

    // Turns the text into the bytes and checks them against the checksum; digits in
    // either case. Does nothing once tried, so a record that failed stays failed
    // (without bytes) and does not fail again. Raises CFormatError kMalformed for an
    // odd digit count, a character that is no digit, a checksum mismatch, or a
    // line whose address, count or checksum digits were not digits.
    // Every upgrade flow decodes through this one.
    void decode();
    // Whether decode() would succeed, without decoding; true once tried.
    bool decodable() const;
    // Where data() will point once the record is decoded (for a record that
    // decodes), for whoever wants to fetch the bytes before that; null for a
    // record without data.
    const std::uint8_t* bytesOnceDecoded() const;

    std::uint32_t address() const { return address_; }
    // Number of bytes held; 0 until decoded.
    std::uint32_t size() const { return size_; }
    std::uint8_t* data() { return bytes_; }
    const std::uint8_t* data() const { return bytes_; }

    // One's complement of the sum the data bytes must have.
    std::uint8_t checksum() const { return checksum_; }
    // The data digits of a record made by parse(); a record the image loader made
    // has turned them into bytes already and keeps none.
    std::string_view text() const;
    std::int32_t textLength() const { return static_cast<std::int32_t>(textLength_); }
    bool decoded() const { return decoded_; }

protected:
    // A decoded record over `length` bytes at `bytes` that another object owns
    // and keeps for at least as long as this record lives.
    struct Borrowed {};
    CAddressData(Borrowed, std::uint32_t address, std::uint8_t* bytes, std::uint32_t length);

    enum class DigitCase { kAny, kUpperOnly };
    void decodeText(DigitCase digits);

private:
    // What the loader found when it turned the digits into bytes.
    enum class Prepared : std::uint8_t {
        kNo,        // the text is kept and decoded on first use
        kUpperCase, // good, with upper-case digits only
        kAnyCase,   // good only when lower-case digits are accepted
        kFails,     // odd, a non-digit or a wrong checksum
    };

    void clear();
    // The frame: address, checksum and where the data digits are. False when
    // the line holds no data record; `error` then says why.
    bool parseFrame(std::string_view line, std::string_view& digits,
                    std::optional<CFormatError>& error);

    std::uint32_t address_ = 0;
    std::uint32_t size_ = 0; // bytes held
    std::uint32_t textLength_ = 0;
    std::uint8_t checksum_ = 0;
    bool decoded_ = false;
    // False when the address, count or checksum field held a non-digit: the
    // address cannot be trusted, so the record must not pass its checksum test by
    // chance.
    bool headerDigitsValid_ = true;
    Prepared prepared_ = Prepared::kNo;
    std::uint8_t* bytes_ = nullptr;       // size_ bytes; for a prepared record, the bytes waiting
    std::unique_ptr<std::uint8_t[]> own_; // the bytes (and kept text) this record owns
};

// The record the image loader creates, one per line of the file.
class CAddressDataEx : public CAddressData {
public:
    CAddressDataEx() = default;
    // A record of the given line of its file (counted from 1), for error reports.
    explicit CAddressDataEx(std::int32_t line) : line_(line) {}
    CAddressDataEx(const CAddressDataEx&) = delete;
    CAddressDataEx& operator=(const CAddressDataEx&) = delete;

    // decode() that accepts upper-case digits only ('a'-'f' fail with kMalformed).
    // Shares the decoded flag with decode(): whichever runs first decides.
    virtual void decodeStrict();

    // Bytes the record will hold once decoded, known from the text alone.
    std::int32_t dataByteCount() const { return textLength() / 2; }

    // Line of the file the record was read from; 0 when it was not read from one.
    std::int32_t line() const { return line_; }

private:
    std::int32_t line_ = 0;
};

// Value of a hexadecimal digit in either case; -1 for any other character.
int HexDigitValue(char c);

// Number of bytes in both [a.address, a.address + a.size) and
// [b.address, b.address + b.size); 0 when they do not meet. Ranges may end at 2^32.
std::uint32_t OverlapLength(const CAddressData& a, const CAddressData& b);

// Copies the bytes of the range both records cover from the source into the
// destination, each at its offset from its own record's address.
void CopyOverlap(CAddressData& destination, const CAddressData& source);
