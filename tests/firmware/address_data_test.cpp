#include "firmware/address_data.h"

#include "srecord_lines.h"

#include <gtest/gtest.h>

#include <cctype>
#include <memory>
#include <string_view>

using srecord_lines::record;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes bytesOf(const CAddressData& r) {
    return Bytes(r.data(), r.data() + r.size());
}

// The line in a heap block of exactly its size, so that the address sanitizer
// catches any read past its end.
class ExactLine {
public:
    explicit ExactLine(const std::string& text)
        : size_(text.size()), chars_(std::make_unique<char[]>(text.size())) {
        std::copy(text.begin(), text.end(), chars_.get());
    }
    std::string_view view() const { return {chars_.get(), size_}; }

private:
    std::size_t size_;
    std::unique_ptr<char[]> chars_;
};

std::optional<std::uint32_t> parseError(CAddressData& r, const std::string& line) {
    ExactLine exact(line);
    const auto error = r.parse(exact.view());
    return error ? std::optional<std::uint32_t>(error->value()) : std::nullopt;
}

void expectEmpty(const CAddressDataEx& r) {
    EXPECT_EQ(r.address(), 0u);
    EXPECT_EQ(r.textLength(), 0);
    EXPECT_TRUE(r.text().empty());
    EXPECT_EQ(r.size(), 0u);
    EXPECT_EQ(r.dataByteCount(), 0);
}

std::uint32_t decodeError(CAddressDataEx& r, bool strict = false) {
    try {
        strict ? r.decodeStrict() : r.decode();
    } catch (const CFormatError& e) {
        return e.value();
    }
    ADD_FAILURE() << "decode did not fail";
    return 99;
}

} // namespace

TEST(SRecordParse, ShortS1WithTwoDataBytes) {
    const std::string line = "S10512340102B1"; // ~(05 + 12 + 34 + 01 + 02) = B1
    ASSERT_EQ(record(1, 0x1234, {0x01, 0x02}), line);
    CAddressDataEx r;
    EXPECT_EQ(parseError(r, line), std::nullopt);
    EXPECT_EQ(r.address(), 0x1234u);
    EXPECT_EQ(r.text(), "0102");
    EXPECT_EQ(r.textLength(), 4);
    EXPECT_EQ(r.dataByteCount(), 2);
    EXPECT_FALSE(r.decoded());
    EXPECT_EQ(r.size(), 0u); // lazily decoded
    r.decode();
    EXPECT_TRUE(r.decoded());
    EXPECT_EQ(bytesOf(r), (Bytes{0x01, 0x02}));
}

TEST(SRecordParse, EveryOtherChecksumByteFailsTheDecode) {
    int passed = 0;
    for (int c = 0; c < 256; ++c) {
        CAddressDataEx r;
        r.parse(record(1, 0x1234, {0x01, 0x02},
                       {.count = std::nullopt, .checksum = static_cast<std::uint8_t>(c)}));
        try {
            r.decode();
            ++passed;
            EXPECT_EQ(c, 0xB1);
        } catch (const CFormatError& e) {
            EXPECT_EQ(e.value(), CFormatError::kMalformed);
            EXPECT_EQ(r.size(), 0u) << "a failed record lends no bytes";
        }
    }
    EXPECT_EQ(passed, 1);
}

TEST(SRecordParse, AllThreeAddressWidthsWithEveryAddressByteInTheChecksum) {
    struct Case {
        int type;
        std::uint32_t address;
    };
    for (const Case& c : {Case{1, 0xFEDC}, Case{2, 0xABCDEF}, Case{3, 0x89ABCDEF}}) {
        SCOPED_TRACE(c.type);
        const Bytes data{0x00, 0x7F, 0x80, 0xFF, 0x5A};
        CAddressDataEx good;
        EXPECT_EQ(parseError(good, record(c.type, c.address, data)), std::nullopt);
        EXPECT_EQ(good.address(), c.address);
        good.decodeStrict();
        EXPECT_EQ(bytesOf(good), data);

        // The checksum of the same record with its top address byte one higher.
        const std::string line = record(c.type, c.address, data);
        const std::string other = record(c.type, c.address + (1u << (8 * c.type)), data);
        CAddressDataEx bad;
        bad.parse(line.substr(0, line.size() - 2) + other.substr(other.size() - 2));
        EXPECT_EQ(decodeError(bad), CFormatError::kMalformed);
    }
}

