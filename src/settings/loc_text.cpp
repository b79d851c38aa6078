#include "settings/loc_text.h"

#include "platform/files.h"
#include "platform/ini_file.h"
#include "settings/loc_raw.h"

#include <utility>

namespace {

const std::string kLanguageTableStart = "1033=English";
const std::string kEnglishPrefix = "English=";

bool isComment(const std::string& line) {
    return !line.empty() && (line.front() == '\'' || line.front() == ';');
}

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

const std::vector<int> kNoIds;
const std::vector<std::string> kNoTexts;

} // namespace

std::string ReplaceLocEscapes(std::string line) {
    if (line.find('\\') == std::string::npos)
        return line;
    replaceAll(line, "\\n", "\n");
    replaceAll(line, "\\t", "\t");
    replaceAll(line, "\\\"", "\"");
    return line;
}

CLocText::CLocText(std::vector<std::string> candidateFileNames)
    : candidates_([names = std::move(candidateFileNames)] { return names; }) {}

CLocText::CLocText(CandidateSource candidates) : candidates_(std::move(candidates)) {}

void CLocText::loadBytes(std::vector<unsigned char> bytes) {
    std::lock_guard<std::mutex> lock(loadMutex_);
    if (loaded_.load(std::memory_order_relaxed))
        return;
    appendLines(std::move(bytes));
    if (!lines_.empty())
        loaded_.store(true, std::memory_order_release);
}

bool CLocText::ensureLoaded() {
    if (loaded_.load(std::memory_order_acquire))
        return true;
    std::lock_guard<std::mutex> lock(loadMutex_);
    if (!loaded_.load(std::memory_order_relaxed) && tryCandidates() && !lines_.empty())
        loaded_.store(true, std::memory_order_release);
    return loaded_.load(std::memory_order_relaxed);
}

bool CLocText::tryCandidates() {
    for (const std::string& name : candidates_()) {
        if (auto bytes = platform::ReadWholeFile(name)) {
            appendLines(std::move(*bytes));
            return true;
        }
    }
    return false;
}

void CLocText::appendLines(std::vector<unsigned char> bytes) {
    CLocRaw raw(std::move(bytes));
    while (auto line = raw.nextLine()) {
        if (!isComment(*line))
            lines_.push_back(ReplaceLocEscapes(std::move(*line)));
    }
    buildLanguageTable();
}

void CLocText::buildLanguageTable() {
    languageIds_.clear();
    languageNames_.clear();
    std::size_t at = 0;
    while (at < lines_.size() && lines_[at] != kLanguageTableStart)
        ++at;
    for (; at < lines_.size() && !lines_[at].empty(); ++at) {
        const std::string& line = lines_[at];
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        const int id = platform::ParseProfileInt(line.substr(0, equals));
        if (id == 0)
            continue;
        languageIds_.push_back(id);
        languageNames_.push_back(line.substr(equals + 1));
    }
}

std::optional<std::string> CLocText::findLanguageName(platform::LANGID languageId) const {
    const int exact = languageId;
    const int defaultSubLanguage = (exact & 0x3FF) | 0x400;
    for (const int wanted : {exact, defaultSubLanguage}) {
        for (std::size_t i = 0; i < languageIds_.size(); ++i) {
            if (languageIds_[i] == wanted)
                return languageNames_[i];
        }
    }
    for (std::size_t i = 0; i < languageIds_.size(); ++i) {
        if ((languageIds_[i] & 0x3FF) == (exact & 0x3FF))
            return languageNames_[i];
    }
    return std::nullopt;
}

std::string CLocText::lookUp(const std::string& english, platform::LANGID languageId) const {
    const std::string englishLine = kEnglishPrefix + english;
    std::size_t at = 0;
    while (at < lines_.size() && lines_[at] != englishLine)
        ++at;
    if (at == lines_.size())
        return english;
    const std::optional<std::string> name = findLanguageName(languageId);
    if (!name)
        return english;
    for (++at; at < lines_.size() && !lines_[at].empty(); ++at) {
        const std::string& line = lines_[at];
        const std::size_t equals = line.find('=');
        if (equals != std::string::npos && line.compare(0, equals, *name) == 0) {
            std::string translation = line.substr(equals + 1);
            return translation.empty() ? english : translation;
        }
    }
    return english;
}

std::string CLocText::translate(const std::string& english, platform::LANGID languageId) {
    return ensureLoaded() ? lookUp(english, languageId) : english;
}

std::size_t CLocText::translatedLength(const std::string& english, platform::LANGID languageId) {
    return translate(english, languageId).size();
}

void CLocText::translateDialog(CLocWindow& dialog, platform::LANGID languageId) {
    dialog.setWindowText(translate(dialog.windowText(), languageId));
    for (std::size_t i = 0; i < dialog.childCount(); ++i) {
        CLocWindow& control = dialog.child(i);
        const std::string text = control.windowText();
        if (!text.empty())
            control.setWindowText(translate(text, languageId));
    }
}

std::optional<std::string> CLocText::languageName(platform::LANGID languageId) {
    return ensureLoaded() ? findLanguageName(languageId) : std::nullopt;
}

const std::vector<int>& CLocText::languageIds() {
    return ensureLoaded() ? languageIds_ : kNoIds;
}

const std::vector<std::string>& CLocText::languageNames() {
    return ensureLoaded() ? languageNames_ : kNoTexts;
}

const std::vector<std::string>& CLocText::lines() {
    return ensureLoaded() ? lines_ : kNoTexts;
}
