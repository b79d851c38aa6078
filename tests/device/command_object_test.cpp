#include "device/command_object.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Records what reaches the memory forms, to see what the buffer forms pass on.
class RecordingTransport : public CCommandObject {
public:
    using CCommandObject::executeIn;
    using CCommandObject::executeOut;

    std::string identifier(std::size_t) const override { return {}; }
    bool open() override { return false; }
    void close() override {}
    int executeIn(const CCDB&, std::uint8_t* buffer, std::size_t length) override {
        for (std::size_t i = 0; i < length; ++i)
            buffer[i] = static_cast<std::uint8_t>(i + 1);
        return 1;
    }
    int executeOut(const CCDB&, const std::uint8_t* buffer, std::size_t length) override {
        sent.assign(buffer, buffer + length);
        return 1;
    }
    int execute(const CCDB&) override { return 1; }
    void reset() override {}

    std::vector<std::uint8_t> sent;
};

constexpr std::uint8_t kRead[10] = {0x2E, 0, 0, 0, 0, 0, 0, 0, 0, 0};

TEST(CommandObject, BufferFormsCarryTheWholeBuffer) {
    RecordingTransport transport;
    const CCDB cdb(kRead);
    CMsgBuffer reply(5);
    transport.executeIn(cdb, reply);
    EXPECT_EQ(reply.bytes(), (std::vector<std::uint8_t>{1, 2, 3, 4, 5}));

    CMsgBuffer data(3);
    data.fill(0x7E);
    transport.executeOut(cdb, data);
    EXPECT_EQ(transport.sent, data.bytes());
    EXPECT_FALSE(transport.linkFlag());
}

} // namespace
