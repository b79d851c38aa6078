#include "device/cmd_error.h"

#include <algorithm>
#include <cstring>
#include <utility>

CCmdError::CCmdError(const SRB_ExecSCSICmd& block) {
    const srb::Bytes bytes = srb::toBytes(block);
    assign(bytes.data(), bytes.size());
}

CCmdError::CCmdError(std::string message) : message_(std::move(message)) {}

CCmdError::CCmdError(const std::uint8_t* sense, std::size_t count) : CMsgBuffer(srb::kSize) {
    (*this)[srb::kStatus] = srb::kError;
    const std::size_t copied = std::min(count, srb::kSenseCapacity);
    if (copied > 0)
        std::memcpy(data() + srb::kSense, sense, copied);
}

bool CCmdError::is(int key, int senseAsc, int senseAscq) const {
    return hasRequestBlock() && senseKey() == key && asc() == senseAsc && ascq() == senseAscq;
}

bool CCmdError::is(int key, int code) const {
    return hasRequestBlock() && senseKey() == key && senseCode() == code;
}
