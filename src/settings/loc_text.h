#pragma once

#include "platform/system_info.h"
#include "settings/loc_window.h"

#include <atomic>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// The localisation table: every stored line of a .LOC file in file order, and the
// language table (ids and names in the order the file lists them) built from it.
//
// The table fills itself on first use from the first candidate file that can be
// read. As long as that has brought no line, every later use tries the candidates
// again; once lines are in, the table never changes, so lookups from any thread
// need no lock.
class CLocText {
public:
    using CandidateSource = std::function<std::vector<std::string>()>;

    // A table that loads from these files, tried in order.
    explicit CLocText(std::vector<std::string> candidateFileNames = {});
    // A table that asks for its candidates at every attempt to load.
    explicit CLocText(CandidateSource candidates);

    CLocText(const CLocText&) = delete;
    CLocText& operator=(const CLocText&) = delete;

    // Splits a file's content into lines, appends them and rebuilds the language
    // table. This is what loading does with the first readable candidate.
    void loadBytes(std::vector<unsigned char> bytes);

    // Loads from the candidates unless lines are in already; true when they are.
    bool ensureLoaded();
    // Whether lines are in, without trying to load.
    bool isLoaded() const { return loaded_.load(std::memory_order_acquire); }

    // The translation of an English text for a language, or the text itself.
    std::string translate(const std::string& english, platform::LANGID languageId);
    // Length in bytes of what translate gives.
    std::size_t translatedLength(const std::string& english, platform::LANGID languageId);

    // Translates the window's caption, then the text of each direct child that
    // has a non-empty one, in window order.
    void translateDialog(CLocWindow& dialog, platform::LANGID languageId);

    // The name the file gives a language, by the exact id, then by the id with
    // the default sub-language, then by the first id of the same primary language.
    std::optional<std::string> languageName(platform::LANGID languageId);

    const std::vector<int>& languageIds();
    const std::vector<std::string>& languageNames();
    const std::vector<std::string>& lines();

private:
    bool tryCandidates();
    void appendLines(std::vector<unsigned char> bytes);
    void buildLanguageTable();
    std::optional<std::string> findLanguageName(platform::LANGID languageId) const;
    std::string lookUp(const std::string& english, platform::LANGID languageId) const;

    const CandidateSource candidates_;
    std::mutex loadMutex_;
    // Set, with release order, once lines are in; from then on nothing changes.
    std::atomic<bool> loaded_{false};

    std::vector<std::string> lines_;
    std::vector<int> languageIds_;
    std::vector<std::string> languageNames_;
};

// Replaces the escapes \n, \t and \" in that order; any other backslash stays.
std::string ReplaceLocEscapes(std::string line);
