#include "dialogs/display_name.h"

#include <cctype>

namespace {

bool wordCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0;
}

std::string replaceWords(std::string text, const std::string& word, const std::string& by) {
    if (word.empty())
        return text;
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = text.find(word, from);
        if (at == std::string::npos)
            return text;
        const bool startsWord = at == 0 || !wordCharacter(text[at - 1]);
        const std::size_t end = at + word.size();
        const bool endsWord = end == text.size() || !wordCharacter(text[end]);
        if (startsWord && endsWord) {
            text.replace(at, word.size(), by);
            from = at + by.size();
        } else {
            from = at + 1;
        }
    }
}

} // namespace

std::string DisplayName(const std::string& modelString, const std::vector<DisplayNameRow>& rows) {
    std::string name = modelString;
    while (!name.empty() && std::isspace(static_cast<unsigned char>(name.back())))
        name.pop_back();
    for (const DisplayNameRow& row : rows)
        name = replaceWords(name, std::string(row.familyWord), std::string(row.displayName));
    return name;
}
