// A corrupt image is found before the scanner leaves its normal mode: nothing
// beyond identification reaches the scanner, wherever the bad record lies.
#include "support/simulated_run.h"
#include "support/srecord_image.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

using namespace testing_support;

namespace {

std::uint8_t corruptImageByte(std::uint32_t address) {
    return static_cast<std::uint8_t>(address * 3 + 7);
}

struct BadRecord {
    const char* where;
    std::uint32_t address; // the record starting here is spoilt
    char how;              // 'c' checksum, 'd' a character that is no digit, 'o' odd digit count
};

std::string lineAt(const std::string& text, std::uint32_t address, std::size_t& at) {
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "S325%08X", static_cast<unsigned>(address));
    at = text.find(prefix);
    return at == std::string::npos ? std::string() : text.substr(at, text.find("\r\n", at) - at);
}

// Three blocks of the SX-2300C's 64 KiB blocks, and a record beyond its flash.
std::string spoiltImage(const BadRecord& bad, int& line) {
    std::string text = SRecordImage({{0, 3 * 0x10000}, {0x180000, 0x20}}, corruptImageByte);
    std::size_t at = 0;
    const std::string record = lineAt(text, bad.address, at);
    EXPECT_FALSE(record.empty()) << bad.where;
    line = 1;
    for (std::size_t i = 0; i < at; ++i)
        line += text[i] == '\n';
    const std::size_t last = at + record.size() - 1;
    if (bad.how == 'c')
        text[last] = text[last] == '0' ? '1' : '0';
    else if (bad.how == 'd')
        text[at + 20] = 'G';
    else
        text.erase(last, 1);
    return text;
}

class CorruptImage : public testing::TestWithParam<BadRecord> {};

} // namespace

TEST_P(CorruptImage, NeverLeavesTheScannerInDownloadMode) {
    SimulatedRun run;
    run.writeSettings({{"NewFirmwareVersion", "1.21"}});
    int line = 0;
    run.writeWorkFile("image.mot", spoiltImage(GetParam(), line));
    run.addExampleProfile("MORVI.ini");
    run.run({"image.mot", "MORVI", "silent_w_err"});

    const std::string log = run.log();
    EXPECT_NE(log.find("The firmware file has a bad record in line " + std::to_string(line) + "."),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("Firmware upgrade failed."), std::string::npos) << log;
    EXPECT_EQ(log.find("completed"), std::string::npos) << log;

    const std::set<std::string> identification = {"tur", "inquiry", "vendorpage", "processorinfo"};
    for (const std::string& kind : run.traceKinds(0))
        EXPECT_TRUE(identification.count(kind)) << kind << " reached the scanner";
}

INSTANTIATE_TEST_SUITE_P(EveryPlace, CorruptImage,
                         testing::Values(BadRecord{"first block", 0x0, 'c'},
                                         BadRecord{"middle block", 0x10020, 'd'},
                                         BadRecord{"last block", 0x2FFE0, 'o'},
                                         BadRecord{"outside every block", 0x180000, 'c'}),
                         [](const testing::TestParamInfo<BadRecord>& info) {
                             std::string name = info.param.where;
                             for (char& c : name)
                                 if (c == ' ')
                                     c = '_';
                             return name;
                         });
