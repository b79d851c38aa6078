#include "firmware/image_check.h"

#include "firmware/address_data.h"
#include "firmware/format_error.h"
#include "firmware/line_splitter.h"
#include "settings/localisation.h"

#include <cstdio>
#include <string_view>
#include <vector>

std::string ImageCheck::text() const {
    switch (result) {
    case Result::Good:
        break;
    case Result::Unreadable:
        return Translate("The firmware file cannot be read.");
    case Result::BadRecord: {
        char text[200];
        std::snprintf(text, sizeof text,
                      Translate("The firmware file has a bad record in line %d.").c_str(),
                      static_cast<int>(line));
        return text;
    }
    }
    return {};
}

ImageCheck CheckImageFile(const std::string& path) {
    std::uint32_t error = 0;
    platform::FileReader file = platform::FileReader::open(path, error);
    if (!file.valid())
        return {ImageCheck::Result::Unreadable, 0};
    // Line by line, each record parsed and decoded as the image loader and the
    // pipeline do it, and then dropped: the check holds one record and one
    // piece of the file at a time. A file that cannot be read to its end is
    // unreadable, even where a bad record came before the failure.
    ImageCheck check;
    std::int32_t badLine = 0;
    std::int32_t lineNumber = 0;
    std::vector<std::uint8_t> store;
    const auto take = [&](std::string_view line) {
        ++lineNumber;
        if (badLine != 0)
            return;
        if (store.size() < line.size() / 2)
            store.resize(line.size() / 2);
        CAddressDataEx entry(lineNumber);
        entry.parseInto(line, store.data());
        try {
            entry.decode();
        } catch (const CFormatError&) {
            badLine = lineNumber;
            return;
        }
        check.dataBytes += entry.size();
    };
    if (!SplitFileIntoLines(file, take, error))
        return {ImageCheck::Result::Unreadable, 0};
    if (badLine != 0)
        return {ImageCheck::Result::BadRecord, badLine};
    return check;
}
