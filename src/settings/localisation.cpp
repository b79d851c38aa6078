#include "settings/localisation.h"

#include "settings/loc_text.h"

#include <atomic>

namespace {

constexpr platform::LANGID kEnglishUs = 1033;
constexpr platform::LANGID kJapanese = 1041;

// MS PGothic as the Japanese system names it: full-width M and S, a blank,
// full-width P, then katakana go-shi-kku.
constexpr const char* kJapaneseFaceName = "\xEF\xBC\xAD\xEF\xBC\xB3 \xEF\xBC\xB0"
                                          "\xE3\x82\xB4\xE3\x82\xB7\xE3\x83\x83\xE3\x82\xAF";

std::atomic<platform::LANGID>& languageIdSlot() {
    static std::atomic<platform::LANGID> id{kEnglishUs};
    return id;
}

char upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

} // namespace

platform::LANGID LanguageId() {
    return languageIdSlot().load();
}

void SetLanguageId(platform::LANGID languageId) {
    languageIdSlot().store(languageId);
}

std::string Translate(const std::string& english) {
    return ProcessLocText().translate(english, LanguageId());
}

std::size_t TranslatedLength(const std::string& english) {
    return ProcessLocText().translatedLength(english, LanguageId());
}

std::string DialogFontFaceName(const std::string& /*translatedFontText*/) {
    return LanguageId() == kJapanese ? kJapaneseFaceName : "MS Sans Serif";
}

int DialogFontPointSize(const std::string& /*translatedFontText*/) {
    return LanguageId() == kJapanese ? 9 : 8;
}

void TranslateDialog(CLocWindow& dialog) {
    ProcessLocText().translateDialog(dialog, LanguageId());
}

std::string LocFileNameBesideExecutable(const std::string& modulePath) {
    const std::size_t nameStart = modulePath.find_last_of("/\\") + 1; // 0 when there is no dir
    const std::size_t dot = modulePath.find_last_of('.');
    const bool hasExtension = dot != std::string::npos && dot >= nameStart;
    return (hasExtension ? modulePath.substr(0, dot) : modulePath) + ".LOC";
}

std::vector<std::string> LocCandidateFileNames() {
    std::string upperName = platform::ApplicationName();
    for (char& c : upperName)
        c = upper(c);
    return {
        LocFileNameBesideExecutable(platform::GetModuleFileNameA()),
        upperName + ".LOC",
        ".\\ZavidarEviv.LOC",
        platform::GetWindowsDirectoryA() + "\\Vistrel\\ZavidarEviv.LOC",
    };
}

CLocText& ProcessLocText() {
    static CLocText table{CLocText::CandidateSource(LocCandidateFileNames)};
    return table;
}
