// The native side of one modal dialog: its SDL window with a GL context and
// an ImGui context of its own, and the controls of its template drawn there.
#pragma once

#include "platform/win32/window.h"

#include <SDL.h>

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

struct ImGuiContext;

namespace platform::sdl {

// The mouse id of clicks a session script makes, so real pointer events can
// be told apart from them.
constexpr Uint32 kScriptMouseId = 0x4B56;

// What the person did in one frame. Applied only once the frame is finished:
// a press may end the dialog or run another one inside it.
struct DialogCommand {
    enum class Kind { Press, Select, Type };
    Kind kind;
    int id;
    int index = -1;
    std::string text;

    static DialogCommand Press(int id) { return {Kind::Press, id, -1, {}}; }
    static DialogCommand Select(int id, int index) { return {Kind::Select, id, index, {}}; }
    static DialogCommand Type(int id, std::string text) { return {Kind::Type, id, -1, std::move(text)}; }
};

class DialogView {
public:
    // Null when any part could not be made (SDL says why).
    static std::unique_ptr<DialogView> Create(HWND dialog);
    ~DialogView();
    DialogView(const DialogView&) = delete;
    DialogView& operator=(const DialogView&) = delete;

    SDL_Window* Window() const { return m_window; }
    Uint32 WindowId() const { return SDL_GetWindowID(m_window); }
    int FramesDrawn() const { return m_frames; }

    // Makes this dialog's GL and ImGui contexts the current ones.
    void MakeCurrent();
    // One event addressed to this dialog's window.
    void HandleEvent(const SDL_Event& event);
    // Draws and presents a frame; returns what was done in it, in order.
    std::vector<DialogCommand> DrawFrame();

private:
    explicit DialogView(HWND dialog) : m_dialog(dialog) {}
    bool Init();
    void DrawButton(HWND ctl, std::vector<DialogCommand>* out);
    void DrawBitmap(HWND ctl);
    void DrawCombo(HWND ctl, std::vector<DialogCommand>* out);

    HWND m_dialog;
    SDL_Window* m_window = nullptr;
    SDL_GLContext m_gl = nullptr;
    ImGuiContext* m_imgui = nullptr;
    bool m_sdlImplReady = false;
    bool m_glImplReady = false;
    std::map<int, unsigned> m_textures;     // bitmap id -> GL texture
    std::map<int, std::string> m_editText;  // combo id -> what its edit field shows
    int m_frames = 0;

    // The mouse as this window's events tell it. ImGui's SDL backend asks
    // the X server instead, which knows nothing of events a script pushed.
    float m_mouseX = 0, m_mouseY = 0;
    bool m_mouseInside = false;
    bool m_buttonDown[3] = {};
    bool m_buttonPressed[3] = {};  // went down since the last frame
    // From a scripted press until the frame that saw its release, the real
    // pointer is ignored: a window appearing or going away under it moves it.
    enum class ScriptedClick { None, Held, Released } m_scriptedClick = ScriptedClick::None;

    int m_keyButton = 0;       // button Enter or Escape pressed, for after the frame
    bool m_popupOpen = false;  // a combo's list was open in the last frame
    bool m_closePopup = false;
};

}  // namespace platform::sdl
