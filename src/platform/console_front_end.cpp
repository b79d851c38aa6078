#include "platform/console_front_end.h"

#include "platform/clock.h"
#include "platform/message_box.h"
#include "platform/native.h"
#include "platform/system_info.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <mutex>
#include <string_view>
#include <vector>

namespace platform {

namespace {

constexpr std::uint64_t kRedrawInterval = 100; // ms of the program's clock
constexpr int kIndentPerLevel = 4;             // columns a nested dialog is moved right
constexpr int kPlainBarCells = 10;
constexpr int kMaxBarCells = 60;
constexpr int kRowTolerance = 3;   // dialog units two texts of one row may differ in y
constexpr int kLabelDistance = 24; // dialog units a bar's label row may stand above it

// ---- UTF-8 -----------------------------------------------------------------

struct Glyph {
    std::size_t bytes = 1;
    char32_t code = 0;
    bool valid = false;
};

Glyph decode(const std::string& text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    Glyph glyph;
    glyph.code = lead;
    if (lead < 0x80) {
        glyph.valid = true;
        return glyph;
    }
    std::size_t length = 0;
    char32_t code = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        code = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        code = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        code = lead & 0x07;
    } else {
        return glyph;
    }
    if (at + length > text.size())
        return glyph;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80)
            return glyph;
        code = (code << 6) | (byte(at + i) & 0x3F);
    }
    static constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kLeast[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return glyph;
    glyph.bytes = length;
    glyph.code = code;
    glyph.valid = true;
    return glyph;
}

int columnsOf(char32_t c) {
    if ((c >= 0x0300 && c <= 0x036F) || (c >= 0x200B && c <= 0x200F) ||
        (c >= 0xFE00 && c <= 0xFE0F) || (c >= 0x3099 && c <= 0x309A))
        return 0;
    if ((c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) ||
        (c >= 0x3041 && c <= 0x33FF) || (c >= 0x3400 && c <= 0x4DBF) ||
        (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF) ||
        (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
        (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
        (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1F64F) ||
        (c >= 0x1F900 && c <= 0x1F9FF) || (c >= 0x20000 && c <= 0x3FFFD))
        return 2;
    return 1;
}

// Printable ASCII only (and line breaks, when `breaks`): such a text needs no
// cleaning and has as many columns as bytes.
bool plainAscii(const std::string& text, bool breaks) {
    return std::all_of(text.begin(), text.end(), [breaks](char c) {
        return (c >= 0x20 && c < 0x7F) || (breaks && c == '\n');
    });
}

// Control characters become blanks and broken UTF-8 '?', so that nothing a
// dialog shows can move the cursor; line breaks stay.
std::string clean(const std::string& text) {
    // Most texts are printable ASCII, and the dialog's rows are cleaned again
    // at every change of the dialog: those go through as they are.
    if (plainAscii(text, true))
        return text;
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const Glyph glyph = decode(text, i);
        if (!glyph.valid)
            out += '?';
        else if (glyph.code == '\n')
            out += '\n';
        else if (glyph.code < 0x20 || glyph.code == 0x7F ||
                 (glyph.code >= 0x80 && glyph.code < 0xA0))
            out += glyph.code == '\r' ? "" : " ";
        else
            out.append(text, i, glyph.bytes);
        i += glyph.bytes;
    }
    return out;
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (;;) {
        const auto end = text.find('\n', start);
        lines.push_back(text.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos)
            return lines;
        start = end + 1;
    }
}

// Breaks a line into pieces of at most `columns`, at blanks where it can
// (texts without blanks, Japanese ones, between any two characters).
std::vector<std::string> wrap(const std::string& line, int columns) {
    columns = std::max(columns, 2);
    std::vector<std::string> pieces;
    std::string rest = line;
    while (DisplayWidth(rest) > columns) {
        const std::string head = CutToWidth(rest, columns);
        std::size_t cut = head.size();
        if (rest[cut] != ' ') {
            const auto blank = head.find_last_of(' ');
            if (blank != std::string::npos && blank > 0)
                cut = blank;
        }
        pieces.push_back(rest.substr(0, cut));
        const auto next = rest.find_first_not_of(' ', cut);
        rest = next == std::string::npos ? std::string() : rest.substr(next);
    }
    if (!rest.empty() || pieces.empty())
        pieces.push_back(rest);
    return pieces;
}

std::string padRight(const std::string& text, int columns) {
    return text +
           std::string(static_cast<std::size_t>(std::max(0, columns - DisplayWidth(text))), ' ');
}

std::string padLeft(const std::string& text, int columns) {
    return std::string(static_cast<std::size_t>(std::max(0, columns - DisplayWidth(text))), ' ') +
           text;
}

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

std::string trim(const std::string& text) {
    return std::string(trimmed(text));
}

std::string lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// "4096 / 8192": the denominator when the text is such a counter.
std::optional<std::string_view> counterTotalIn(std::string_view text) {
    const std::string_view t = trimmed(text);
    const auto slash = t.find('/');
    if (slash == std::string_view::npos)
        return std::nullopt;
    const std::string_view done = trimmed(t.substr(0, slash));
    const std::string_view total = trimmed(t.substr(slash + 1));
    const auto digits = [](std::string_view s) {
        return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) {
            return std::isdigit(static_cast<unsigned char>(c)) != 0;
        });
    };
    if (!digits(done) || !digits(total))
        return std::nullopt;
    return total;
}

