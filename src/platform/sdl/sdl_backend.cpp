#include "platform/sdl/sdl_backend.h"

#include "platform/sdl/gl_graphics.h"
#include "platform/sdl/sdl_dialog.h"
#include "platform/sdl/sdl_input.h"

#include "imgui.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <set>
#include <string>

namespace platform {
namespace {

using sdl::DialogCommand;
using sdl::DialogView;

constexpr int kProgramIconId = 107;
constexpr const char* kNoDisplay = "no display: set DISPLAY, or run headless with KELVANDOR_PLATFORM=headless";

bool IsSet(const char* variable) {
    const char* value = std::getenv(variable);
    return value && *value;
}

// The program icon is a palette image; SDL wants true colour.
void SetProgramIcon(SDL_Window* window) {
    const KIconResource* icon = FindIconResource(kProgramIconId);
    if (!icon || icon->paletteRgb.size() < 256 * 3 ||
        icon->indices.size() < static_cast<size_t>(icon->width) * static_cast<size_t>(icon->height))
        return;
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormat(0, icon->width, icon->height, 32, SDL_PIXELFORMAT_RGBA32);
    if (!surface) return;
    for (int y = 0; y < icon->height; ++y) {
        auto* row = static_cast<uint8_t*>(surface->pixels) + y * surface->pitch;
        for (int x = 0; x < icon->width; ++x) {
            const uint8_t* rgb = &icon->paletteRgb[icon->indices[static_cast<size_t>(y * icon->width + x)] * 3u];
            row[x * 4 + 0] = rgb[0];
            row[x * 4 + 1] = rgb[1];
            row[x * 4 + 2] = rgb[2];
            row[x * 4 + 3] = 255;
        }
    }
    SDL_SetWindowIcon(window, surface);
    SDL_FreeSurface(surface);
}

Uint32 EventWindowId(const SDL_Event& e) {
    switch (e.type) {
    case SDL_WINDOWEVENT: return e.window.windowID;
    case SDL_KEYDOWN:
    case SDL_KEYUP: return e.key.windowID;
    case SDL_TEXTEDITING: return e.edit.windowID;
    case SDL_TEXTINPUT: return e.text.windowID;
    case SDL_MOUSEMOTION: return e.motion.windowID;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: return e.button.windowID;
    case SDL_MOUSEWHEEL: return e.wheel.windowID;
    default: return 0;
    }
}

void PushWindowEvent(Uint32 windowId, Uint8 event) {
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.timestamp = SDL_GetTicks();
    e.window.windowID = windowId;
    e.window.event = event;
    SDL_PushEvent(&e);
}

// A click a session script makes, marked as such.
void PushMouse(Uint32 windowId, Uint32 type, int x, int y) {
    SDL_Event e{};
    e.type = type;
    if (type == SDL_MOUSEMOTION) {
        e.motion.timestamp = SDL_GetTicks();
        e.motion.windowID = windowId;
        e.motion.which = sdl::kScriptMouseId;
        e.motion.x = x;
        e.motion.y = y;
    } else {
        e.button.timestamp = SDL_GetTicks();
        e.button.windowID = windowId;
        e.button.which = sdl::kScriptMouseId;
        e.button.button = SDL_BUTTON_LEFT;
        e.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
        e.button.clicks = 1;
        e.button.x = x;
        e.button.y = y;
    }
    SDL_PushEvent(&e);
}

// The button a script action presses, if it names one of this dialog's.
HWND ScriptButton(HWND dialog, const SessionAction& action) {
    if (action.args.empty()) return nullptr;
    for (HWND ctl : dialog->children)
        if (ctl->control && ctl->control->kind == KControlKind::Button && ctl->control->scriptName &&
            action.args[0] == ctl->control->scriptName)
            return ctl;
    return nullptr;
}

void ReportSkipped(const SessionAction& action, HWND dialog) {
    std::fprintf(stderr, "session line %d skipped: not for dialog %s\n", action.line, dialog->title.c_str());
}

class SdlBackend : public IBackend {
public:
    ~SdlBackend() override {
        m_dialogs.clear();
        for (auto& [window, top] : m_topLevel) SDL_DestroyWindow(window);
        m_topLevel.clear();
        SDL_Quit();
    }

    const char* Name() const override { return "sdl"; }

