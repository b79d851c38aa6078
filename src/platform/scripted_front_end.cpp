#include "platform/scripted_front_end.h"

#include "platform/message_box.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <stdexcept>

namespace platform {

namespace {

std::string trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

std::string lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// A '#' at the start of a line or after a blank starts a comment, so that a
// path such as "dir/image#2.MOT" keeps its '#'.
std::string withoutComment(const std::string& line) {
    for (std::size_t i = 0; i < line.size(); ++i)
        if (line[i] == '#' && (i == 0 || line[i - 1] == ' ' || line[i - 1] == '\t'))
            return line.substr(0, i);
    return line;
}

// The answer a line stands for in its normal spelling ("yes", "file /a/b"),
// empty for a blank line; throws std::invalid_argument when it is no answer.
std::string readAnswer(const std::string& line) {
    const std::string text = trim(withoutComment(line));
    if (text.empty())
        return {};
    const auto blank = text.find_first_of(" \t");
    const std::string word = lower(text.substr(0, blank));
    const std::string rest = blank == std::string::npos ? std::string() : trim(text.substr(blank));
    if (word == "yes" || word == "no" || word == "ok" || word == "cancel") {
        if (rest.empty())
            return word;
        throw std::invalid_argument("\"" + word + "\" takes nothing after it");
    }
    if (word == "file") {
        if (rest.empty())
            throw std::invalid_argument("\"file\" needs a path");
        return "file " + rest;
    }
    throw std::invalid_argument("\"" + text + "\" is no answer (yes, no, ok, file <path>, cancel)");
}

bool isBoxAnswer(const std::string& answer) {
    return answer == "yes" || answer == "no" || answer == "ok";
}

bool isFileAnswer(const std::string& answer) {
    return answer == "cancel" || answer.rfind("file ", 0) == 0;
}

// One record line per event: line breaks in texts are written as "\n".
std::string oneLine(const std::string& text) {
    std::string line;
    for (char c : text) {
        if (c == '\n')
            line += "\\n";
        else if (c != '\r')
            line += c;
    }
    return line;
}

bool showsText(const DialogControl& control) {
    return control.kind == ControlClass::Static || control.kind == ControlClass::Button;
}

std::string textLine(int templateId, const DialogControl& control) {
    std::string line = "text " + std::to_string(templateId) + " " + std::to_string(control.id);
    if (!control.text.empty())
        line += " " + oneLine(control.text);
    return line;
}

std::string progressLine(int templateId, const ControlState& state) {
    return "progress " + std::to_string(templateId) + " " + std::to_string(state.control.id) + " " +
           std::to_string(state.position) + "/" + std::to_string(state.rangeHigh);
}

bool sameProgress(const ControlState& a, const ControlState& b) {
    return a.position == b.position && a.rangeLow == b.rangeLow && a.rangeHigh == b.rangeHigh;
}

bool sameControls(const std::vector<ControlState>& a, const std::vector<ControlState>& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].control.id != b[i].control.id || a[i].control.text != b[i].control.text ||
            !sameProgress(a[i], b[i]))
            return false;
    return true;
}

const ControlState* findControl(const std::vector<ControlState>& controls, int id) {
    for (const ControlState& state : controls)
        if (state.control.id == id)
            return &state;
    return nullptr;
}

ScriptedFrontEnd::Event snapshot(ScriptedFrontEnd::Event::Kind kind, const DialogView& dialog) {
    ScriptedFrontEnd::Event event;
    event.kind = kind;
    event.templateId = dialog.dialogTemplate().id;
    event.depth = dialog.depth();
    event.title = dialog.title();
    event.controls = dialog.controls();
    return event;
}

// The last event of the dialog that runs at `depth` (the one a change belongs to).
const ScriptedFrontEnd::Event* lastOfDepth(const std::vector<ScriptedFrontEnd::Event>& events,
                                           int depth) {
    for (auto it = events.rbegin(); it != events.rend(); ++it) {
        if (it->depth == depth)
            return it->kind == ScriptedFrontEnd::Event::Kind::Closed ? nullptr : &*it;
    }
    return nullptr;
}

} // namespace

std::vector<std::string> ScriptedFrontEnd::ParseScript(const std::string& text) {
    std::vector<std::string> answers;
    std::size_t start = 0;
    int lineNumber = 0;
    while (start <= text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        ++lineNumber;
        const std::string line = text.substr(start, end - start);
        try {
            std::string answer = readAnswer(line);
            if (!answer.empty())
                answers.push_back(std::move(answer));
        } catch (const std::invalid_argument& e) {
            throw std::runtime_error("script line " + std::to_string(lineNumber) + ": " + e.what());
        }
        start = end + 1;
    }
    return answers;
}

std::shared_ptr<ScriptedFrontEnd> ScriptedFrontEnd::FromScript(const std::string& text) {
    auto frontEnd = std::make_shared<ScriptedFrontEnd>();
    for (const std::string& answer : ParseScript(text))
        frontEnd->addAnswer(answer);
    return frontEnd;
}

void ScriptedFrontEnd::addAnswer(const std::string& answer) {
    std::string normal;
    try {
        normal = readAnswer(answer);
    } catch (const std::invalid_argument& e) {
        throw std::runtime_error(std::string("script answer: ") + e.what());
    }
    if (normal.empty())
        throw std::runtime_error("script answer: an empty answer");
    std::lock_guard<std::mutex> guard(lock_);
    answers_.push_back(std::move(normal));
}