std::optional<std::string> counterTotal(const std::string& text) {
    if (const auto total = counterTotalIn(text))
        return std::string(*total);
    return std::nullopt;
}

// Whether a text is certainly a counter as `counterTotal` reads it after
// cleaning, worked out without copying it: printable ASCII only (others are
// left to the full reading).
bool plainCounter(const std::string& text) {
    return plainAscii(text, false) && counterTotalIn(text).has_value();
}

// ---- Dialog layout -----------------------------------------------------------

// What a dialog shows, top to bottom: rows of static texts, and progress bars
// with the texts of the row above them (a label, and a counter).
struct Item {
    bool bar = false;
    std::size_t barIndex = 0;       // control index of the bar
    std::vector<std::size_t> texts; // control indexes, left to right
    int y = 0;
};

bool overlapsHorizontally(const DialogControl& a, const DialogControl& b) {
    if (a.width <= 0 || b.width <= 0)
        return true;
    return a.x < b.x + b.width && b.x < a.x + a.width;
}

std::vector<Item> layOut(const std::vector<ControlState>& controls) {
    std::vector<std::size_t> texts, bars;
    for (std::size_t i = 0; i < controls.size(); ++i) {
        if (controls[i].control.kind == ControlClass::Static)
            texts.push_back(i);
        else if (controls[i].control.kind == ControlClass::Progress)
            bars.push_back(i);
    }
    const auto yOf = [&](std::size_t i) { return controls[i].control.y; };
    const auto xOf = [&](std::size_t i) { return controls[i].control.x; };
    std::stable_sort(texts.begin(), texts.end(), [&](std::size_t a, std::size_t b) {
        return yOf(a) != yOf(b) ? yOf(a) < yOf(b) : xOf(a) < xOf(b);
    });

    std::vector<Item> rows;
    for (std::size_t i : texts) {
        if (rows.empty() || yOf(i) - rows.back().y > kRowTolerance)
            rows.push_back(Item{false, 0, {}, yOf(i)});
        rows.back().texts.push_back(i);
    }
    for (Item& row : rows)
        std::stable_sort(row.texts.begin(), row.texts.end(),
                         [&](std::size_t a, std::size_t b) { return xOf(a) < xOf(b); });

    std::vector<Item> items;
    for (std::size_t bar : bars) {
        Item item{true, bar, {}, yOf(bar)};
        // The nearest row above the bar and below any other bar above it.
        int floor = yOf(bar) - kLabelDistance;
        for (std::size_t other : bars)
            if (other != bar && yOf(other) < yOf(bar))
                floor = std::max(floor, yOf(other));
        Item* above = nullptr;
        for (Item& row : rows)
            if (row.y < yOf(bar) && row.y > floor && (above == nullptr || row.y > above->y))
                above = &row;
        if (above != nullptr) {
            std::vector<std::size_t> keep;
            for (std::size_t t : above->texts) {
                if (overlapsHorizontally(controls[t].control, controls[bar].control))
                    item.texts.push_back(t);
                else
                    keep.push_back(t);
            }
            above->texts = keep;
        }
        items.push_back(item);
    }
    for (Item& row : rows)
        if (!row.texts.empty())
            items.push_back(row);
    std::stable_sort(items.begin(), items.end(), [](const Item& a, const Item& b) {
        return a.y != b.y ? a.y < b.y : (!a.bar && b.bar);
    });
    return items;
}

std::string rowText(const std::vector<ControlState>& controls, const Item& row) {
    std::string text;
    for (std::size_t i : row.texts) {
        const std::string piece = trim(clean(controls[i].control.text));
        if (piece.empty())
            continue;
        if (!text.empty())
            text += "  ";
        text += piece;
    }
    return text;
}

