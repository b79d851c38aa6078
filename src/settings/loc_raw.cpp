#include "settings/loc_raw.h"

#include <utility>

namespace {

constexpr char16_t kLineFeed = 0x000A;
constexpr char16_t kCarriageReturn = 0x000D;
constexpr char32_t kReplacement = 0xFFFD;

bool isHighSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool isLowSurrogate(char16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

} // namespace

void AppendUtf8(std::string& out, char32_t codePoint) {
    auto byte = [&out](char32_t value) { out += static_cast<char>(value); };
    if (codePoint < 0x80) {
        byte(codePoint);
    } else if (codePoint < 0x800) {
        byte(0xC0 | (codePoint >> 6));
        byte(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        byte(0xE0 | (codePoint >> 12));
        byte(0x80 | ((codePoint >> 6) & 0x3F));
        byte(0x80 | (codePoint & 0x3F));
    } else {
        byte(0xF0 | (codePoint >> 18));
        byte(0x80 | ((codePoint >> 12) & 0x3F));
        byte(0x80 | ((codePoint >> 6) & 0x3F));
        byte(0x80 | (codePoint & 0x3F));
    }
}

CLocRaw::CLocRaw(std::vector<unsigned char> bytes) : bytes_(std::move(bytes)) {
    if (bytes_.size() >= 2 && bytes_[0] == 0xFF && bytes_[1] == 0xFE)
        pos_ = 2;
}

char16_t CLocRaw::peekUnit() const {
    return static_cast<char16_t>(bytes_[pos_] | (bytes_[pos_ + 1] << 8));
}

bool CLocRaw::atEnd() const {
    return ended_ || !unitAvailable() || peekUnit() == 0;
}

std::optional<std::string> CLocRaw::nextLine() {
    if (atEnd()) {
        ended_ = true;
        return std::nullopt;
    }
    std::string line;
    while (unitAvailable()) {
        const char16_t unit = peekUnit();
        if (unit == 0) {
            ended_ = true;
            break;
        }
        pos_ += 2;
        if (unit == kLineFeed)
            break;
        if (unit == kCarriageReturn && unitAvailable() && peekUnit() == kLineFeed) {
            pos_ += 2;
            break;
        }
        if (isHighSurrogate(unit) && unitAvailable() && isLowSurrogate(peekUnit())) {
            const char16_t low = peekUnit();
            pos_ += 2;
            AppendUtf8(line,
                       0x10000 + ((char32_t(unit) - 0xD800) << 10) + (char32_t(low) - 0xDC00));
        } else if (isHighSurrogate(unit) || isLowSurrogate(unit)) {
            AppendUtf8(line, kReplacement);
        } else {
            AppendUtf8(line, unit);
        }
    }
    return line;
}
