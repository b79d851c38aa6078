#include "firmware/address_data_list.h"

#include "firmware/file_open_error.h"
#include "platform/files.h"

#include <stdexcept>

namespace {

constexpr char kEndOfText = '\x1A'; // Ctrl-Z

} // namespace

CAddressDataList::~CAddressDataList() {
    clear();
}

std::int32_t CAddressDataList::load(const std::string& fileName) {
    std::uint32_t error = 0;
    const auto bytes = platform::ReadWholeFile(fileName, error);
    if (!bytes)
        throw CFileOpenError(error);
    return loadText(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
}

std::int32_t CAddressDataList::loadText(std::string_view content) {
    content = content.substr(0, content.find(kEndOfText));
    std::uint32_t total = 0;
    std::int32_t lineNumber = 0;
    while (!content.empty()) {
        const std::size_t lineFeed = content.find('\n');
        std::string_view line = content.substr(0, lineFeed);
        content =
            lineFeed == std::string_view::npos ? std::string_view() : content.substr(lineFeed + 1);
        if (lineFeed != std::string_view::npos && !line.empty() && line.back() == '\r')
            line.remove_suffix(1);

        auto entry = std::make_unique<CAddressDataEx>(++lineNumber);
        entry->parse(line);
        total += static_cast<std::uint32_t>(entry->dataByteCount());
        append(std::move(entry));
    }
    return static_cast<std::int32_t>(total);
}

void CAddressDataList::append(std::unique_ptr<CAddressDataEx> entry) {
    if (!entry)
        throw std::invalid_argument("an image entry must be a record");
    fillState_.reset();
    entries_.push_back(std::move(entry));
}

CAddressDataEx& CAddressDataList::at(Position position) {
    if (position == entries_.end())
        throw std::invalid_argument("no image entry at the end of the list");
    return **position;
}

CAddressDataList::Position CAddressDataList::remove(Position position) {
    fillState_.reset();
    return removeKeepingFillState(position);
}

CAddressDataList::Position CAddressDataList::removeKeepingFillState(Position position) {
    if (position == entries_.end())
        throw std::invalid_argument("no image entry at the end of the list");
    return entries_.erase(position);
}

void CAddressDataList::clear() {
    fillState_.reset();
    while (!entries_.empty())
        entries_.pop_front();
}