struct BarView {
    std::string label, counter;
    int reservedCounter = 0; // columns the counter keeps, so the bar does not jump
    bool valid = false;      // a range to measure against
    long long done = 0, total = 0;
    int percent = 0, step = 0;
};

BarView viewBar(const std::vector<ControlState>& controls, const Item& item) {
    BarView view;
    for (std::size_t i : item.texts) {
        const DialogControl& control = controls[i].control;
        const std::string text = trim(clean(control.text));
        const auto total = counterTotal(text);
        const bool isCounter = total || (control.style & control_style::kRightAligned) != 0;
        std::string& piece = isCounter ? view.counter : view.label;
        if (text.empty())
            continue;
        if (!piece.empty())
            piece += " ";
        piece += text;
        if (total)
            view.reservedCounter += 2 * static_cast<int>(total->size()) + 3;
    }
    view.reservedCounter = std::max(view.reservedCounter, DisplayWidth(view.counter));
    const ControlState& bar = controls[item.barIndex];
    view.total = static_cast<long long>(bar.rangeHigh) - bar.rangeLow;
    view.done = std::clamp(static_cast<long long>(bar.position) - bar.rangeLow, 0LL,
                           std::max(0LL, view.total));
    view.valid = view.total > 0;
    if (view.valid) {
        view.percent = static_cast<int>(view.done * 100 / view.total);
        view.step = static_cast<int>(view.done * 10 / view.total);
    }
    return view;
}

std::string barCells(const BarView& view, int cells) {
    const long long filled = view.valid ? view.done * cells / view.total : 0;
    return "[" + std::string(static_cast<std::size_t>(filled), '#') +
           std::string(static_cast<std::size_t>(cells - filled), '.') + "]";
}

std::string percentText(const BarView& view) {
    return padLeft(std::to_string(view.percent) + "%", 4);
}

// ---- Boxes -----------------------------------------------------------------

const char* iconName(unsigned type) {
    switch (type & 0x00F0) {
    case MB_ICONERROR:
        return "Error";
    case MB_ICONQUESTION:
        return "Question";
    case MB_ICONWARNING:
        return "Warning";
    case MB_ICONINFORMATION:
        return "Information";
    default:
        return nullptr;
    }
}

const char* iconColour(unsigned type) {
    switch (type & 0x00F0) {
    case MB_ICONERROR:
        return "\x1b[1;31m";
    case MB_ICONWARNING:
        return "\x1b[1;33m";
    default:
        return "\x1b[1;36m";
    }
}

// A line of `in` without its line break; nothing at the end of input.
std::optional<std::string> readLine(std::FILE* in) {
    if (in == nullptr)
        return std::nullopt;
    std::string line;
    bool any = false;
    for (int c; (c = std::fgetc(in)) != EOF;) {
        any = true;
        if (c == '\n')
            break;
        line += static_cast<char>(c);
    }
    if (!any)
        return std::nullopt;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

bool isTerminal(std::FILE* file) {
    return native::IsTerminal(file);
}

// ---- File dialog -------------------------------------------------------------

std::vector<std::string> filterLines(const std::string& filter) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (start < filter.size()) {
        const auto bar = filter.find('|', start);
        fields.push_back(filter.substr(start, bar == std::string::npos ? bar : bar - start));
        if (bar == std::string::npos)
            break;
        start = bar + 1;
    }
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < fields.size(); i += 2) {
        const std::string& description = fields[i];
        const std::string pattern = i + 1 < fields.size() ? fields[i + 1] : std::string();
        if (description.empty())
            continue; // the "||" that ends the filter
        if (pattern.empty() || description.find(pattern) != std::string::npos)
            lines.push_back(description);
        else
            lines.push_back(description + " (" + pattern + ")");
    }
    return lines;
}

std::string absolutePath(std::string path, const std::string& defaultExtension) {
    if (path.size() >= 2 && (path.front() == '"' || path.front() == '\'') &&
        path.back() == path.front())
        path = path.substr(1, path.size() - 2);
    if (path == "~" || path.rfind("~/", 0) == 0) {
        const std::string home = GetEnvironmentVariableA("HOME");
        if (!home.empty())
            path = home + path.substr(1);
    }
    if (path.empty() || path.front() != '/')
        path = GetCurrentDirectoryA() + "/" + path;
    const auto slash = path.find_last_of('/');
    const std::string name = path.substr(slash + 1);
    std::string extension = defaultExtension;
    if (!extension.empty() && extension.front() == '.')
        extension.erase(0, 1);
    if (!extension.empty() && !name.empty() && name.find('.') == std::string::npos)
        path += "." + extension;
    return path;
}

} // namespace

