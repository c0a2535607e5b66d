// Session scripts: lines "FRAME ACTION ARGS..." that drive a run without a
// person, for tests and automated runs with either backend. Frame 0 is
// before the main loop (the dialogs); frame N is the N-th pass of the loop.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct KWindow;

namespace platform {

struct SessionAction {
    uint32_t frame = 0;
    std::string verb;               // "launcher", "settings", "close", ...
    std::vector<std::string> args;  // words after the verb
    int line = 0;                   // line in the script, for messages
};

struct SessionScript {
    std::vector<SessionAction> actions;  // in file order; frames never go back
};

// Parses a script; on failure returns nothing and sets error to
// "line N: message".
std::optional<SessionScript> ParseSessionScript(std::string_view text, std::string* error);

// A "key" or "mouse" action read back into what it does to the devices.
struct InputAction {
    enum class Kind { KeyDown, KeyUp, MouseMove, ButtonDown, ButtonUp };
    Kind kind = Kind::KeyDown;
    int code = 0;            // the key's scan code, or the button (0 left, 1 right, 2 middle)
    int32_t dx = 0, dy = 0;  // relative mouse counts
};

// What a "key" or "mouse" action does; nothing when it is not a well-formed
// one (the parser refuses such lines, with the reason in error).
std::optional<InputAction> ReadInputAction(const SessionAction& action, std::string* error = nullptr);

// Plays a parsed script: dialog actions in order while dialogs are shown,
// window actions at their frames.
class SessionPlayer {
public:
    void Load(SessionScript script);
    bool Empty() const { return m_next >= m_script.actions.size(); }
    // The next frame-0 action, if any is left.
    const SessionAction* PeekDialogAction() const;
    void PopDialogAction() { ++m_next; }
    // Actions due at the given loop frame (frame >= 1); each is returned once.
    std::vector<SessionAction> TakeFrameActions(uint32_t frame);

private:
    SessionScript m_script;
    size_t m_next = 0;
};

// Applies a dialog action to the dialog that is showing. Returns false when
// the action is not one that dialog understands (it is then skipped).
bool ApplyDialogAction(const SessionAction& action, ::KWindow* dialog);

}  // namespace platform
