#include "firmware/address_data.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define REFIRM_DIGITS_SSE2 1
#endif

namespace {

constexpr char kDigits[] = "0123456789ABCDEF";
constexpr std::uint8_t kErased = 0xFF;

// The record types that carry data, with the number of address digits each.
struct RecordType {
    char digit;
    std::size_t addressDigits;
};
constexpr RecordType kDataRecords[] = {{'1', 4}, {'2', 6}, {'3', 8}};

// "Sn", two count digits, the address, two checksum digits.
constexpr std::size_t kFrameDigits = 6;
constexpr std::size_t kAddressIndex = 4;

// Values of the hexadecimal digits, -1 for every other character: in either
// case, and upper case only.
struct DigitTable {
    std::int8_t value[256];
    bool lowerToo;
    constexpr explicit DigitTable(bool lower) : value{}, lowerToo(lower) {
        for (int c = 0; c < 256; ++c)
            value[c] = -1;
        for (int i = 0; i < 16; ++i) {
            value[static_cast<unsigned char>(kDigits[i])] = static_cast<std::int8_t>(i);
            if (lower && i >= 10)
                value['a' + i - 10] = static_cast<std::int8_t>(i);
        }
    }
};
constexpr DigitTable kAnyCase(true);
constexpr DigitTable kUpperCase(false);

int anyCaseDigit(char c) {
    return kAnyCase.value[static_cast<unsigned char>(c)];
}

#ifdef REFIRM_DIGITS_SSE2
// Sixteen digits into eight bytes (stored when `out` is not null), their sum
// added to `total`; false when any of the sixteen is not a digit as `table`
// has them.
bool decodeSixteen(const unsigned char* in, const DigitTable& table, std::uint8_t* out,
                   std::uint32_t& total) {
    const __m128i text = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    // Characters from 0x80 up compare as negative: never in any of the ranges.
    const auto within = [&text](char first, char last) {
        return _mm_and_si128(_mm_cmpgt_epi8(text, _mm_set1_epi8(static_cast<char>(first - 1))),
                             _mm_cmplt_epi8(text, _mm_set1_epi8(static_cast<char>(last + 1))));
    };
    const auto valueOf = [&text](__m128i in, char zero) {
        return _mm_and_si128(in, _mm_sub_epi8(text, _mm_set1_epi8(zero)));
    };
    const __m128i digit = within('0', '9');
    const __m128i upper = within('A', 'F');
    __m128i valid = _mm_or_si128(digit, upper);
    __m128i value = _mm_or_si128(valueOf(digit, '0'), valueOf(upper, 'A' - 10));
    if (table.lowerToo) {
        const __m128i lower = within('a', 'f');
        valid = _mm_or_si128(valid, lower);
        value = _mm_or_si128(value, valueOf(lower, 'a' - 10));
    }
    // The first digit of a pair is the low byte of its 16-bit lane.
    const __m128i high = _mm_slli_epi16(_mm_and_si128(value, _mm_set1_epi16(0x00FF)), 4);
    const __m128i low = _mm_srli_epi16(value, 8);
    const __m128i bytes = _mm_packus_epi16(_mm_or_si128(high, low), _mm_setzero_si128());
    if (out != nullptr)
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out), bytes);
    total +=
        static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_sad_epu8(bytes, _mm_setzero_si128())));
    return _mm_movemask_epi8(valid) == 0xFFFF;
}
#endif

// Decodes pairs of digits into bytes; false when any is not a digit. The sum
// of the bytes is added to `sum`.
bool decodePairs(std::string_view text, const DigitTable& table, std::uint8_t* out,
                 std::uint8_t& sum) {
    const auto* in = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t pairs = text.size() / 2;
    int bad = 0;
    std::uint8_t total = sum;
    std::size_t i = 0;
#ifdef REFIRM_DIGITS_SSE2
    std::uint32_t wide = 0;
    bool good = true;
    for (; i + 8 <= pairs; i += 8)
        good &= decodeSixteen(in + 2 * i, table, out != nullptr ? out + i : nullptr, wide);
    total = static_cast<std::uint8_t>(total + wide);
    bad = good ? 0 : -1;
#endif
    for (; i < pairs; ++i) {
        const int high = table.value[in[2 * i]];
        const int low = table.value[in[2 * i + 1]];
        bad |= high | low; // negative once any digit is not one
        const auto byte = static_cast<std::uint8_t>((static_cast<unsigned>(high) << 4) |
                                                    (static_cast<unsigned>(low) & 15u));
        if (out != nullptr)
            out[i] = byte;
        total = static_cast<std::uint8_t>(total + byte);
    }
    sum = total;
    return bad >= 0;
}

