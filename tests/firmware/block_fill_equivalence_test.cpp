// The block fill against a plain reference that does literally what the fill
// promises: for every block, walk the image from its head, decode each entry,
// copy what falls in the block (later entries win), take out entries used up,
// stop once every byte is covered. Random images and maps, both walks.
#include "firmware/block_fill.h"

#include "srecord_lines.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <list>
#include <random>
#include <string>
#include <vector>

using srecord_lines::record;

namespace {

using Bytes = std::vector<std::uint8_t>;

struct RecordPiece {
    std::uint32_t address = 0;
    Bytes data;
    bool bad = false; // a checksum that does not hold
    bool blank = false;
};

std::string textOf(const std::vector<RecordPiece>& pieces) {
    std::string text;
    for (const RecordPiece& p : pieces) {
        if (p.blank) {
            text += "S00600004844521B\r\n";
            continue;
        }
        srecord_lines::Options options;
        if (p.bad) {
            // One more than the checksum that holds.
            std::uint32_t sum = static_cast<std::uint32_t>(p.data.size() + 5);
            for (int i = 0; i < 4; ++i)
                sum += (p.address >> (8 * i)) & 0xFF;
            for (std::uint8_t b : p.data)
                sum += b;
            options.checksum = static_cast<std::uint8_t>(~sum + 1);
        }
        text += record(3, p.address, p.data, options) + "\r\n";
    }
    return text;
}

struct Block {
    std::uint32_t address;
    std::uint32_t size;
};

// The reference's own image: entries in file order with their bytes.
struct RefEntry {
    int line;
    RecordPiece piece;
    bool decoded = false;
};

struct FillOutcome {
    Bytes bytes;
    std::uint32_t covered = 0;
    std::size_t left = 0;
    std::vector<int> progress;
    int badLine = 0; // the line of the record that failed, 0 for none
    std::vector<int> decodedLines;