void ScriptedFrontEnd::dialogOpened(const DialogView& dialog) {
    std::lock_guard<std::mutex> guard(lock_);
    events_.push_back(snapshot(Event::Kind::Opened, dialog));
    const Event& event = events_.back();
    records_.push_back("open " + std::to_string(event.templateId) + " " + oneLine(event.title));
    for (const ControlState& state : event.controls) {
        if (showsText(state.control) && !state.control.text.empty())
            records_.push_back(textLine(event.templateId, state.control));
        else if (state.control.kind == ControlClass::Progress)
            records_.push_back(progressLine(event.templateId, state));
    }
}

void ScriptedFrontEnd::dialogChanged(const DialogView& dialog) {
    std::lock_guard<std::mutex> guard(lock_);
    Event event = snapshot(Event::Kind::Changed, dialog);
    const Event* before = lastOfDepth(events_, event.depth);
    if (before != nullptr && before->title == event.title &&
        sameControls(before->controls, event.controls))
        return; // nothing a person could see changed
    for (const ControlState& state : event.controls) {
        const ControlState* old =
            before != nullptr ? findControl(before->controls, state.control.id) : nullptr;
        if (showsText(state.control) && (old == nullptr || old->control.text != state.control.text))
            records_.push_back(textLine(event.templateId, state.control));
        if (state.control.kind == ControlClass::Progress &&
            (old == nullptr || !sameProgress(*old, state)))
            records_.push_back(progressLine(event.templateId, state));
    }
    if (before == nullptr || before->title != event.title)
        records_.push_back("title " + std::to_string(event.templateId) + " " +
                           oneLine(event.title));
    events_.push_back(std::move(event));
}

void ScriptedFrontEnd::dialogClosed(const DialogView& dialog, int result) {
    std::lock_guard<std::mutex> guard(lock_);
    Event event = snapshot(Event::Kind::Closed, dialog);
    event.result = result;
    records_.push_back("close " + std::to_string(event.templateId) + " " + std::to_string(result));
    events_.push_back(std::move(event));
}

int ScriptedFrontEnd::messageBox(const std::string& text, const std::string& caption,
                                 unsigned type) {
    std::lock_guard<std::mutex> guard(lock_);
    int answer = DefaultButton(type);
    auto it = std::find_if(answers_.begin(), answers_.end(), isBoxAnswer);
    if (it != answers_.end()) {
        // An OK box has one button whatever the script says; "ok" on a Yes/No
        // box takes its default button, as pressing Enter would.
        if ((type & 0x000F) == MB_YESNO && *it != "ok")
            answer = *it == "yes" ? IDYES : IDNO;
        answers_.erase(it);
    }
    boxes_.push_back(Box{caption, text, type, answer});
    records_.push_back("box " + oneLine(caption) + " | " + oneLine(text));
    return answer;
}

std::optional<std::string> ScriptedFrontEnd::openFile(const OpenFileRequest& request) {
    std::lock_guard<std::mutex> guard(lock_);
    fileRequests_.push_back(request);
    records_.push_back("file " + oneLine(request.title) + " | " + oneLine(request.initialName));
    auto it = std::find_if(answers_.begin(), answers_.end(), isFileAnswer);
    if (it == answers_.end())
        return std::nullopt;
    std::optional<std::string> chosen;
    if (*it != "cancel")
        chosen = it->substr(5);
    answers_.erase(it);
    return chosen;
}

std::vector<ScriptedFrontEnd::Box> ScriptedFrontEnd::boxes() const {
    std::lock_guard<std::mutex> guard(lock_);
    return boxes_;
}

std::vector<OpenFileRequest> ScriptedFrontEnd::fileRequests() const {
    std::lock_guard<std::mutex> guard(lock_);
    return fileRequests_;
}

std::vector<ScriptedFrontEnd::Event> ScriptedFrontEnd::events() const {
    std::lock_guard<std::mutex> guard(lock_);
    return events_;
}

std::vector<std::string> ScriptedFrontEnd::textsOf(int templateId, int controlId) const {
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<std::string> texts;
    for (const Event& event : events_) {
        if (event.templateId != templateId)
            continue;
        const ControlState* state = findControl(event.controls, controlId);
        if (state != nullptr && (texts.empty() || texts.back() != state->control.text))
            texts.push_back(state->control.text);
    }
    return texts;
}

std::optional<ControlState> ScriptedFrontEnd::lastStateOf(int templateId, int controlId) const {
    std::lock_guard<std::mutex> guard(lock_);
    for (auto it = events_.rbegin(); it != events_.rend(); ++it)
        if (it->templateId == templateId)
            if (const ControlState* state = findControl(it->controls, controlId))
                return *state;
    return std::nullopt;
}

std::size_t ScriptedFrontEnd::unusedAnswers() const {
    std::lock_guard<std::mutex> guard(lock_);
    return answers_.size();
}

std::string ScriptedFrontEnd::record() const {
    std::lock_guard<std::mutex> guard(lock_);
    std::string text;
    for (const std::string& line : records_)
        text += line + "\n";
    return text;
}

void ScriptedFrontEnd::writeRecord(const std::string& path) const {
    const std::string text = record();
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    if (!file)
        throw std::runtime_error("cannot write the record to " + path);
}

} // namespace platform