TEST(SRecordParse, FrameDigitsInEitherCase) {
    std::string line = record(3, 0x00ABCDEF, {0xAB, 0xCD});
    for (std::size_t i = 0; i < line.size(); ++i)
        if ((i >= 2 && i < 12) || i >= line.size() - 2) // count, address, checksum
            line[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(line[i])));
    ASSERT_EQ(line.substr(0, 12), "S30700abcdef");
    CAddressDataEx r;
    EXPECT_EQ(parseError(r, line), std::nullopt);
    EXPECT_EQ(r.address(), 0x00ABCDEFu);
    r.decodeStrict();
    EXPECT_EQ(bytesOf(r), (Bytes{0xAB, 0xCD}));
}

TEST(SRecordParse, LowerCaseDataPassesOnlyTheCaseInsensitiveDecode) {
    std::string line = record(1, 0x0100, {0xAB, 0xCD, 0xEF});
    for (std::size_t i = 8; i < line.size() - 2; ++i)
        line[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(line[i])));
    ASSERT_EQ(line.substr(8, 6), "abcdef");

    CAddressDataEx anyCase;
    anyCase.parse(line);
    anyCase.decode();
    EXPECT_EQ(bytesOf(anyCase), (Bytes{0xAB, 0xCD, 0xEF}));

    CAddressDataEx strict;
    strict.parse(line);
    EXPECT_EQ(decodeError(strict, true), CFormatError::kMalformed);
    EXPECT_TRUE(strict.decoded());
    strict.decode(); // already tried: no second attempt, no second failure
    EXPECT_EQ(strict.size(), 0u);
}

TEST(SRecordParse, BadDataIsMalformedOnceOnly) {
    const std::string good = record(1, 0x0010, {0x12, 0x34});
    for (const std::string& line :
         {good.substr(0, 9) + good.substr(10), // odd digit count
          good.substr(0, 9) + "G" + good.substr(10), good.substr(0, 9) + " " + good.substr(10)}) {
        SCOPED_TRACE(line);
        CAddressDataEx r;
        EXPECT_EQ(parseError(r, line), std::nullopt);
        EXPECT_EQ(decodeError(r), CFormatError::kMalformed);
        EXPECT_NO_THROW(r.decode());
        EXPECT_EQ(r.size(), 0u);
    }
}

TEST(SRecordParse, NonDigitInTheFrameNeverPassesTheChecksum) {
    // With 'G' read as 0 the checksum would fit the address 0x0034; the address
    // itself cannot be trusted, so the record must fail however its checksum reads.
    std::string line = record(1, 0x0034, {0x01});
    line[4] = 'G';
    line[5] = 'G';
    CAddressDataEx r;
    EXPECT_EQ(parseError(r, line), std::nullopt);
    EXPECT_EQ(decodeError(r), CFormatError::kMalformed);
}

TEST(SRecordParse, CountFieldIsOnlyPartOfTheChecksum) {
    CAddressDataEx r;
    r.parse(record(2, 0x012345, {1, 2, 3, 4}, {.count = 0x7F, .checksum = std::nullopt}));
    EXPECT_EQ(r.dataByteCount(), 4);
    EXPECT_NO_THROW(r.decode());
    EXPECT_EQ(bytesOf(r), (Bytes{1, 2, 3, 4}));
}

TEST(SRecordParse, OtherRecordTypesLeaveAnEmptyRecord) {
    for (const std::string& line :
         {std::string("S00600004844521B"), std::string("S5030004F8"), std::string("S70500000000FA"),
          std::string("S804000000FB"), std::string("S9030000FC"), std::string("S4030000FC"),
          record(1, 0x1234, {1, 2}).replace(0, 1, "s"), std::string("Hello, world"),
          std::string("S:030000FC")}) {
        SCOPED_TRACE(line);
        CAddressDataEx r;
        EXPECT_EQ(parseError(r, line), CFormatError::kUnsupportedRecord);
        expectEmpty(r);
        EXPECT_NO_THROW(r.decode());
    }
}

TEST(SRecordParse, LinesTooShortForTheirTypeAreMalformed) {
    for (const std::string& line :
         {std::string(), std::string("S"), std::string("S1050"), std::string("S9030")}) {
        CAddressDataEx r;
        EXPECT_EQ(parseError(r, line), CFormatError::kMalformed) << line;
        expectEmpty(r);
    }
    for (int type = 1; type <= 3; ++type) {
        const std::string full = record(type, 0x01020304u >> (8 * (3 - type)), {});
        ASSERT_EQ(full.size(), 6u + 2 * (type + 1));
        for (std::size_t length = 6; length < full.size(); ++length) {
            CAddressDataEx r;
            EXPECT_EQ(parseError(r, full.substr(0, length)), CFormatError::kMalformed)
                << full.substr(0, length);
            expectEmpty(r);
        }
        // Just long enough: a record without data, which has nothing to decode.
        CAddressDataEx r;
        EXPECT_EQ(parseError(r, full), std::nullopt);
        EXPECT_EQ(r.textLength(), 0);
        r.decode();
        EXPECT_FALSE(r.decoded());
    }
}

