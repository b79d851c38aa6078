#pragma once

#include "platform/files.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// Splits text that arrives in pieces into lines, as a Windows text-mode read of
// an image file has them: CR LF or a lone LF ends a line (a lone CR does not),
// a last line without an end counts, and a Ctrl-Z ends the text. A line may
// run across any number of pieces.
class CLineSplitter {
public:
    // Hands every line the piece completes to `take`, without its line end.
    // The views last only for the call.
    template <class Take> void feed(std::string_view piece, Take&& take);
    // Hands over the last line, when the text did not end with a line end.
    template <class Take> void finish(Take&& take);

private:
    static std::string_view withoutEnd(std::string_view line) {
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        return line;
    }

    std::string carry_; // the start of a line that the next piece goes on with
    bool ended_ = false;
};

template <class Take> void CLineSplitter::feed(std::string_view piece, Take&& take) {
    if (ended_)
        return;
    if (const std::size_t stop = piece.find('\x1A'); stop != std::string_view::npos) {
        piece = piece.substr(0, stop);
        ended_ = true;
    }
    std::size_t at = 0;
    if (!carry_.empty()) {
        const std::size_t lineFeed = piece.find('\n');
        if (lineFeed == std::string_view::npos) {
            carry_.append(piece);
            return;
        }
        carry_.append(piece.substr(0, lineFeed));
        take(withoutEnd(carry_));
        carry_.clear();
        at = lineFeed + 1;
    }
    for (;;) {
        const std::size_t lineFeed = piece.find('\n', at);
        if (lineFeed == std::string_view::npos)
            break;
        take(withoutEnd(piece.substr(at, lineFeed - at)));
        at = lineFeed + 1;
    }
    carry_.assign(piece.substr(at));
}

template <class Take> void CLineSplitter::finish(Take&& take) {
    if (!carry_.empty())
        take(std::string_view(carry_));
    carry_.clear();
}

// Reads the file to its end in large pieces and hands every line to `take`,
// as feed() and finish() split them. False, with `lastError` set, when
// reading failed; the lines before the failure have been handed over.
template <class Take>
bool SplitFileIntoLines(platform::FileReader& file, Take&& take, std::uint32_t& lastError) {
    constexpr std::size_t kReadPiece = 1 << 20;
    const auto buffer = std::make_unique_for_overwrite<char[]>(kReadPiece);
    CLineSplitter splitter;
    for (;;) {
        const long n = file.read(buffer.get(), kReadPiece, lastError);
        if (n < 0)
            return false;
        if (n == 0)
            break;
        splitter.feed(std::string_view(buffer.get(), static_cast<std::size_t>(n)), take);
    }
    splitter.finish(take);
    return true;
}
