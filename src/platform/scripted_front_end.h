#pragma once

#include "platform/front_end.h"

#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// A front end that plays a person from a script: it answers message boxes and
// file dialogs in the order given (the default button, or a cancelled file
// dialog, once the script has run out) and records everything a person would
// have seen, so that a test can check it.
//
// Script text, one answer a line ('#' starts a comment):
//   yes | no | ok         the next message box
//   file <path>           the next open-file dialog chooses <path>
//   cancel                the next open-file dialog is cancelled
// REFIRM_SCRIPT names such a file for the program; REFIRM_RECORD names the
// file the record is written to when the program ends (see writeRecord).
namespace platform {

class ScriptedFrontEnd : public FrontEnd {
public:
    struct Box {
        std::string caption;
        std::string text;
        unsigned type = 0;
        int answer = 0;
    };
    struct Event {
        enum class Kind { Opened, Changed, Closed } kind = Kind::Opened;
        int templateId = 0;
        int depth = 0;
        std::string title;
        std::vector<ControlState> controls;
        int result = 0; // Closed only
    };

    ScriptedFrontEnd() = default;
    // Throws std::runtime_error naming the line of an answer it cannot read.
    static std::vector<std::string> ParseScript(const std::string& text);
    static std::shared_ptr<ScriptedFrontEnd> FromScript(const std::string& text);

    // Appends answers: "yes", "no", "ok", "file <path>", "cancel".
    void addAnswer(const std::string& answer);

    void dialogOpened(const DialogView& dialog) override;
    void dialogChanged(const DialogView& dialog) override;
    void dialogClosed(const DialogView& dialog, int result) override;
    int messageBox(const std::string& text, const std::string& caption, unsigned type) override;
    std::optional<std::string> openFile(const OpenFileRequest& request) override;

    std::vector<Box> boxes() const;
    std::vector<OpenFileRequest> fileRequests() const;
    std::vector<Event> events() const;
    // Every text control `controlId` of dialog `templateId` showed, in order,
    // without repeating a text that did not change.
    std::vector<std::string> textsOf(int templateId, int controlId) const;
    // The last position and range a progress bar showed.
    std::optional<ControlState> lastStateOf(int templateId, int controlId) const;
    // Answers the script gave that nothing asked for.
    std::size_t unusedAnswers() const;

    // A readable record, one line an event: "box <caption> | <text>",
    // "open <template id> <title>", "text <template id> <control id> <text>",
    // "progress <template id> <control id> <position>/<high>", "close <id> <result>".
    std::string record() const;
    void writeRecord(const std::string& path) const;

private:
    mutable std::mutex lock_;
    std::deque<std::string> answers_;
    std::vector<Box> boxes_;
    std::vector<OpenFileRequest> fileRequests_;
    std::vector<Event> events_;
    std::vector<std::string> records_; // the lines of record(), in the order they happened
};

} // namespace platform
