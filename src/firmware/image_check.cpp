#include "firmware/image_check.h"

#include "firmware/address_data_list.h"
#include "firmware/file_open_error.h"
#include "firmware/format_error.h"
#include "settings/localisation.h"

#include <cstdio>

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
    CAddressDataList image;
    try {
        image.load(path);
    } catch (const CFileOpenError&) {
        return {ImageCheck::Result::Unreadable, 0};
    }
    // Each record is dropped as soon as it has passed, so that the check never
    // holds more than one decoded record.
    ImageCheck check;
    for (auto position = image.head(); position != image.end();) {
        CAddressDataEx& entry = image.at(position);
        try {
            entry.decode();
        } catch (const CFormatError&) {
            return {ImageCheck::Result::BadRecord, entry.line()};
        }
        check.dataBytes += entry.size();
        position = image.remove(position);
    }
    return check;
}