    bool operator==(const FillOutcome&) const = default;
};

std::vector<FillOutcome> reference(const std::vector<RecordPiece>& pieces,
                                   const std::vector<Block>& blocks, FillWalk walk) {
    std::list<RefEntry> image;
    int line = 0;
    for (const RecordPiece& p : pieces)
        image.push_back({++line, p});
    std::vector<FillOutcome> outcomes;
    for (const Block& block : blocks) {
        FillOutcome out;
        out.bytes.assign(block.size, 0xFF);
        std::vector<bool> covered(block.size, false);
        const std::size_t total = image.size();
        std::size_t walked = 0;
        int shown = 0;
        for (auto it = image.begin(); it != image.end();) {
            RefEntry& entry = *it;
            if (!entry.decoded && !entry.piece.blank) {
                entry.decoded = true;
                if (entry.piece.bad) {
                    entry.piece.data.clear();
                    out.badLine = entry.line;
                    break;
                }
            }
            bool usedUp = false;
            std::size_t inside = 0;
            const Bytes& data = entry.piece.blank ? Bytes() : entry.piece.data;
            for (std::size_t i = 0; i < data.size(); ++i) {
                const std::uint64_t at = std::uint64_t{entry.piece.address} + i;
                if (at >= block.address && at < std::uint64_t{block.address} + block.size) {
                    out.bytes[at - block.address] = data[i];
                    if (!covered[at - block.address]) {
                        covered[at - block.address] = true;
                        ++out.covered;
                    }
                    ++inside;
                }
            }
            usedUp = inside > 0 && inside == data.size();
            it = usedUp ? image.erase(it) : std::next(it);
            const int percent = static_cast<int>(++walked * 100 / total);
            if (percent > shown)
                out.progress.push_back(shown = percent);
            if (walk == FillWalk::kUntilCovered && out.covered == block.size)
                break;
        }
        out.left = image.size();
        for (const RefEntry& entry : image)
            if (entry.decoded)
                out.decodedLines.push_back(entry.line);
        outcomes.push_back(out);
        if (out.badLine != 0)
            break;
    }
    return outcomes;
}

std::vector<FillOutcome> filled(const std::vector<RecordPiece>& pieces,
                                const std::vector<Block>& blocks, FillWalk walk) {
    CAddressDataList image;
    image.loadText(textOf(pieces));
    std::vector<FillOutcome> outcomes;
    for (const Block& block : blocks) {
        FillOutcome out;
        try {
            FilledBlock result = FillBlock(
                image, block.address, block.size,
                [&](int percent) { out.progress.push_back(percent); }, walk);
            out.bytes.assign(result.block->data(), result.block->data() + result.block->size());
            out.covered = result.coveredBytes;
        } catch (const CImageRecordError& error) {
            out.badLine = error.line();
            out.bytes.assign(block.size, 0xFF);
            out.covered = 0;
        }
        out.left = image.count();
        for (auto it = image.head(); it != image.end(); ++it)
            if (image.at(it).decoded() && image.at(it).textLength() != 0)
                out.decodedLines.push_back(image.at(it).line());
        outcomes.push_back(out);
        if (out.badLine != 0)
            break;
    }
    return outcomes;
}

// The reference, when it stops at a bad record, has no block bytes to give.
void forgetBytesAtFailure(std::vector<FillOutcome>& outcomes) {
    if (!outcomes.empty() && outcomes.back().badLine != 0) {
        outcomes.back().bytes.clear();
        outcomes.back().covered = 0;
        outcomes.back().progress.clear();
    }
}

struct Shape {
    bool shuffled;
    bool overlapping;
    bool outside;
    bool bad;
};

// Records of 1..40 bytes tiling a few areas (with gaps), some straddling
// block edges; optionally shuffled, with overlapping copies, with records
// outside every block, blank lines and one bad record.
std::vector<RecordPiece> randomImage(std::mt19937& random, const Shape& shape,
                                     const std::vector<Block>& blocks, std::uint32_t longest = 40,
                                     bool gaps = true) {
    std::vector<RecordPiece> pieces;
    auto byte = [&] { return static_cast<std::uint8_t>(random() % 256); };
    for (const Block& block : blocks) {
        if (random() % 5 == 0)
            continue; // a block the image does not touch
        std::uint32_t at = block.address - (random() % 3 == 0 ? random() % 8 : 0);
        const std::uint32_t end = block.address + block.size + (random() % 3 == 0 ? 5 : 0);
        while (at < end) {
            const std::uint32_t length = 1 + random() % longest;
            RecordPiece p{at, {}};
            for (std::uint32_t i = 0; i < length; ++i)
                p.data.push_back(byte());
            if (!gaps || random() % 9 != 0) // leave gaps now and then
                pieces.push_back(p);
            at += length;
        }
    }
    if (shape.overlapping) {
        const std::size_t copies = pieces.size() / 4 + 1;
        for (std::size_t i = 0; i < copies && !pieces.empty(); ++i) {
            RecordPiece p = pieces[random() % pieces.size()];
            p.address += random() % 7;
            for (auto& b : p.data)
                b = byte();
            pieces.push_back(p);
        }
    }
    if (shape.outside)
        for (int i = 0; i < 5; ++i)
            pieces.push_back({0x70000000u + static_cast<std::uint32_t>(random() % 0x1000), {1, 2}});
    if (shape.shuffled)
        std::shuffle(pieces.begin(), pieces.end(), random);
    for (int i = 0; i < 3; ++i) {
        RecordPiece blank;
        blank.blank = true;
        pieces.insert(pieces.begin() + static_cast<long>(random() % (pieces.size() + 1)), blank);
    }
    if (shape.bad && !pieces.empty()) {
        RecordPiece& victim = pieces[random() % pieces.size()];
        victim.bad = !victim.blank;
    }
    return pieces;
}

std::vector<Block> randomMap(std::mt19937& random, int most = 12, std::uint32_t smallest = 16) {
    std::vector<Block> blocks;
    std::uint32_t at = 0x10000 * (1 + random() % 4);
    const int count = 1 + static_cast<int>(random() % static_cast<unsigned>(most));
    for (int i = 0; i < count; ++i) {
        const std::uint32_t size = smallest << (random() % 6);
        blocks.push_back({at, size});
        at += size + (random() % 4 == 0 ? 0x100 : 0);
    }
    if (random() % 3 == 0)
        std::reverse(blocks.begin(), blocks.end()); // a map listing a later window first
    return blocks;
}

} // namespace