int DisplayWidth(const std::string& text) {
    if (plainAscii(text, false))
        return static_cast<int>(text.size());
    int columns = 0;
    for (std::size_t i = 0; i < text.size();) {
        const Glyph glyph = decode(text, i);
        columns += glyph.valid ? columnsOf(glyph.code) : 1;
        i += glyph.bytes;
    }
    return columns;
}

std::string CutToWidth(const std::string& text, int columns) {
    int used = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        const Glyph glyph = decode(text, i);
        const int width = glyph.valid ? columnsOf(glyph.code) : 1;
        if (used + width > columns)
            break;
        used += width;
        i += glyph.bytes;
    }
    return text.substr(0, i);
}

// ---- The front end -------------------------------------------------------------

struct ConsoleFrontEnd::Impl {
    struct BarMemory {
        int low = 0, high = 0, position = 0; // as last seen
        int printedStep = 0, printedPosition = 0;
        std::string printedLabel;
        bool pending = false; // a line is due and waits for the counter
    };
    struct Shown {
        const DialogView* view = nullptr;
        int depth = 1;
        std::string title;
        std::vector<ControlState> controls;
        std::vector<ControlState> previous; // as before the last change
        std::vector<Item> items;
        std::uint64_t openTick = 0;
        std::uint64_t lastTick = 0; // of the last change (lines output)
        // Lines output only
        bool needsTitle = false; // write the title again before its next line
        std::string printedTitle;
        std::vector<std::string> printedRows; // by item
        std::vector<BarMemory> bars;          // by item
        int labelWidth = 0;     // the widest bar label so far, so that the bars stay aligned
        bool unprinted = false; // changes were taken in without being looked at
    };
    struct Line {
        std::string text;
        const char* style = nullptr; // an SGR sequence for the whole line
    };

    std::FILE* out;
    std::FILE* in;
    bool terminal;
    int fixedWidth;

    std::mutex askLock; // one box or file dialog at a time; taken before outLock
    std::mutex outLock; // everything below, and writing to `out`
    std::vector<Shown> stack;
    bool asking = false; // a question waits for its answer: draw nothing
    int drawnLines = 0;  // lines of the drawing the cursor stands below
    std::uint64_t nextDraw = 0;
    bool dirty = false;
    bool heldOnce = false; // the due drawing waited a change already
    bool gap = false;      // the drawing starts with a blank line (it follows other output)
    // What was written last, so that dialogs and questions stand apart.
    enum class Block { None, Dialog, Question } last = Block::None;

    Impl(std::FILE* o, std::FILE* i, bool t, int w) : out(o), in(i), terminal(t), fixedWidth(w) {}

    void write(const std::string& text) {
        if (out != nullptr)
            std::fwrite(text.data(), 1, text.size(), out);
    }
    void flush() {
        if (out != nullptr)
            std::fflush(out);
    }

    struct Size {
        int columns = 80, rows = 0;
    };
    Size size() const {
        Size s;
        int columns = 0, rows = 0;
        if (native::TerminalSize(out, columns, rows)) {
            if (columns > 0)
                s.columns = columns;
            s.rows = rows;
        }
        if (fixedWidth > 0)
            s.columns = fixedWidth;
        return s;
    }

    Shown* find(const DialogView& view) {
        for (auto it = stack.rbegin(); it != stack.rend(); ++it)
            if (it->view == &view)
                return &*it;
        return nullptr;
    }

    static void take(Shown& shown, const DialogView& view) {
        shown.view = &view;
        shown.depth = std::max(1, view.depth());
        shown.title = trim(clean(view.title()));
        shown.controls = view.controls();
    }

    static int indentOf(const Shown& shown) { return kIndentPerLevel * (shown.depth - 1); }

    // ---- Terminal drawing ----

