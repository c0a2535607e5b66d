#include "platform/session/session_script.h"

#include "platform/dinput/dik.h"
#include "platform/win32/window.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace platform {
namespace {

enum class Where {
    Dialog,  // frame 0 only
    Loop,    // frames 1 and later only
    Any,
};

struct VerbRule {
    const char* verb;
    Where where;
    int minArgs;
    int maxArgs;  // -1: any
};

// Window verbs take no words; dialog verbs name a control or an operation;
// input verbs say what a key, the mouse or a button does.
const VerbRule kVerbs[] = {
    {"launcher", Where::Dialog, 1, 1}, {"settings", Where::Dialog, 1, -1}, {"close", Where::Any, 0, 0},
    {"minimize", Where::Any, 0, 0},    {"restore", Where::Any, 0, 0},      {"activate", Where::Any, 0, 0},
    {"deactivate", Where::Any, 0, 0},  {"screenshot", Where::Any, 1, -1},  {"key", Where::Loop, 2, -1},
    {"mouse", Where::Loop, 2, 3},      {"clock", Where::Any, 1, 1},
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

// A signed decimal count: an optional '-', then digits, within 32 bits.
bool ParseCount(const std::string& word, int32_t* out) {
    const bool negative = !word.empty() && word[0] == '-';
    uint64_t magnitude = 0;
    if (!ParseUnsigned(negative ? word.substr(1) : word, negative ? 0x80000000u : 0x7FFFFFFFu, &magnitude))
        return false;
    *out = static_cast<int32_t>(negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude));
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
        if (rule->where == Where::Dialog && frame != 0)
            return fail("'" + words[1] + "' acts on a dialog and belongs to frame 0");
        if (rule->where == Where::Loop && frame == 0)
            return fail("'" + words[1] + "' belongs to a frame of the main loop (1 or later)");
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
        uint64_t rate = 0;
        if (words[1] == "clock" && (!ParseUnsigned(words[2], 1000, &rate) || rate == 0))
            return fail("'clock' takes the passes a second of game time, 1 to 1000");
        SessionAction action;
        action.frame = static_cast<uint32_t>(frame);
        action.verb = words[1];
        action.args.assign(words.begin() + 2, words.end());
        action.line = lineNo;
        std::string inputError;
        if ((action.verb == "key" || action.verb == "mouse") && !ReadInputAction(action, &inputError))
            return fail(inputError);
        if (frame < lastFrame) return fail("frame " + words[0] + " comes before an earlier line's frame");
        lastFrame = static_cast<uint32_t>(frame);
        script.actions.push_back(std::move(action));
        if (end == text.size()) break;
    }
    return script;
}

std::optional<InputAction> ReadInputAction(const SessionAction& action, std::string* error) {
    auto fail = [&](const std::string& m) {
        if (error) *error = m;
        return std::nullopt;
    };
    const std::vector<std::string>& args = action.args;
    InputAction input;
    if (action.verb == "key") {
        if (args.size() < 2 || (args[0] != "down" && args[0] != "up"))
            return fail("'key' takes down or up and a key name");
        input.kind = args[0] == "down" ? InputAction::Kind::KeyDown : InputAction::Kind::KeyUp;
        // The name is the rest of the line, so "NumPad 7" is one key.
        std::string name = args[1];
        for (size_t i = 2; i < args.size(); ++i) name += " " + args[i];
        // The table's stand-in name for codes without a key names none.
        input.code = name == kUndefinedKeyName ? -1 : KeyCodeOfName(name.data(), name.size());
        if (input.code < 0) return fail("unknown key '" + name + "'");
        return input;
    }
    if (action.verb != "mouse") return fail("'" + action.verb + "' is not an input action");
    if (args.empty()) return fail("'mouse' takes move, down or up");
    if (args[0] == "move") {
        input.kind = InputAction::Kind::MouseMove;
        if (args.size() != 3 || !ParseCount(args[1], &input.dx) || !ParseCount(args[2], &input.dy))
            return fail("'mouse move' takes two whole numbers");
        return input;
    }
    if (args[0] != "down" && args[0] != "up") return fail("'mouse' takes move, down or up");
    input.kind = args[0] == "down" ? InputAction::Kind::ButtonDown : InputAction::Kind::ButtonUp;
    static constexpr const char* kButtons[] = {"left", "right", "middle"};
    input.code = -1;
    for (int i = 0; i < 3; ++i)
        if (args.size() == 2 && args[1] == kButtons[i]) input.code = i;
    if (input.code < 0) return fail("'mouse " + args[0] + "' takes left, right or middle");
    return input;
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
