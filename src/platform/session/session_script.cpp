#include "platform/session/session_script.h"

#include "platform/win32/window.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace platform {
namespace {

struct VerbRule {
    const char* verb;
    bool dialog;  // frame 0 only
    int minArgs;
    int maxArgs;  // -1: any
};

// Window verbs take no words; dialog verbs name a control or an operation.
const VerbRule kVerbs[] = {
    {"launcher", true, 1, 1}, {"settings", true, 1, -1}, {"close", false, 0, 0},      {"minimize", false, 0, 0},
    {"restore", false, 0, 0}, {"activate", false, 0, 0}, {"deactivate", false, 0, 0}, {"screenshot", false, 1, -1},
};

std::vector<std::string> SplitWords(std::string_view line) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
        size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
        if (i > start) words.emplace_back(line.substr(start, i - start));
    }
    return words;
}

bool ParseUnsigned(const std::string& word, uint64_t limit, uint64_t* out) {
    if (word.empty() || word.size() > 10) return false;
    uint64_t v = 0;
    for (char c : word) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<uint64_t>(c - '0');
    }
    if (v > limit) return false;
    *out = v;
    return true;
}

std::string Fail(int line, const std::string& message) { return "line " + std::to_string(line) + ": " + message; }

}  // namespace

std::optional<SessionScript> ParseSessionScript(std::string_view text, std::string* error) {
    SessionScript script;
    int lineNo = 0;
    uint32_t lastFrame = 0;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNo;
        std::vector<std::string> words = SplitWords(line);
        if (words.empty() || words[0][0] == '#') continue;
        auto fail = [&](const std::string& m) {
            if (error) *error = Fail(lineNo, m);
            return std::nullopt;
        };
        uint64_t frame = 0;
        if (!ParseUnsigned(words[0], 0xFFFFFFFFu, &frame)) return fail("'" + words[0] + "' is not a frame number");
        if (words.size() < 2) return fail("an action must follow the frame number");
        const VerbRule* rule = nullptr;
        for (const VerbRule& r : kVerbs)
            if (words[1] == r.verb) rule = &r;
        if (!rule) return fail("unknown action '" + words[1] + "'");
        const int args = static_cast<int>(words.size()) - 2;
        if (args < rule->minArgs || (rule->maxArgs >= 0 && args > rule->maxArgs))
            return fail("wrong number of words after '" + words[1] + "'");
        if (rule->dialog && frame != 0) return fail("'" + words[1] + "' acts on a dialog and belongs to frame 0");
        if (words[1] == "launcher" && words[2] != "start" && words[2] != "settings" && words[2] != "exit")
            return fail("'launcher' takes start, settings or exit");
        if (words[1] == "settings") {
            const std::string& op = words[2];
            if (op != "select" && op != "type" && op != "ok" && op != "cancel")
                return fail("'settings' takes select, type, ok or cancel");
            uint64_t index = 0;
            if (op == "select") {
                if (args != 2 || !ParseUnsigned(words[3], 0x7FFFFFFF, &index))
                    return fail("'settings select' takes one list index");
            } else if (op == "type") {
                if (args < 2) return fail("'settings type' takes the text to type");
            } else if (args != 1) {
                return fail("'settings " + op + "' takes no further words");
            }
        }
        if (frame < lastFrame) return fail("frame " + words[0] + " comes before an earlier line's frame");
        lastFrame = static_cast<uint32_t>(frame);
        SessionAction action;
        action.frame = static_cast<uint32_t>(frame);
        action.verb = words[1];
        action.args.assign(words.begin() + 2, words.end());
        action.line = lineNo;
        script.actions.push_back(std::move(action));
        if (end == text.size()) break;
    }
    return script;
}

void SessionPlayer::Load(SessionScript script) {
    m_script = std::move(script);
    m_next = 0;
}

const SessionAction* SessionPlayer::PeekDialogAction() const {
    if (Empty() || m_script.actions[m_next].frame != 0) return nullptr;
    return &m_script.actions[m_next];
}

std::vector<SessionAction> SessionPlayer::TakeFrameActions(uint32_t frame) {
    std::vector<SessionAction> due;
    // Frame-0 actions no dialog took are dropped once the loop runs.
    while (!Empty() && m_script.actions[m_next].frame <= frame) {
        if (m_script.actions[m_next].frame != 0) due.push_back(m_script.actions[m_next]);
        ++m_next;
    }
    return due;
}

bool ApplyDialogAction(const SessionAction& action, KWindow* dialog) {
    if (!dialog || !dialog->isDialog || !dialog->dialogTemplate) return false;
    if (action.verb == "close") {
        DialogClose(dialog);
        return true;
    }
    const char* name = dialog->dialogTemplate->scriptName;
    if (!name || action.verb != name || action.args.empty()) return false;
    const std::string& op = action.args[0];
    for (const KDialogControl& c : dialog->dialogTemplate->controls) {
        if (c.kind == KControlKind::ComboBox && (op == "select" || op == "type")) {
            if (op == "select") {
                DialogSelectComboItem(dialog, c.id, std::atoi(action.args[1].c_str()));
            } else {
                std::string text;
                for (size_t i = 1; i < action.args.size(); ++i) text += (i > 1 ? " " : "") + action.args[i];
                DialogTypeComboText(dialog, c.id, text);
            }
            return true;
        }
        if (c.kind == KControlKind::Button && c.scriptName && op == c.scriptName) {
            DialogPressButton(dialog, c.id);
            return true;
        }
    }
    return false;
}

}  // namespace platform