    void render(const Shown& shown, int columns, std::vector<Line>& lines) const {
        const std::string indent(static_cast<std::size_t>(indentOf(shown)), ' ');
        const int room = std::max(10, columns - 1 - indentOf(shown) - 2);
        if (!shown.title.empty())
            lines.push_back(
                {indent + CutToWidth(shown.title, std::max(10, columns - 1 - indentOf(shown))),
                 "\x1b[1m"});
        // Every bar of a dialog gets the same length, and its counter the same column.
        int counterColumns = 0;
        for (const Item& item : shown.items)
            if (item.bar)
                counterColumns =
                    std::max(counterColumns, viewBar(shown.controls, item).reservedCounter);
        const int counterRoom = counterColumns == 0 ? 0 : 2 + counterColumns;
        const int cells = std::clamp(room - 2 - 1 - 4 - counterRoom, 10, kMaxBarCells);
        for (const Item& item : shown.items) {
            if (!item.bar) {
                for (const std::string& text : splitLines(rowText(shown.controls, item)))
                    for (const std::string& piece : wrap(text, room))
                        if (!piece.empty())
                            lines.push_back({indent + "  " + piece});
                continue;
            }
            const BarView view = viewBar(shown.controls, item);
            if (!view.label.empty())
                lines.push_back({indent + "  " + CutToWidth(view.label, room)});
            std::string line = barCells(view, cells) + " " + percentText(view);
            if (!view.counter.empty())
                line += "  " + padLeft(view.counter, counterColumns);
            lines.push_back({indent + "  " + CutToWidth(line, room)});
        }
    }

    // Redraws every open dialog over the previous drawing.
    void draw() {
        const Size s = size();
        std::vector<Line> lines;
        for (const Shown& shown : stack)
            render(shown, s.columns, lines);
        if (drawnLines == 0)
            gap = last != Block::None;
        if (gap)
            lines.insert(lines.begin(), Line{});
        // Going up over more lines than the screen has would go wrong.
        if (s.rows > 2 && static_cast<int>(lines.size()) > s.rows - 1)
            lines.erase(lines.begin(), lines.end() - (s.rows - 1));
        last = Block::Dialog;
        std::string text;
        if (drawnLines > 0)
            text += "\r\x1b[" + std::to_string(drawnLines) + "A";
        for (const Line& line : lines) {
            text += "\x1b[2K";
            text += line.style != nullptr ? line.style + line.text + "\x1b[0m" : line.text;
            text += "\n";
        }
        text += "\x1b[J";
        write(text);
        flush();
        drawnLines = static_cast<int>(lines.size());
        nextDraw = GetTickCount64() + kRedrawInterval;
        dirty = false;
    }

    // True when a bar of `shown` moved and the counter beside it did not
    // (yet): the dialog is about to set the counter.
    static bool barAheadOfCounter(const Shown& shown, const std::vector<ControlState>& before) {
        for (const Item& item : shown.items) {
            if (!item.bar)
                continue;
            const ControlState& bar = shown.controls[item.barIndex];
            const ControlState& old = before[item.barIndex];
            const BarView view = viewBar(shown.controls, item);
            if (!view.counter.empty() && view.counter == viewBar(before, item).counter &&
                (bar.position != old.position || bar.rangeHigh != old.rangeHigh))
                return true;
        }
        return false;
    }

    // Draws now when forced or when the last drawing is old enough; a drawing
    // that is due waits one change when a bar moved ahead of its counter.
    // Changes in the instant a dialog opens (its initialisation) are all drawn.
    void maybeDraw(bool force, const Shown* changed = nullptr,
                   const std::vector<ControlState>* before = nullptr) {
        if (asking) {
            dirty = true;
            return;
        }
        const std::uint64_t now = GetTickCount64();
        const bool opening = !stack.empty() && stack.back().openTick == now;
        if (!force && !opening && now < nextDraw) {
            dirty = true;
            return;
        }
        if (!force && !opening && !heldOnce && changed != nullptr && before != nullptr &&
            barAheadOfCounter(*changed, *before)) {
            heldOnce = true;
            dirty = true;
            return;
        }
        heldOnce = false;
        draw();
    }

    // Leaves the drawing on the screen; what comes next is written below it.
    void keepDrawing() {
        if (dirty && !stack.empty())
            draw();
        drawnLines = 0;
    }

    // ---- Lines output ----

    void printLines(Shown& shown, std::vector<std::string> lines, bool titleChanged,
                    bool opening = false) {
        const std::string indent(static_cast<std::size_t>(indentOf(shown)), ' ');
        if (!shown.title.empty() && (titleChanged || (shown.needsTitle && !lines.empty())))
            lines.insert(lines.begin(), "== " + shown.title + " ==");
        if (lines.empty())
            return;
        shown.printedTitle = shown.title;
        shown.needsTitle = false;
        std::string text;
        if (last == Block::Question || (opening && last != Block::None && shown.depth == 1))
            text += "\n";
        last = Block::Dialog;
        for (const std::string& line : lines)
            text += indent + line + "\n";
        write(text);
        flush();
    }

    static int labelColumns(Shown& shown) {
        for (const Item& item : shown.items)
            if (item.bar)
                shown.labelWidth =
                    std::max(shown.labelWidth, DisplayWidth(viewBar(shown.controls, item).label));
        return shown.labelWidth;
    }

