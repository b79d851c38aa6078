// The frames of a processor behind the main controller, one at a time, to a
// virtual scanner whose drive flash sits where every address byte differs.
#include "device/cmd_error.h"
#include "device/scanner_fixture.h"
#include "dialogs/processor_link.h"
#include "dialogs/processor_row.h"

#include <stdexcept>

class ProcessorLinkTest : public ScannerFixture {
protected:
    void SetUp() override {
        ScannerFixture::SetUp();
        attach({profile("scanner", "Product=SX-4600C\nRevision=1.41\n",
                        "[Processor1]\nName=MAIN DRIVE\nEraseBlocks=0x12345000:0x1000\n")});
        scanner.quietErrors = 1;
        ASSERT_EQ(scanner.openWith({"STI\\KORVA SX-4600C USB"}), 1);
        link.start();
        clearTrace("scanner");
    }
    std::vector<std::string> commands() {
        std::vector<std::string> lines;
        for (const std::string& line : trace("scanner"))
            lines.push_back(line.substr(0, line.find(" ->")));
        return lines;
    }

    ProcessorRow row = MainDriveRow();
    CProcessorLink link{scanner, row};
};

TEST_F(ProcessorLinkTest, DataLandsAtTheAddressSentBigEndian) {
    const std::uint8_t data[3] = {0x11, 0x22, 0x33};
    link.setAddress(0x12345678);
    link.writeData(data, sizeof data);
    EXPECT_EQ(virtualScanner().flashByte(1, 0x12345678), 0x11);
    EXPECT_EQ(virtualScanner().flashByte(1, 0x1234567A), 0x33);

    std::uint8_t back[2] = {};
    link.setAddress(0x12345679);
    link.readData(back, sizeof back);
    EXPECT_EQ(back[0], 0x22);
    EXPECT_EQ(back[1], 0x33);
    EXPECT_EQ(commands(), (std::vector<std::string>{
                              "address FE 00 80 21 03 00 00 00 0A 00 out 10",
                              "datawrite FE 00 80 21 04 00 00 00 03 00 out 3",
                              "address FE 00 80 21 03 00 00 00 0A 00 out 10",
                              "dataread FD 00 80 21 04 00 00 00 02 00 in 2",
                          }));
}

TEST_F(ProcessorLinkTest, LengthBeyondItsFieldIsRefusedBeforeAnythingIsSent) {
    std::vector<std::uint8_t> bytes(0x10000);
    EXPECT_THROW(link.writeData(bytes.data(), bytes.size()), std::out_of_range);
    EXPECT_THROW(link.readData(bytes.data(), bytes.size()), std::out_of_range);
    EXPECT_TRUE(commands().empty());
    // The largest length still goes out whole; the processor refuses it.
    EXPECT_THROW(link.writeData(bytes.data(), 0xFFFF), CCmdError);
    ASSERT_FALSE(commands().empty());
    EXPECT_EQ(commands()[0], "datawrite FE 00 80 21 04 00 00 FF FF 00 out 65535");
}