// A byte of the frame (count, address, checksum). A non-digit counts as 0 and
// clears `valid`.
std::uint8_t frameByte(std::string_view line, std::size_t index, bool& valid) {
    int high = anyCaseDigit(line[index]);
    int low = anyCaseDigit(line[index + 1]);
    if (high < 0 || low < 0)
        valid = false;
    return static_cast<std::uint8_t>((std::max(high, 0) << 4) | std::max(low, 0));
}

struct Common {
    std::uint64_t begin = 0;
    std::uint32_t length = 0;
};

// Ends are computed in 64 bits so that a record running up to the top of the
// address space does not wrap around to address 0.
Common commonRange(const CAddressData& a, const CAddressData& b) {
    const std::uint64_t begin = std::max<std::uint64_t>(a.address(), b.address());
    const std::uint64_t end = std::min<std::uint64_t>(std::uint64_t{a.address()} + a.size(),
                                                      std::uint64_t{b.address()} + b.size());
    if (end <= begin)
        return {};
    return {begin, static_cast<std::uint32_t>(end - begin)};
}

} // namespace

CAddressData::CAddressData(bool decoded) : decoded_(decoded) {}

CAddressData::CAddressData(std::uint32_t address, const std::uint8_t* source, std::uint32_t length)
    : address_(address), size_(length), decoded_(source != nullptr && length > 0),
      own_(std::make_unique_for_overwrite<std::uint8_t[]>(length)) {
    bytes_ = own_.get();
    if (source != nullptr)
        std::memcpy(bytes_, source, length);
    else
        std::memset(bytes_, kErased, length);
}

CAddressData::CAddressData(Borrowed, std::uint32_t address, std::uint8_t* bytes,
                           std::uint32_t length)
    : address_(address), size_(length), decoded_(length > 0), bytes_(bytes) {}

CAddressData::CAddressData(const CAddressData& other)
    : CAddressData(other.address(), other.size() > 0 ? other.data() : nullptr, other.size()) {}

void CAddressData::clear() {
    address_ = 0;
    size_ = 0;
    textLength_ = 0;
    checksum_ = 0;
    decoded_ = false;
    headerDigitsValid_ = true;
    prepared_ = Prepared::kNo;
    bytes_ = nullptr;
    own_.reset();
}

bool CAddressData::parseFrame(std::string_view line, std::string_view& digits,
                              std::optional<CFormatError>& error) {
    clear();
    if (line.size() < kFrameDigits) {
        error = CFormatError(CFormatError::kMalformed);
        return false;
    }
    const RecordType* type = nullptr;
    if (line[0] == 'S') {
        for (const RecordType& candidate : kDataRecords)
            if (line[1] == candidate.digit)
                type = &candidate;
    }
    if (type == nullptr) {
        error = CFormatError(CFormatError::kUnsupportedRecord);
        return false;
    }
    if (line.size() < kFrameDigits + type->addressDigits) {
        error = CFormatError(CFormatError::kMalformed);
        return false;
    }

    bool valid = true;
    std::uint32_t address = 0;
    for (std::size_t i = 0; i < type->addressDigits; i += 2)
        address = (address << 8) | frameByte(line, kAddressIndex + i, valid);
    const std::uint8_t count = frameByte(line, 2, valid);
    const std::uint8_t recordChecksum = frameByte(line, line.size() - 2, valid);
    const std::uint8_t addressSum =
        static_cast<std::uint8_t>(address + (address >> 8) + (address >> 16) + (address >> 24));

    // The record's checksum covers count, address and data; take the first two
    // out so that what is left is the one the data alone must have.
    address_ = address;
    checksum_ = static_cast<std::uint8_t>(~static_cast<std::uint8_t>(
        static_cast<std::uint8_t>(~recordChecksum) - addressSum - count));
    digits = line.substr(kAddressIndex + type->addressDigits,
                         line.size() - type->addressDigits - kFrameDigits);
    textLength_ = static_cast<std::uint32_t>(digits.size());
    headerDigitsValid_ = valid;
    return true;
}