    static std::string plainBar(const std::vector<ControlState>& controls, const Item& item,
                                int labelWidth) {
        const BarView view = viewBar(controls, item);
        std::string line = "  ";
        if (labelWidth > 0)
            line += padRight(view.label, labelWidth) + "  ";
        line += barCells(view, kPlainBarCells) + " " + percentText(view);
        if (!view.counter.empty())
            line += "  " + view.counter;
        return line;
    }

    // Writes the title and texts of a dialog that opened; bars are written
    // once they move.
    void printOpen(Shown& shown) {
        shown.printedRows.assign(shown.items.size(), std::string());
        shown.bars.assign(shown.items.size(), BarMemory{});
        shown.lastTick = GetTickCount64();
        std::vector<std::string> lines;
        for (std::size_t i = 0; i < shown.items.size(); ++i) {
            const Item& item = shown.items[i];
            if (item.bar) {
                const ControlState& bar = shown.controls[item.barIndex];
                BarMemory& memory = shown.bars[i];
                memory.low = bar.rangeLow;
                memory.high = bar.rangeHigh;
                memory.position = memory.printedPosition = bar.position;
                memory.printedStep = viewBar(shown.controls, item).step;
                memory.printedLabel = viewBar(shown.controls, item).label;
                continue;
            }
            shown.printedRows[i] = rowText(shown.controls, item);
            for (const std::string& text : splitLines(shown.printedRows[i]))
                if (!text.empty())
                    lines.push_back("  " + text);
        }
        if (asking) {
            shown.needsTitle = true; // written with its first lines once the question is answered
            return;
        }
        printLines(shown, lines, true, true);
        shown.printedTitle = shown.title;
    }

    enum class Flush {
        No,     // a bar line may wait for its counter
        Now,    // write what waits (something else is about to be written)
        Closing // and the final position of each bar
    };

    // Writes what changed since `before`: texts that differ from what was
    // written, bars that passed a tenth of their range or got a new label.
    // A dialog moves a bar and then sets its counter (or the other way
    // round), so a bar line waits until its counter or something else
    // changes, lest it show the counter of the step before.
    // Whether a change leaves every line as it is: no title and no text
    // changed but the counters of bars, and every bar moved on within the
    // tenth last written, with nothing of it waiting. The common cases, a
    // bar moving by a piece and its counter following it, cost no text work
    // then.
    static bool quietChange(const Shown& shown, const std::vector<ControlState>& before) {
        if (shown.unprinted || shown.title != shown.printedTitle ||
            before.size() != shown.controls.size())
            return false;
        for (std::size_t i = 0; i < shown.items.size(); ++i) {
            const Item& item = shown.items[i];
            for (std::size_t t : item.texts) {
                const DialogControl& now = shown.controls[t].control;
                const std::string& was = before[t].control.text;
                if (now.text == was)
                    continue;
                const bool counter = (now.style & control_style::kRightAligned) != 0 ||
                                     (plainCounter(now.text) && plainCounter(was));
                if (!item.bar || !counter)
                    return false;
            }
            if (!item.bar)
                continue;
            const ControlState& bar = shown.controls[item.barIndex];
            const BarMemory& memory = shown.bars[i];
            if (memory.pending || bar.rangeLow != memory.low || bar.rangeHigh != memory.high ||
                bar.position < memory.position)
                return false;
            const long long total = static_cast<long long>(bar.rangeHigh) - bar.rangeLow;
            if (total > 0) {
                const long long done =
                    std::clamp(static_cast<long long>(bar.position) - bar.rangeLow, 0LL, total);
                if (done * 10 / total > memory.printedStep)
                    return false;
            }
        }
        return true;
    }