TEST(AddressData, Constructors) {
    CAddressData empty;
    EXPECT_EQ(empty.address(), 0u);
    EXPECT_EQ(empty.size(), 0u);
    EXPECT_FALSE(empty.decoded());
    EXPECT_EQ(static_cast<const CMessage&>(empty).type(), CMessage::kAddressData);

    const Bytes source{1, 2, 3};
    CAddressData copied(0x2000, source.data(), 3);
    EXPECT_EQ(copied.address(), 0x2000u);
    EXPECT_EQ(bytesOf(copied), source);
    EXPECT_TRUE(copied.decoded());

    CAddressData erased(0x3000, nullptr, 4);
    EXPECT_EQ(bytesOf(erased), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_FALSE(erased.decoded());
    EXPECT_FALSE(CAddressData(0x3000, source.data(), 0).decoded());

    CAddressData deep(copied);
    deep.data()[0] = 7;
    EXPECT_EQ(deep.address(), 0x2000u);
    EXPECT_EQ(bytesOf(deep), (Bytes{7, 2, 3}));
    EXPECT_EQ(bytesOf(copied), source);
    EXPECT_TRUE(deep.decoded());
    EXPECT_TRUE(CAddressData(erased).decoded());
    EXPECT_FALSE(CAddressData(empty).decoded());
}

TEST(AddressData, OverlapAndCopy) {
    const Bytes ten{0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    const CAddressData source(100, ten.data(), 10);
    struct Case {
        std::uint32_t address, size, overlap;
        Bytes after;
    };
    const Case cases[] = {
        {90, 10, 0, Bytes(10, 0xFF)}, // ends where the source begins
        {110, 4, 0, Bytes(4, 0xFF)},  // begins where the source ends
        {95, 8, 3, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 1, 2}},
        {108, 4, 2, {8, 9, 0xFF, 0xFF}},
        {102, 3, 3, {2, 3, 4}}, // inside
        {98, 14, 10, {0xFF, 0xFF, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0xFF, 0xFF}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.address);
        CAddressData destination(c.address, nullptr, c.size);
        EXPECT_EQ(OverlapLength(destination, source), c.overlap);
        EXPECT_EQ(OverlapLength(source, destination), c.overlap);
        CopyOverlap(destination, source);
        EXPECT_EQ(bytesOf(destination), c.after);
    }
    EXPECT_EQ(OverlapLength(CAddressData(100, nullptr, 0), source), 0u);

    // Ranges reaching the top of the address space do not wrap round to 0.
    const CAddressData top(0xFFFFFFF0u, ten.data(), 10);
    EXPECT_EQ(OverlapLength(top, CAddressData(0, nullptr, 16)), 0u);
    EXPECT_EQ(OverlapLength(top, CAddressData(0xFFFFFFF8u, nullptr, 8)), 2u);
}

// Data digits are decoded sixteen at a time where the processor allows it: a
// record of 37 bytes has whole groups and a rest, and a character just outside
// a digit range, or from 0x80 up, must fail the decode in any position.
TEST(SRecordParse, EveryDataPositionKnowsItsDigitsFromTheirNeighbours) {
    Bytes data;
    for (int i = 0; i < 37; ++i)
        data.push_back(static_cast<std::uint8_t>(i * 59 + 7)); // every nibble value
    const std::string good = record(3, 0x12345678, data);
    constexpr std::size_t kFirst = 12; // "S3", count, 8 address digits
    const std::size_t digits = 2 * data.size();

    for (const bool load : {false, true}) {
        SCOPED_TRACE(load ? "as the loader reads it" : "kept as text");
        const auto decoded = [load](const std::string& line, bool strict) -> std::optional<Bytes> {
            CAddressDataEx r;
            std::vector<std::uint8_t> store(line.size());
            if (load)
                r.parseInto(line, store.data());
            else
                r.parse(line);
            try {
                strict ? r.decodeStrict() : r.decode();
            } catch (const CFormatError&) {
                return std::nullopt;
            }
            return bytesOf(r);
        };
        EXPECT_EQ(decoded(good, true), data);

        std::string lower = good;
        for (std::size_t i = kFirst; i < kFirst + digits; ++i)
            lower[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(lower[i])));
        EXPECT_EQ(decoded(lower, false), data);
        EXPECT_EQ(decoded(lower, true), std::nullopt);

        for (std::size_t i = kFirst; i < kFirst + digits; ++i)
            for (const char c : {'/', ':', '@', 'G', '`', 'g', ' ', '\x80', '\xB0', '\xFF'}) {
                std::string line = good;
                line[i] = c;
                EXPECT_EQ(decoded(line, false), std::nullopt) << "position " << i << " " << c;
            }
    }
}