std::optional<CFormatError> CAddressData::parse(std::string_view line) {
    std::string_view digits;
    std::optional<CFormatError> error;
    if (!parseFrame(line, digits, error))
        return error;
    if (!digits.empty()) {
        // The text, then room for the bytes it decodes to.
        own_ = std::make_unique_for_overwrite<std::uint8_t[]>(digits.size() + digits.size() / 2);
        std::memcpy(own_.get(), digits.data(), digits.size());
    }
    return std::nullopt;
}

std::uint32_t CAddressData::parseInto(std::string_view line, std::uint8_t* store) {
    std::string_view digits;
    std::optional<CFormatError> error;
    if (!parseFrame(line, digits, error) || digits.empty())
        return 0;
    Prepared outcome = Prepared::kFails;
    std::uint8_t sum = 0;
    if (digits.size() % 2 == 0 && headerDigitsValid_) {
        if (decodePairs(digits, kUpperCase, store, sum))
            outcome = Prepared::kUpperCase;
        else if (sum = 0; decodePairs(digits, kAnyCase, store, sum))
            outcome = Prepared::kAnyCase;
        if (static_cast<std::uint8_t>(~sum) != checksum_)
            outcome = Prepared::kFails;
    }
    prepared_ = outcome;
    if (outcome == Prepared::kFails)
        return 0;
    bytes_ = store;
    return textLength_ / 2;
}

std::string_view CAddressData::text() const {
    if (prepared_ != Prepared::kNo || textLength_ == 0 || !own_)
        return {};
    return {reinterpret_cast<const char*>(own_.get()), textLength_};
}

void CAddressData::decode() {
    decodeText(DigitCase::kAny);
}

void CAddressData::decodeText(DigitCase digits) {
    if (decoded_ || textLength_ == 0)
        return;
    decoded_ = true;
    if (prepared_ != Prepared::kNo) {
        if (prepared_ == Prepared::kFails ||
            (prepared_ == Prepared::kAnyCase && digits == DigitCase::kUpperOnly))
            throw CFormatError(CFormatError::kMalformed);
        size_ = textLength_ / 2;
        return;
    }
    if (textLength_ % 2 != 0)
        throw CFormatError(CFormatError::kMalformed);

    std::uint8_t* out = own_.get() + textLength_; // the room parse() left
    std::uint8_t sum = 0;
    if (!decodePairs(text(), digits == DigitCase::kAny ? kAnyCase : kUpperCase, out, sum))
        throw CFormatError(CFormatError::kMalformed);
    if (!headerDigitsValid_ || static_cast<std::uint8_t>(~sum) != checksum_)
        throw CFormatError(CFormatError::kMalformed);
    bytes_ = out;
    size_ = textLength_ / 2;
}

const std::uint8_t* CAddressData::bytesOnceDecoded() const {
    if (decoded_ || prepared_ != Prepared::kNo)
        return bytes_;
    // decode() puts the bytes into the room parse() left after the text.
    return own_ ? own_.get() + textLength_ : nullptr;
}

bool CAddressData::decodable() const {
    if (decoded_ || textLength_ == 0)
        return true;
    if (prepared_ != Prepared::kNo)
        return prepared_ != Prepared::kFails;
    if (textLength_ % 2 != 0 || !headerDigitsValid_)
        return false;
    std::uint8_t sum = 0;
    if (!decodePairs(text(), kAnyCase, nullptr, sum))
        return false;
    return static_cast<std::uint8_t>(~sum) == checksum_;
}

void CAddressDataEx::decodeStrict() {
    decodeText(DigitCase::kUpperOnly);
}

int HexDigitValue(char c) {
    return anyCaseDigit(c);
}

std::uint32_t OverlapLength(const CAddressData& a, const CAddressData& b) {
    return commonRange(a, b).length;
}

void CopyOverlap(CAddressData& destination, const CAddressData& source) {
    const Common common = commonRange(destination, source);
    if (common.length == 0)
        return;
    std::memmove(destination.data() + (common.begin - destination.address()),
                 source.data() + (common.begin - source.address()), common.length);
}