    void printChanges(Shown& shown, const std::vector<ControlState>& before, Flush flush) {
        const std::uint64_t now = GetTickCount64();
        const bool tickMoved = now != shown.lastTick;
        shown.lastTick = now;
        if (flush == Flush::No && quietChange(shown, before)) {
            for (std::size_t i = 0; i < shown.items.size(); ++i)
                if (shown.items[i].bar)
                    shown.bars[i].position = shown.controls[shown.items[i].barIndex].position;
            return;
        }
        shown.unprinted = false;
        std::vector<std::string> lines;
        const int labelWidth = labelColumns(shown);
        for (std::size_t i = 0; i < shown.items.size(); ++i) {
            const Item& item = shown.items[i];
            if (!item.bar) {
                const std::string text = rowText(shown.controls, item);
                if (text != shown.printedRows[i]) {
                    shown.printedRows[i] = text;
                    for (const std::string& piece : splitLines(text))
                        if (!piece.empty())
                            lines.push_back("  " + piece);
                }
                continue;
            }
            const BarView view = viewBar(shown.controls, item);
            const BarView was = viewBar(before, item);
            const ControlState& bar = shown.controls[item.barIndex];
            const ControlState& old = before[item.barIndex];
            BarMemory& memory = shown.bars[i];
            if (memory.pending && tickMoved) {
                // Waited through the end of a batch of changes: write it as it ended.
                lines.push_back(plainBar(before, item, labelWidth));
                memory.pending = false;
                memory.printedStep = was.step;
                memory.printedPosition = old.position;
                memory.printedLabel = was.label;
            }
            if (bar.rangeLow != memory.low || bar.rangeHigh != memory.high ||
                bar.position < memory.position) {
                // A new phase: its tenths count from where it starts.
                memory.printedStep = view.step;
                memory.printedPosition = bar.rangeLow;
            }
            memory.low = bar.rangeLow;
            memory.high = bar.rangeHigh;
            memory.position = bar.position;
            const bool relabelled = view.label != memory.printedLabel && !view.label.empty();
            const bool advanced = view.valid && view.step > memory.printedStep;
            const bool finalMove = flush == Flush::Closing && view.valid &&
                                   bar.position != memory.printedPosition &&
                                   bar.position > bar.rangeLow;
            if (!(memory.pending || relabelled || advanced || finalMove))
                continue;
            const bool ownChange = bar.position != old.position || bar.rangeLow != old.rangeLow ||
                                   bar.rangeHigh != old.rangeHigh || view.label != was.label;
            const bool wait = flush == Flush::No && !view.counter.empty() && ownChange &&
                              view.counter == was.counter;
            if (wait) {
                memory.pending = true;
                continue;
            }
            lines.push_back(plainBar(shown.controls, item, labelWidth));
            memory.pending = false;
            memory.printedStep = view.step;
            memory.printedPosition = bar.position;
            memory.printedLabel = view.label;
        }
        printLines(shown, lines, shown.title != shown.printedTitle);
    }

    // Writes the bar lines that wait, before something else is written.
    void flushWaiting() {
        if (terminal || asking)
            return;
        for (Shown& shown : stack)
            printChanges(shown, shown.controls, Flush::Now);
    }

    // ---- Events ----

    void opened(const DialogView& view) {
        flushWaiting();
        Shown shown;
        take(shown, view);
        shown.items = layOut(shown.controls);
        shown.openTick = GetTickCount64();
        stack.push_back(std::move(shown));
        if (terminal)
            maybeDraw(true);
        else
            printOpen(stack.back());
    }

    void changed(const DialogView& view) {
        Shown* shown = find(view);
        if (shown == nullptr)
            return;
        // The state before the change stays in a buffer of its own, whose
        // strings the next change's copy reuses instead of allocating anew.
        std::swap(shown->controls, shown->previous);
        take(*shown, view);
        const std::vector<ControlState>& before = shown->previous;
        if (terminal)
            maybeDraw(false, shown, &before);
        else if (!asking)
            printChanges(*shown, before, Flush::No);
        else
            shown->unprinted = true;
    }

    void closed(const DialogView& view) {
        Shown* shown = find(view);
        if (shown == nullptr)
            return;
        take(*shown, view);
        if (terminal) {
            if (!asking)
                draw();
        } else if (!asking) {
            printChanges(*shown, shown->controls, Flush::Closing);
        }
        stack.erase(stack.begin() + (shown - stack.data()));
        if (stack.empty()) {
            drawnLines = 0;
        } else {
            dirty = true;
            stack.back().needsTitle = true;
        }
    }

    // Called with outLock held before a question is written.
    void beginQuestion() {
        if (terminal)
            keepDrawing();
        else
            flushWaiting();
        if (last != Block::None)
            write("\n");
        last = Block::Question;
        asking = true;
    }

    // Called with outLock held once the question is answered.
    void endQuestion() {
        asking = false;
        drawnLines = 0;
        dirty = !stack.empty();
        for (Shown& shown : stack)
            shown.needsTitle = true;
    }

    std::string bold(const std::string& text, const char* style = "\x1b[1m") const {
        return terminal ? style + text + "\x1b[0m" : text;
    }

    std::vector<std::string> boxText(const std::string& text) const {
        std::vector<std::string> lines;
        const int room = terminal ? std::max(10, size().columns - 1 - 2) : 1 << 20;
        for (const std::string& line : splitLines(clean(text)))
            for (const std::string& piece : wrap(line, room))
                lines.push_back("  " + piece);
        return lines;
    }