namespace {

void expectSameOutcomes(const std::vector<RecordPiece>& pieces, const std::vector<Block>& blocks,
                        FillWalk walk, int round) {
    std::vector<FillOutcome> expected = reference(pieces, blocks, walk);
    std::vector<FillOutcome> actual = filled(pieces, blocks, walk);
    forgetBytesAtFailure(expected);
    forgetBytesAtFailure(actual);
    ASSERT_EQ(actual.size(), expected.size()) << "round " << round;
    for (std::size_t b = 0; b < expected.size(); ++b) {
        ASSERT_EQ(actual[b].bytes, expected[b].bytes) << "round " << round << " block " << b;
        ASSERT_EQ(actual[b].covered, expected[b].covered) << "block " << b;
        ASSERT_EQ(actual[b].left, expected[b].left) << "block " << b;
        ASSERT_EQ(actual[b].progress, expected[b].progress) << "block " << b;
        ASSERT_EQ(actual[b].badLine, expected[b].badLine) << "block " << b;
        ASSERT_EQ(actual[b].decodedLines, expected[b].decodedLines) << "block " << b;
    }
}

} // namespace

TEST(BlockFillEquivalence, RandomImagesGiveWhatTheWalkGives) {
    std::mt19937 random(20261209);
    const Shape shapes[] = {{false, false, false, false}, {true, false, false, false},
                            {false, true, false, false},  {true, true, true, false},
                            {false, false, true, true},   {true, true, false, true}};
    int cases = 0;
    for (int round = 0; round < 40; ++round) {
        for (const Shape& shape : shapes) {
            const std::vector<Block> blocks = randomMap(random);
            const std::vector<RecordPiece> pieces = randomImage(random, shape, blocks);
            for (FillWalk walk : {FillWalk::kUntilCovered, FillWalk::kWholeList}) {
                ASSERT_NO_FATAL_FAILURE(expectSameOutcomes(pieces, blocks, walk, round));
                ++cases;
            }
        }
    }
    EXPECT_EQ(cases, 480);
}

// An image changed between two blocks (an entry appended) is laid out from
// its new content.
TEST(BlockFillEquivalence, AChangedImageIsLookedAtAfresh) {
    CAddressDataList image;
    image.loadText(record(3, 0x100, {1}) + "\r\n");
    FillBlock(image, 0, 0x100);
    image.loadText(record(3, 0x101, {7}) + "\r\n");
    const FilledBlock second = FillBlock(image, 0x100, 2);
    EXPECT_EQ(second.block->data()[0], 1);
    EXPECT_EQ(second.block->data()[1], 7);
    EXPECT_TRUE(image.empty());
}

// Images of many thousands of short records without gaps, in order and not,
// over maps of a few dozen blocks in either order: the walk's count for each
// block's progress runs far up and down the list.
TEST(BlockFillEquivalence, LargeImagesCountTheirWalkLikeTheWalk) {
    std::mt19937 random(20261210);
    const Shape shapes[] = {
        {false, false, false, false}, {true, false, false, false}, {true, true, false, false}};
    for (int round = 0; round < 3; ++round)
        for (const Shape& shape : shapes) {
            const std::vector<Block> blocks = randomMap(random, 24, 1024);
            // Whole blocks, so that the walk stops early in each.
            const std::vector<RecordPiece> pieces = randomImage(random, shape, blocks, 12, false);
            ASSERT_NO_FATAL_FAILURE(
                expectSameOutcomes(pieces, blocks, FillWalk::kUntilCovered, round));
        }
}

// The ranges read from the fill's index are those of the records still in the
// image, before any block and between blocks, in any order of the file.
TEST(BlockFillEquivalence, DataRangesAreThoseOfTheRecordsLeft) {
    std::mt19937 random(20261211);
    const auto plainRanges = [](CAddressDataList& image) {
        std::vector<AddressRange> ranges;
        for (auto it = image.head(); it != image.end(); ++it) {
            CAddressDataEx& entry = image.at(it);
            ranges.push_back(
                {entry.address(), std::uint64_t{entry.address()} +
                                      static_cast<std::uint64_t>(entry.dataByteCount())});
        }
        return MergeRanges(std::move(ranges));
    };
    for (int round = 0; round < 30; ++round) {
        const std::vector<Block> blocks = randomMap(random);
        const Shape shape{round % 2 == 0, round % 3 == 0, round % 5 == 0, false};
        CAddressDataList image;
        image.loadText(textOf(randomImage(random, shape, blocks)));
        ASSERT_EQ(ImageDataRanges(image), plainRanges(image)) << "round " << round;
        for (const Block& block : blocks) {
            FillBlock(image, block.address, block.size);
            ASSERT_EQ(ImageDataRanges(image), plainRanges(image)) << "round " << round;
        }
    }
}