    bool Init() override {
        SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
        // A window's close box is the game's to answer (WM_CLOSE); it must not also quit.
        SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
        // Without a display SDL falls back to a driver whose windows nobody
        // sees, and the launcher would wait for a click that cannot come. So
        // only X11 or Wayland is taken, or any driver named explicitly.
        const char* named = SDL_GetHint(SDL_HINT_VIDEODRIVER);
        const bool driverNamed = named && *named;
        // With nothing to connect to, refuse before SDL probes, so no
        // driver's complaint reaches standard error.
        if (!driverNamed && !IsSet("DISPLAY") && !IsSet("WAYLAND_DISPLAY")) {
            m_initError = kNoDisplay;
            return false;
        }
        if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS | SDL_INIT_TIMER) != 0) {
            m_initError = driverNamed ? std::string("SDL_Init: ") + SDL_GetError() : kNoDisplay;
            return false;
        }
        const char* driver = SDL_GetCurrentVideoDriver();
        const bool shows = driver && (std::strcmp(driver, "x11") == 0 || std::strcmp(driver, "wayland") == 0);
        if (!driverNamed && !shows) {
            m_initError = kNoDisplay;
            return false;
        }
        return true;
    }

    std::string InitError() const override { return m_initError; }

    bool CreateNativeWindow(HWND wnd) override {
        if (wnd->isDialog) {
            std::unique_ptr<DialogView> view = DialogView::Create(wnd);
            if (!view) {
                std::fprintf(stderr, "dialog %s: %s\n", wnd->title.c_str(), SDL_GetError());
                return false;
            }
            SetProgramIcon(view->Window());
            wnd->native = view->Window();
            m_dialogs[wnd] = std::move(view);
            return true;
        }
        // Full screen means the desktop's own mode: the renderer scales its frame
        // to it, and the monitor never switches modes.
        Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
        flags |= (wnd->style & WS_POPUP) ? SDL_WINDOW_FULLSCREEN_DESKTOP : SDL_WINDOW_RESIZABLE;
        SDL_Window* window =
            SDL_CreateWindow(wnd->title.c_str(), wnd->rect.left, wnd->rect.top, wnd->rect.right - wnd->rect.left,
                             wnd->rect.bottom - wnd->rect.top, flags);
        if (!window) {
            std::fprintf(stderr, "window %s: %s\n", wnd->title.c_str(), SDL_GetError());
            return false;
        }
        SetProgramIcon(window);
        wnd->native = window;
        m_topLevel[window] = TopLevel{wnd};
        return true;
    }

    void DestroyNativeWindow(HWND wnd) override {
        if (m_dialogs.erase(wnd)) {
            wnd->native = nullptr;
            return;
        }
        auto* window = static_cast<SDL_Window*>(wnd->native);
        if (!window) return;
        m_topLevel.erase(window);
        SDL_DestroyWindow(window);
        wnd->native = nullptr;
    }

    void ShowNativeWindow(HWND wnd, int cmdShow) override {
        auto* window = static_cast<SDL_Window*>(wnd->native);
        if (!window) return;
        if (cmdShow == SW_HIDE) {
            SDL_HideWindow(window);
            return;
        }
        SDL_ShowWindow(window);
        if (cmdShow == SW_SHOWMINIMIZED || cmdShow == SW_MINIMIZE)
            SDL_MinimizeWindow(window);
        else if (cmdShow == SW_SHOWMAXIMIZED)
            SDL_MaximizeWindow(window);
        else if (cmdShow == SW_RESTORE)
            SDL_RestoreWindow(window);
    }

    void MoveNativeWindow(HWND wnd) override {
        auto* window = static_cast<SDL_Window*>(wnd->native);
        if (!window) return;
        SDL_SetWindowPosition(window, wnd->rect.left, wnd->rect.top);
        SDL_SetWindowSize(window, wnd->rect.right - wnd->rect.left, wnd->rect.bottom - wnd->rect.top);
    }

    void GetScreenSize(int* width, int* height) override {
        SDL_DisplayMode mode{};
        if (SDL_GetDesktopDisplayMode(0, &mode) != 0) mode.w = mode.h = 0;
        *width = mode.w;
        *height = mode.h;
    }

