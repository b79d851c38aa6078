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

std::string trimmed(std::string name) {
    while (!name.empty() && std::isspace(static_cast<unsigned char>(name.back())))
        name.pop_back();
    return name;
}

std::string replaceAll(std::string text, const std::string& word, const std::string& by) {
    if (word.empty())
        return text;
    for (std::size_t at = text.find(word); at != std::string::npos;
         at = text.find(word, at + by.size()))
        text.replace(at, word.size(), by);
    return text;
}

} // namespace

std::string DisplayName(const std::string& modelString, const std::vector<DisplayNameRow>& rows) {
    std::string name = trimmed(modelString);
    for (const DisplayNameRow& row : rows)
        name = replaceWords(name, std::string(row.familyWord), std::string(row.displayName));
    return name;
}

std::string ProcessorDisplayName(const std::string& modelString,
                                 const std::vector<DisplayNameRow>& rows) {
    std::string name = trimmed(modelString);
    for (const DisplayNameRow& row : rows)
        name = replaceAll(name, std::string(row.familyWord), std::string(row.displayName));
    return name;
}
