#include "platform/window_layout.h"

#include <algorithm>

namespace platform {

namespace {

// The system's MulDiv: rounded to the nearest, halves away from zero.
int mulDiv(int value, int numerator, int denominator) {
    const long long product = static_cast<long long>(value) * numerator;
    const long long half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator
                                         : (product - half) / denominator);
}

struct FaceRow {
    const char* templateFace;
    const char* screenFace;
};

// The Japanese face is stored as the system names it (UTF-8 of its
// full-width letters and katakana).
constexpr FaceRow kFaces[] = {
    {"MS Sans Serif", "Liberation Sans"},
    {"MS Shell Dlg", "Liberation Sans"},
    {"\xEF\xBC\xAD\xEF\xBC\xB3 \xEF\xBC\xB0\xE3\x82\xB4\xE3\x82\xB7\xE3\x83\x83\xE3\x82\xAF",
     "IPAPGothic"},
    {"MS PGothic", "IPAPGothic"},
    {"MS UI Gothic", "IPAPGothic"},
};

// The length of the UTF-8 sequence that starts at `at`, and its code point.
std::size_t codePoint(const std::string& text, std::size_t at, char32_t& value) {
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t length = lead < 0x80    ? 1
                         : lead >= 0xF0 ? 4
                         : lead >= 0xE0 ? 3
                         : lead >= 0xC0 ? 2
                                        : 1;
    if (at + length > text.size())
        length = 1;
    value = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i)
        value = (value << 6) | (static_cast<unsigned char>(text[at + i]) & 0x3F);
    return length;
}

bool japanese(char32_t c) {
    return c >= 0x3000 && c <= 0xFFEF;
}

std::string wrapLine(const std::string& line, int maxWidth,
                     const std::function<int(const std::string&)>& width) {
    std::string out;
    std::string rest = line;
    while (!rest.empty() && width(rest) > maxWidth) {
        // The last break opportunity that still fits, and the first letter
        // that does not.
        std::size_t blank = std::string::npos, before = 0, overflow = rest.size();
        std::size_t at = 0;
        while (at < rest.size()) {
            char32_t c = 0;
            const std::size_t length = codePoint(rest, at, c);
            if (at > 0 && width(rest.substr(0, at + length)) > maxWidth) {
                overflow = at;
                if (japanese(c))
                    before = at;
                break;
            }
            if (c == ' ')
                blank = at;
            else if (japanese(c) && at > 0)
                before = at;
            at += length;
        }
        if (overflow == rest.size())
            break;
        std::size_t cut = overflow;
        std::size_t next = overflow;
        if (blank != std::string::npos && blank > 0 && blank + 1 >= before) {
            cut = blank;
            next = blank + 1;
        } else if (before > 0) {
            cut = before;
            next = before;
        }
        std::size_t end = cut;
        while (end > 0 && rest[end - 1] == ' ')
            --end;
        out += rest.substr(0, end) + "\n";
        while (next < rest.size() && rest[next] == ' ')
            ++next;
        rest.erase(0, next);
    }
    return out + rest;
}

} // namespace

std::string WrapText(const std::string& text, int maxWidth,
                     const std::function<int(const std::string&)>& width) {
    std::string out;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find('\n', start);
        out +=
            wrapLine(text.substr(start, end == std::string::npos ? std::string::npos : end - start),
                     maxWidth, width);
        if (end == std::string::npos)
            return out;
        out += '\n';
        start = end + 1;
    }
}

DialogBaseUnits BaseUnitsFromExtent(int alphabetWidth, int lineHeight) {
    DialogBaseUnits base;
    base.x = std::max(1, (alphabetWidth / 26 + 1) / 2);
    base.y = std::max(1, lineHeight);
    return base;
}

int HorizontalPixels(int dialogUnits, const DialogBaseUnits& base) {
    return mulDiv(dialogUnits, base.x, 4);
}

int VerticalPixels(int dialogUnits, const DialogBaseUnits& base) {
    return mulDiv(dialogUnits, base.y, 8);
}

PixelRect ControlPixels(const DialogControl& control, const DialogBaseUnits& base) {
    return {HorizontalPixels(control.x, base), VerticalPixels(control.y, base),
            HorizontalPixels(control.width, base), VerticalPixels(control.height, base)};
}

std::string ScreenFontFace(const std::string& templateFace) {
    for (const FaceRow& row : kFaces)
        if (templateFace == row.templateFace)
            return row.screenFace;
    return templateFace;
}

MessageBoxParts DecodeMessageBoxType(unsigned type) {
    MessageBoxParts parts;
    switch (type & 0x000Fu) {
    case 0x1:
        parts.buttons = BoxButtons::OkCancel;
        break;
    case 0x2:
        parts.buttons = BoxButtons::AbortRetryIgnore;
        break;
    case 0x3:
        parts.buttons = BoxButtons::YesNoCancel;
        break;
    case 0x4:
        parts.buttons = BoxButtons::YesNo;
        break;
    case 0x5:
        parts.buttons = BoxButtons::RetryCancel;
        break;
    default:
        parts.buttons = BoxButtons::Ok;
        break;
    }
    switch (type & 0x00F0u) {
    case 0x10:
        parts.icon = BoxIcon::Error;
        break;
    case 0x20:
        parts.icon = BoxIcon::Question;
        break;
    case 0x30:
        parts.icon = BoxIcon::Warning;
        break;
    case 0x40:
        parts.icon = BoxIcon::Information;
        break;
    default:
        parts.icon = BoxIcon::None;
        break;
    }
    parts.defaultButton = static_cast<int>((type & 0x0F00u) >> 8);
    const int buttons = parts.buttons == BoxButtons::Ok ? 1
                        : parts.buttons == BoxButtons::OkCancel ||
                                parts.buttons == BoxButtons::YesNo ||
                                parts.buttons == BoxButtons::RetryCancel
                            ? 2
                            : 3;
    // A default beyond the box's buttons is the first, as the system has it.
    if (parts.defaultButton >= buttons)
        parts.defaultButton = 0;
    return parts;
}

std::vector<FileFilter> ParseFileFilter(const std::string& filter) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    while (start <= filter.size()) {
        const std::size_t bar = filter.find('|', start);
        const std::size_t end = bar == std::string::npos ? filter.size() : bar;
        pieces.push_back(filter.substr(start, end - start));
        if (bar == std::string::npos)
            break;
        start = bar + 1;
    }
    std::vector<FileFilter> filters;
    for (std::size_t i = 0; i + 1 < pieces.size(); i += 2) {
        if (pieces[i].empty() && pieces[i + 1].empty())
            break;
        filters.push_back({pieces[i], pieces[i + 1]});
    }
    return filters;
}

std::string WithDefaultExtension(const std::string& path, const std::string& extension) {
    if (extension.empty() || path.empty())
        return path;
    const std::size_t slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty() || name.find('.') != std::string::npos)
        return path;
    return path + "." + extension;
}

} // namespace platform