    void SetCursorVisible(bool visible) override { SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE); }

    void PumpEvents(bool wait) override {
        SDL_Event e;
        bool got = SDL_PollEvent(&e) != 0;
        if (!got && wait) got = SDL_WaitEvent(&e) != 0;
        // One close of the window may come both as its close event and as a
        // quit; the game must see a single WM_CLOSE for it.
        std::set<HWND> closed;
        // Every pending event is taken, so the key and mouse states the input
        // area keeps are current when this pass reads them.
        sdl::SdlInput* input = sdl::InputArea();
        while (got) {
            Translate(e, &closed);
            if (input) input->HandleEvent(e);
            got = SDL_PollEvent(&e) != 0;
        }
    }

    void RunDialog(HWND dialog) override {
        auto it = m_dialogs.find(dialog);
        if (it == m_dialogs.end()) {
            EndDialog(dialog, -1);
            return;
        }
        DialogView* view = it->second.get();
        SDL_Window* outerGlWindow = SDL_GL_GetCurrentWindow();
        SDL_GLContext outerGl = SDL_GL_GetCurrentContext();
        ImGuiContext* outerImgui = ImGui::GetCurrentContext();

        SDL_ShowCursor(SDL_ENABLE);  // the game may have hidden it over its own window
        SDL_ShowWindow(view->Window());
        SDL_RaiseWindow(view->Window());
        ScriptState script;
        ++m_dialogDepth;
        while (IsWindow(dialog) && !dialog->dialogEnded) {
            view->MakeCurrent();
            PlayScript(dialog, view, &script);
            if (dialog->dialogEnded) break;
            SDL_Event e;
            while (!dialog->dialogEnded && SDL_PollEvent(&e)) {
                // Modal: only this dialog's window takes input, but a quit still closes it.
                if (e.type == SDL_QUIT) {
                    m_quitPending = true;
                    DialogClose(dialog);
                } else if (EventWindowId(e) == view->WindowId()) {
                    if (e.type == SDL_WINDOWEVENT && e.window.event == SDL_WINDOWEVENT_CLOSE)
                        DialogClose(dialog);
                    else
                        view->HandleEvent(e);
                }
            }
            if (dialog->dialogEnded) break;
            const std::vector<DialogCommand> commands = view->DrawFrame();
            for (const DialogCommand& c : commands) {
                if (!IsWindow(dialog) || dialog->dialogEnded) break;
                const int nestedBefore = m_dialogsRun;
                if (c.kind == DialogCommand::Kind::Press)
                    DialogPressButton(dialog, c.id);
                else if (c.kind == DialogCommand::Kind::Select)
                    DialogSelectComboItem(dialog, c.id, c.index);
                else
                    DialogTypeComboText(dialog, c.id, c.text);
                view->MakeCurrent();
                if (m_dialogsRun == nestedBefore) continue;
                // A quit that closed the dialog opened from here closes this one too.
                if (m_quitPending)
                    DialogClose(dialog);
                else
                    SDL_RaiseWindow(view->Window());
            }
        }
        ++m_dialogsRun;
        if (--m_dialogDepth == 0) m_quitPending = false;
        if (outerGl) SDL_GL_MakeCurrent(outerGlWindow, outerGl);
        ImGui::SetCurrentContext(outerImgui);
    }

    void ApplyWindowAction(const SessionAction& action) override {
        if (action.verb == "clock") {
            // From now on each pass is that share of a second of game time,
            // however long it takes to draw: a session plays the same here
            // as on the headless backend.
            m_clock = Counter();
            m_clockStep = 1000000000 / std::stoll(action.args[0]);
            return;
        }
        HWND wnd = MainWindow();
        if (!wnd || !wnd->native) return;
        // Through SDL's queue, so a scripted event takes the same path as a real one.
        const Uint32 id = SDL_GetWindowID(static_cast<SDL_Window*>(wnd->native));
        if (action.verb == "close")
            PushWindowEvent(id, SDL_WINDOWEVENT_CLOSE);
        else if (action.verb == "minimize")
            PushWindowEvent(id, SDL_WINDOWEVENT_MINIMIZED);
        else if (action.verb == "restore")
            PushWindowEvent(id, SDL_WINDOWEVENT_RESTORED);
        else if (action.verb == "activate")
            PushWindowEvent(id, SDL_WINDOWEVENT_FOCUS_GAINED);
        else if (action.verb == "deactivate")
            PushWindowEvent(id, SDL_WINDOWEVENT_FOCUS_LOST);
    }

    void OnFrame(uint32_t) override {
        if (m_clockStep) m_clock += m_clockStep;
    }

    int64_t Counter() override {
        if (m_clockStep) return m_clock;
        timespec ts{};
        clock_gettime(CLOCK_MONOTONIC, &ts);
        return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
    }
    int64_t CounterFrequency() override { return 1000000000; }
    // Wraps after 49.7 days, like the platform's 32-bit millisecond count.
    uint32_t Milliseconds() override { return static_cast<uint32_t>(Counter() / 1000000); }

