#include "sim/erase_geometry.h"

#include "sim/profile_values.h"

#include <algorithm>
#include <initializer_list>
#include <stdexcept>

namespace sim {

namespace {

struct Family {
    std::initializer_list<const char*> prefixes;
    const char* geometry;
};

// Tested in this order; the first prefix that matches wins.
const Family kFamilies[] = {
    {{"SX-4700C", "SX-2700", "SX-3600", "ZEPA"},
     "0:0x1000*8,0x8000:0x8000,0x10000:0x10000*3,0x200000:0x10000*15,0x2F0000:0x8000,"
     "0x2F8000:0x2000*2,0x2FC000:0x4000"},
    {{"SX-3400C", "XR2", "SX-3300C", "XR"},
     "0:0x10000*15,0xF0000:0x8000,0xF8000:0x2000*2,0xFC000:0x4000,0x100000:0x10000,"
     "0x40000000:0x1000*8,0x40008000:0x8000,0x40010000:0x10000*3"},
    {{"SX-1400C", "SX-1300C", "OLK"},
     "0:0x10000*7,0x70000:0x8000,0x78000:0x2000*2,0x7C000:0x4000,0x80000:0x10000"},
    {{"RX-680", "TAVRIN"}, "0x40000000:0x1000*8,0x40008000:0x8000,0x40010000:0x10000*3"},
    {{"SX-1500C", "SX-1200C", "Mira-Z", "SX-1700C", "Vol-K", "SX-K30", "SX-K20", "SX-K25",
      "SX-K45"},
     "0x10000000:0x10000*15,0x100F0000:0x8000,0x100F8000:0x2000*2,0x100FC000:0x4000,"
     "0x10100000:0x10000,0x40000000:0x1000*8,0x40008000:0x8000,0x40010000:0x10000*3"},
    {{"SX-W50C", "SX-4600C", "SX-3500C", "SX-2600C", "SX-V730", "SX-V700"},
     "0x10000000:0x10000*31,0x101F0000:0x8000,0x101F8000:0x2000*2,0x101FC000:0x4000"},
    {{"SX-105", "M-105", "Do-RIAN"}, "0x10000000:0x10000*256,0x8000:0x8000,0x104000:0xC000"},
    {{"RX-690i", "RX-610i"},
     "0xC0000:0x10000*3,0x108000:0x4000,0x80000000:0x10000*31,0x801F0000:0x8000,"
     "0x801F8000:0x2000*2,0x801FC000:0x4000,0x8D000000:0x10000*32"},
    {{"SX-H60", "SX-H40"},
     "0x4000:0x8000,0x10000000:0x10000*31,0x101F0000:0x8000,0x101F8000:0x2000*2,"
     "0x101FC000:0x4000"},
    {{"SX-T25", "M-T25", "SX-T18", "M-T18", "SX-T11", "M-T11"},
     "0x10000000:0x10000*384,0x104000:0xC000"},
};

const char* const kCommonGeometry = "0:0x10000*15,0xF0000:0x8000,0xF8000:0x2000*2,0xFC000:0x4000";

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    while (true) {
        const auto at = text.find(separator, from);
        parts.push_back(TrimBlanks(text.substr(from, at == std::string::npos ? at : at - from)));
        if (at == std::string::npos)
            return parts;
        from = at + 1;
    }
}

} // namespace

std::vector<EraseBlock> ParseEraseBlocks(const std::string& text) {
    std::vector<EraseBlock> blocks;
    for (const std::string& item : split(text, ',')) {
        const auto colon = item.find(':');
        if (colon == std::string::npos)
            throw std::invalid_argument("\"" + item + "\" is not start:size or start:size*count");
        const std::uint64_t start = ParseProfileNumber(item.substr(0, colon));
        std::string sizeText = item.substr(colon + 1);
        std::uint64_t count = 1;
        if (const auto star = sizeText.find('*'); star != std::string::npos) {
            count = ParseProfileNumber(sizeText.substr(star + 1), 0x100000);
            sizeText = sizeText.substr(0, star);
        }
        const std::uint64_t size = ParseProfileNumber(sizeText);
        if (size == 0 || count == 0)
            throw std::invalid_argument("\"" + item + "\" describes no memory");
        if (start + size * count > 0x100000000ull)
            throw std::invalid_argument("\"" + item + "\" reaches past 4 GiB");
        for (std::uint64_t i = 0; i < count; ++i)
            blocks.push_back(
                {static_cast<std::uint32_t>(start + i * size), static_cast<std::uint32_t>(size)});
    }
    std::sort(blocks.begin(), blocks.end(),
              [](const EraseBlock& a, const EraseBlock& b) { return a.start < b.start; });
    for (std::size_t i = 1; i < blocks.size(); ++i) {
        const std::uint64_t previousEnd =
            std::uint64_t{blocks[i - 1].start} + std::uint64_t{blocks[i - 1].size};
        if (blocks[i].start < previousEnd)
            throw std::invalid_argument("blocks overlap at address " +
                                        std::to_string(blocks[i].start));
    }
    return blocks;
}

std::string StandardGeometryText(const std::string& product) {
    for (const Family& family : kFamilies)
        for (const char* prefix : family.prefixes)
            if (StartsWithNoCase(product, prefix))
                return family.geometry;
    return kCommonGeometry;
}

std::vector<EraseBlock> StandardEraseBlocks(const std::string& product) {
    return ParseEraseBlocks(StandardGeometryText(product));
}

std::vector<EraseBlock> DefaultProcessorBlocks(ProcessorProfile::Access access) {
    return ParseEraseBlocks(access == ProcessorProfile::Access::Vendor ? "0x80000:0x10000*7"
                                                                       : "0x8000:0x1000*8");
}

} // namespace sim