    // Writes the answer when the terminal did not echo it (input from a
    // file or pipe, or the end of input).
    void echo(const std::optional<std::string>& typed, const std::string& shown) {
        if (typed && isTerminal(in))
            return;
        write(shown + "\n");
        flush();
    }
};

ConsoleFrontEnd::ConsoleFrontEnd(std::FILE* out, std::FILE* in, Style style, int width)
    : impl_(std::make_unique<Impl>(
          out, in, style == Style::Terminal || (style == Style::Detect && isTerminal(out)),
          width)) {}

ConsoleFrontEnd::~ConsoleFrontEnd() = default;

bool ConsoleFrontEnd::terminal() const {
    return impl_->terminal;
}

void ConsoleFrontEnd::dialogOpened(const DialogView& dialog) {
    std::lock_guard<std::mutex> guard(impl_->outLock);
    impl_->opened(dialog);
}

void ConsoleFrontEnd::dialogChanged(const DialogView& dialog) {
    std::lock_guard<std::mutex> guard(impl_->outLock);
    impl_->changed(dialog);
}

void ConsoleFrontEnd::dialogClosed(const DialogView& dialog, int) {
    std::lock_guard<std::mutex> guard(impl_->outLock);
    impl_->closed(dialog);
}

int ConsoleFrontEnd::messageBox(const std::string& text, const std::string& caption,
                                unsigned type) {
    Impl& d = *impl_;
    std::lock_guard<std::mutex> ask(d.askLock);
    const bool yesNo = (type & 0x000F) == MB_YESNO;
    const int byDefault = DefaultButton(type);
    {
        std::lock_guard<std::mutex> guard(d.outLock);
        d.beginQuestion();
        std::string head;
        if (const char* icon = iconName(type))
            head = d.bold(std::string("[") + icon + "]", iconColour(type));
        const std::string title = trim(clean(caption));
        if (!title.empty())
            head += (head.empty() ? "" : " ") + d.bold(title);
        std::string output = head.empty() ? std::string() : head + "\n";
        for (const std::string& line : d.boxText(text))
            output += line + "\n";
        if (yesNo)
            output += byDefault == IDYES ? "  [Y/n] " : "  [y/N] ";
        d.write(output);
        d.flush();
        if (!yesNo) {
            d.endQuestion();
            return IDOK;
        }
    }
    const std::optional<std::string> typed = readLine(d.in);
    int answer = byDefault;
    if (typed) {
        const std::string word = lower(trim(*typed));
        if (word == "y" || word == "yes")
            answer = IDYES;
        else if (word == "n" || word == "no")
            answer = IDNO;
    }
    std::lock_guard<std::mutex> guard(d.outLock);
    d.echo(typed, answer == IDYES ? "yes" : "no");
    d.endQuestion();
    return answer;
}

std::optional<std::string> ConsoleFrontEnd::openFile(const OpenFileRequest& request) {
    Impl& d = *impl_;
    std::lock_guard<std::mutex> ask(d.askLock);
    const std::string initial = trim(request.initialName);
    {
        std::lock_guard<std::mutex> guard(d.outLock);
        d.beginQuestion();
        const std::string title = trim(clean(request.title));
        std::string output = d.bold(title.empty() ? std::string("Open a file") : title) + "\n";
        for (const std::string& line : filterLines(clean(request.filter)))
            output += "  Files: " + line + "\n";
        output +=
            initial.empty() ? "  Path (empty: cancel): " : "  Path [" + clean(initial) + "]: ";
        d.write(output);
        d.flush();
    }
    const std::optional<std::string> typed = readLine(d.in);
    std::optional<std::string> chosen;
    if (typed) {
        const std::string path = trim(*typed);
        if (!path.empty())
            chosen = absolutePath(path, request.defaultExtension);
        else if (!initial.empty())
            chosen = absolutePath(initial, request.defaultExtension);
    }
    std::lock_guard<std::mutex> guard(d.outLock);
    const std::string shown = chosen ? *chosen : std::string("(cancelled)");
    if (typed && isTerminal(d.in) && trim(*typed) != shown)
        d.write("  " + shown + "\n"); // the terminal echoed what was typed, not what it means
    else
        d.echo(typed, shown);
    d.endQuestion();
    return chosen;
}

std::shared_ptr<FrontEnd> CreateConsoleFrontEnd(std::FILE* out, std::FILE* in) {
    return std::make_shared<ConsoleFrontEnd>(out, in);
}

} // namespace platform