private:
    struct TopLevel {
        HWND wnd;
        // What the events said. An injected minimise leaves SDL's own flags
        // alone, and without a window manager nothing is really minimised.
        bool minimized = false;
    };

    // A session's "clock": the counter it runs, and its step a pass (0: the
    // real clock).
    int64_t m_clock = 0;
    int64_t m_clockStep = 0;

    struct ScriptState {
        int nextFrame = 2;  // the person has seen the dialog before the script acts
        bool releasePending = false;
        int x = 0, y = 0;
    };

    void Translate(const SDL_Event& e, std::set<HWND>* closed) {
        if (e.type == SDL_QUIT) {
            HWND main = MainWindow();
            if (main && closed->insert(main).second) PostWindowEvent(main, WindowEvent::Close);
            return;
        }
        if (e.type != SDL_WINDOWEVENT && e.type != SDL_MOUSEMOTION) return;
        auto it = m_topLevel.find(SDL_GetWindowFromID(EventWindowId(e)));
        if (it == m_topLevel.end()) return;  // a dialog's, or a window already gone
        SDL_Window* window = it->first;
        TopLevel& top = it->second;
        HWND wnd = top.wnd;
        if (e.type == SDL_MOUSEMOTION) {
            PostWindowEvent(wnd, WindowEvent::MouseOver);
            return;
        }
        switch (e.window.event) {
        case SDL_WINDOWEVENT_CLOSE:
            if (closed->insert(wnd).second) PostWindowEvent(wnd, WindowEvent::Close);
            break;
        case SDL_WINDOWEVENT_MINIMIZED:
            top.minimized = true;
            PostWindowEvent(wnd, WindowEvent::Minimized);
            break;
        case SDL_WINDOWEVENT_RESTORED:
            top.minimized = false;
            PostWindowEvent(wnd, WindowEvent::Restored);
            break;
        case SDL_WINDOWEVENT_MAXIMIZED:
            top.minimized = false;
            PostWindowEvent(wnd, WindowEvent::Maximized);
            break;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
        case SDL_WINDOWEVENT_FOCUS_LOST:
            // The activation message carries the minimised state as it is now.
            wnd->minimized = (SDL_GetWindowFlags(window) & SDL_WINDOW_MINIMIZED) != 0 || top.minimized;
            PostWindowEvent(wnd, e.window.event == SDL_WINDOWEVENT_FOCUS_GAINED ? WindowEvent::FocusGained
                                                                                : WindowEvent::FocusLost);
            break;
        case SDL_WINDOWEVENT_ENTER: PostWindowEvent(wnd, WindowEvent::MouseOver); break;
        default: break;
        }
    }

    // Plays the session script's next action on a dialog. A press becomes a
    // real click at the button, so it goes through ImGui as a person's would.
    void PlayScript(HWND dialog, DialogView* view, ScriptState* s) {
        if (s->releasePending) {
            PushMouse(view->WindowId(), SDL_MOUSEBUTTONUP, s->x, s->y);
            s->releasePending = false;
            s->nextFrame = view->FramesDrawn() + 2;
            return;
        }
        if (view->FramesDrawn() < s->nextFrame) return;
        while (const SessionAction* next = Session().PeekDialogAction()) {
            const SessionAction action = *next;
            Session().PopDialogAction();
            const char* name = dialog->dialogTemplate ? dialog->dialogTemplate->scriptName : nullptr;
            if (action.verb != "close" && (!name || action.verb != name)) {
                ReportSkipped(action, dialog);
                continue;
            }
            s->nextFrame = view->FramesDrawn() + 2;
            if (action.verb != "close") {
                if (HWND button = ScriptButton(dialog, action)) {
                    s->x = (button->rect.left + button->rect.right) / 2;
                    s->y = (button->rect.top + button->rect.bottom) / 2;
                    PushMouse(view->WindowId(), SDL_MOUSEMOTION, s->x, s->y);
                    PushMouse(view->WindowId(), SDL_MOUSEBUTTONDOWN, s->x, s->y);
                    s->releasePending = true;
                    return;
                }
            }
            if (!ApplyDialogAction(action, dialog)) {
                ReportSkipped(action, dialog);
                continue;
            }
            return;
        }
    }

    std::string m_initError;
    std::map<SDL_Window*, TopLevel> m_topLevel;
    std::map<HWND, std::unique_ptr<DialogView>> m_dialogs;
    int m_dialogsRun = 0;  // dialog loops finished, to notice one ran inside a press
    int m_dialogDepth = 0;
    bool m_quitPending = false;  // a quit arrived in a dialog and has yet to reach the outer ones
};

}  // namespace

std::unique_ptr<IBackend> CreateSdlBackend() { return std::make_unique<SdlBackend>(); }

namespace {
// The desktop's adapter: the default monitor's modes, devices drawn with GL.
class SdlAdapter : public gfx::IGraphicsBackend {
public:
    std::unique_ptr<gfx::IGraphics> CreateDevice() override { return sdl::CreateGlGraphics(); }
};
}  // namespace

std::unique_ptr<gfx::IGraphicsBackend> CreateSdlGraphicsBackend() { return std::make_unique<SdlAdapter>(); }

}  // namespace platform
