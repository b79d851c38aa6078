#include "sim/flash_journal.h"

#include "platform/files.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace sim {

struct FlashJournal::File {
    platform::AppendFile append;
};

namespace {

const char* const kDigits = "0123456789ABCDEF";

int digit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool hexBytes(const std::string& text, std::vector<std::uint8_t>& out) {
    if (text.size() % 2 != 0)
        return false;
    out.clear();
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int high = digit(text[i]);
        const int low = digit(text[i + 1]);
        if (high < 0 || low < 0)
            return false;
        out.push_back(static_cast<std::uint8_t>(high << 4 | low));
    }
    return true;
}

} // namespace

FlashJournal::FlashJournal(std::string fileName) : fileName_(std::move(fileName)) {}

FlashJournal::~FlashJournal() = default;

void FlashJournal::append(const std::string& line) {
    if (!file_) {
        file_ = std::make_unique<File>(File{platform::AppendFile::open(fileName_)});
    }
    if (file_->append.valid())
        file_->append.write(line.data(), line.size());
}

void FlashJournal::erased(unsigned processor, std::uint32_t first, std::uint32_t last) {
    char line[64];
    std::snprintf(line, sizeof line, "E %u %X %X\n", processor, static_cast<unsigned>(first),
                  static_cast<unsigned>(last));
    append(line);
}

void FlashJournal::programmed(unsigned processor, std::uint32_t address, const std::uint8_t* data,
                              std::uint32_t length) {
    char head[48];
    std::snprintf(head, sizeof head, "P %u %X ", processor, static_cast<unsigned>(address));
    std::string line = head;
    line.reserve(line.size() + 2 * length + 1);
    for (std::uint32_t i = 0; i < length; ++i) {
        line += kDigits[data[i] >> 4];
        line += kDigits[data[i] & 0x0F];
    }
    line += '\n';
    append(line);
}

std::vector<bool> FlashJournal::replay(const std::vector<FlashMemory*>& flashes) {
    std::vector<bool> changed(flashes.size(), false);
    const auto bytes = platform::ReadWholeFile(fileName_);
    if (!bytes)
        return changed;
    const std::string text(bytes->begin(), bytes->end());
    std::size_t start = 0;
    std::vector<std::uint8_t> data;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        std::istringstream line(text.substr(start, end - start));
        char kind = 0;
        unsigned processor = 0;
        std::string first, second;
        if (!(line >> kind >> processor >> first >> second) || processor >= flashes.size())
            continue;
        FlashMemory& flash = *flashes[processor];
        const unsigned long a = std::strtoul(first.c_str(), nullptr, 16);
        if (kind == 'E') {
            const unsigned long b = std::strtoul(second.c_str(), nullptr, 16);
            if (b == 0xFFFFFFFFul && a == 0)
                flash.eraseAll();
            else
                flash.eraseRange(static_cast<std::uint32_t>(a), static_cast<std::uint32_t>(b));
            changed[processor] = true;
        } else if (kind == 'P' && hexBytes(second, data) &&
                   flash.covers(static_cast<std::uint32_t>(a), data.size())) {
            flash.program(static_cast<std::uint32_t>(a), data.data(), data.size());
            changed[processor] = true;
        }
    }
    return changed;
}

void FlashJournal::discard() {
    file_.reset();
    platform::DeleteFileA(fileName_);
}

} // namespace sim
