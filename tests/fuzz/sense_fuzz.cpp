// The error of a failed command over arbitrary 80-byte request blocks: its
// sense accessors read the status and the fixed-format sense data at their
// places in the block, a buffer of any other size reports zeros, and
// errorText always gives a line.
//
// Input: one byte for the error's form and detail, then the block.
#include "device/cmd_error.h"
#include "device/error_text.h"
#include "device/srb_layout.h"

#include "fuzz_support.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

const std::string kUnknown = "Unknown error.";

void checkAccessors(const CCmdError& error, const std::uint8_t* block) {
    FUZZ_CHECK(error.hasRequestBlock(), "an 80-byte block");
    const std::uint8_t* sense = block + srb::kSense;
    FUZZ_CHECK(error.status() == block[srb::kStatus], "status");
    FUZZ_CHECK(error.senseKey() == (sense[2] & 0x0F), "sense key");
    FUZZ_CHECK(error.asc() == sense[12] && error.ascq() == sense[13], "asc/ascq");
    FUZZ_CHECK(error.senseCode() == (sense[12] << 8 | sense[13]), "sense code");
    FUZZ_CHECK(error.is(sense[2] & 0x0F, sense[12], sense[13]), "is(key, asc, ascq)");
    FUZZ_CHECK(error.is(sense[2] & 0x0F, sense[12] << 8 | sense[13]), "is(key, code)");
    FUZZ_CHECK(!error.is((sense[2] & 0x0F) + 16, sense[12], sense[13]), "is with another key");
    FUZZ_CHECK(std::memcmp(error.data(), block, srb::kSize) == 0, "the block is kept");
}

// The line for a block: a text of the sense table for a completed or failed
// request, the numbers for an unlisted sense of keys 3 and 5, else "Unknown
// error."; then the detail.
void checkText(const CCmdError& error, const std::string& detail) {
    const std::string text = errorText(error);
    FUZZ_CHECK(!text.empty(), "an empty line");
    const std::string tail = detail.empty() ? "" : " - " + detail;
    FUZZ_CHECK(text.size() >= tail.size() &&
                   text.compare(text.size() - tail.size(), tail.size(), tail) == 0,
               text);
    const std::string head = text.substr(0, text.size() - tail.size());
    FUZZ_CHECK(!head.empty(), text);
    if (!error.hasRequestBlock()) {
        FUZZ_CHECK(head == (error.message().empty() ? kUnknown : error.message()), text);
        return;
    }
    if (error.status() != srb::kComplete && error.status() != srb::kError) {
        FUZZ_CHECK(head == kUnknown, text);
        return;
    }
    const int key = error.senseKey();
    if (head.rfind("Unknown error. ", 0) == 0) {
        FUZZ_CHECK(key == 3 || key == 5, text);
        const std::string numbers = std::to_string(key) + "-" + std::to_string(error.asc()) + "-" +
                                    std::to_string(error.ascq());
        FUZZ_CHECK(head == "Unknown error. " + numbers, text);
        return;
    }
    // Only keys 3, 4 and 5 have texts of their own.
    if (key != 3 && key != 4 && key != 5)
        FUZZ_CHECK(head == kUnknown, text);
    if (key == 4)
        FUZZ_CHECK(head == "Scanner hardware problem.", text);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz_support::UseScratchTexts();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz_support::Input in(data, size);
    const std::uint8_t form = in.u8();
    std::uint8_t block[srb::kSize] = {};
    const std::vector<std::uint8_t> given = in.bytes(srb::kSize);
    std::copy(given.begin(), given.end(), block);
    const std::vector<std::uint8_t> detailBytes = in.rest();
    const std::string detail((form & 1) != 0 ? detailBytes.begin() : detailBytes.end(),
                             detailBytes.end());

    // From the request block, as a transport throws it.
    CCmdError error(srb::fromBytes(block));
    checkAccessors(error, block);
    error.setDetail(detail);
    checkText(error, detail);
    const CCmdError copy(error);
    checkAccessors(copy, block);
    FUZZ_CHECK(errorText(copy) == errorText(error), "a copy reads the same");

    // From sense bytes alone: a failed block around the first 16 at most.
    const std::size_t count = form >> 3;
    CCmdError fromSense(given.empty() ? nullptr : given.data(), std::min(count, given.size()));
    std::uint8_t expected[srb::kSize] = {};
    expected[srb::kStatus] = srb::kError;
    std::copy_n(given.begin(), std::min({count, given.size(), srb::kSenseCapacity}),
                expected + srb::kSense);
    checkAccessors(fromSense, expected);
    checkText(fromSense, "");

    // A buffer of another size is no request block: every accessor reads 0.
    CCmdError resized(srb::fromBytes(block));
    resized.setSize((form & 2) != 0 ? srb::kSize + 1 + form % 7 : form % srb::kSize);
    FUZZ_CHECK(!resized.hasRequestBlock(), "resized");
    FUZZ_CHECK(resized.status() == 0 && resized.senseKey() == 0 && resized.asc() == 0 &&
                   resized.ascq() == 0 && resized.senseCode() == 0,
               "accessors of a resized buffer");
    FUZZ_CHECK(!resized.is(0, 0, 0) && !resized.is(0, 0), "tests of a resized buffer");
    resized.setMessage(detail);
    checkText(resized, "");

    const CCmdError fromText(detail);
    checkText(fromText, "");
    FUZZ_CHECK(std::string(fromText.what()) == detail.c_str(), "what()");
    return 0;
}
