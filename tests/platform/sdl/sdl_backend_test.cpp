// The SDL backend on a real display (Xvfb in CI): native events become the
// messages the game expects, and scripted presses reach dialogs as real
// clicks through ImGui.
#include "platform/backend/backend.h"
#include "platform/table/backend_table.h"
#include "platform/win32/win32.h"
#include "resources/resource.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <link.h>

#include <csignal>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace {

// LeakSanitizer looks at exit, after SDL has unloaded the GL driver; what the
// driver keeps then has no library name for the suppressions to match. Every
// library one GL context pulls in stays mapped, so those reports are named.
class KeepGlDriverMapped : public ::testing::Environment {
public:
    void SetUp() override {
        if (SDL_Init(SDL_INIT_VIDEO) != 0) return;
        SDL_Window* window = SDL_CreateWindow("", 0, 0, 1, 1, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        SDL_GLContext gl = window ? SDL_GL_CreateContext(window) : nullptr;
        dl_iterate_phdr(
            [](dl_phdr_info* info, size_t, void*) {
                if (info->dlpi_name && *info->dlpi_name)
                    dlopen(info->dlpi_name, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
                return 0;
            },
            nullptr);
        if (gl) SDL_GL_DeleteContext(gl);
        if (window) SDL_DestroyWindow(window);
        SDL_Quit();
    }
};
[[maybe_unused]] ::testing::Environment* const kKeepGlDriverMapped =
    ::testing::AddGlobalTestEnvironment(new KeepGlDriverMapped);

struct Message {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
std::vector<Message> g_messages;

LRESULT CALLBACK GameProc(HWND wnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SIZE || message == WM_ACTIVATE || message == WM_CLOSE)
        g_messages.push_back({message, wParam, lParam});
    if (message == WM_CLOSE) return 0;  // stays open, so a second WM_CLOSE would show
    return DefWindowProcA(wnd, message, wParam, lParam);
}

class SdlBackendTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(platform::Startup("sdl", &error)) << error;
        SetModuleResources(&KelvandorResources());
        g_messages.clear();
    }
    void TearDown() override {
        platform::Shutdown();
        SetModuleResources(nullptr);
    }

    // A full-screen game window, shown, as the game makes it (no class cursor,
    // so the pointer is hidden over it).
    HWND MakeGameWindow() {
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = GameProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "KelvandorTest";
        EXPECT_NE(RegisterClassExA(&wc), 0);
        HWND wnd = CreateWindowExA(0, "KelvandorTest", "Кельвандор", WS_POPUP, 0, 0, 640, 480, nullptr, nullptr,
                                   GetModuleHandleA(nullptr), nullptr);
        EXPECT_NE(wnd, nullptr);
        if (wnd) ShowWindow(wnd, SW_SHOW);
        Pump();
        g_messages.clear();
        return wnd;
    }

    static void Pump() {
        MSG msg;
        for (int pass = 0; pass < 8; ++pass)
            if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    }

    static void Act(const char* verb) {
        platform::SessionAction action;
        action.verb = verb;
        platform::Backend()->ApplyWindowAction(action);
    }

    static std::vector<Message> Received(UINT message) {
        std::vector<Message> out;
        for (const Message& m : g_messages)
            if (m.message == message) out.push_back(m);
        return out;
    }
};

// Each action depends on the state the ones before left, so they run as one
// sequence; the minimised flag must ride on activation until a restore.
TEST_F(SdlBackendTest, WindowActionsArriveAsSizeAndActivationMessages) {
    ASSERT_NE(MakeGameWindow(), nullptr);
    struct Step {
        const char* verb;
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };
    const Step steps[] = {
        {"minimize", WM_SIZE, SIZE_MINIMIZED, 0},
        {"activate", WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, 1), 0},
        {"deactivate", WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 1), 0},
        {"restore", WM_SIZE, SIZE_RESTORED, MAKELPARAM(640, 480)},
        {"activate", WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, 0), 0},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.verb);
        g_messages.clear();
        Act(step.verb);
        Pump();
        const std::vector<Message> got = Received(step.message);
        ASSERT_FALSE(got.empty());
        EXPECT_EQ(got.back().wParam, step.wParam);
        EXPECT_EQ(got.back().lParam, step.lParam);
    }
}

TEST_F(SdlBackendTest, PointerOverGameWindowHidesCursor) {
    HWND wnd = MakeGameWindow();
    ASSERT_NE(wnd, nullptr);
    SDL_ShowCursor(SDL_ENABLE);
    SDL_Event motion{};
    motion.type = SDL_MOUSEMOTION;
    motion.motion.windowID = SDL_GetWindowID(static_cast<SDL_Window*>(wnd->native));
    motion.motion.x = 100;
    motion.motion.y = 100;
    SDL_PushEvent(&motion);
    Pump();
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
}

// However a close reaches the program, the game gets one WM_CLOSE for it.
enum class CloseBy { CloseBox, Quit, CloseBoxAndQuit, Signal };
struct CloseCase {
    const char* name;
    CloseBy by;
};

void PrintTo(const CloseCase& c, std::ostream* os) { *os << c.name; }

class SdlCloseTest : public SdlBackendTest, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(SdlCloseTest, GameSeesExactlyOneClose) {
    ASSERT_NE(MakeGameWindow(), nullptr);
    const CloseBy by = GetParam().by;
    if (by == CloseBy::Signal) {
        struct sigaction current {};
        sigaction(SIGINT, nullptr, &current);
        if (current.sa_handler == SIG_DFL || current.sa_handler == SIG_IGN)
            GTEST_SKIP() << "SDL has not taken SIGINT here";
        std::raise(SIGINT);
    }
    if (by == CloseBy::CloseBox || by == CloseBy::CloseBoxAndQuit) Act("close");
    if (by == CloseBy::Quit || by == CloseBy::CloseBoxAndQuit) {
        SDL_Event quit{};
        quit.type = SDL_QUIT;
        SDL_PushEvent(&quit);
    }
    Pump();
    Pump();
    EXPECT_EQ(Received(WM_CLOSE).size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Sdl, SdlCloseTest,
                         ::testing::Values(CloseCase{"CloseBox", CloseBy::CloseBox}, CloseCase{"Quit", CloseBy::Quit},
                                           CloseCase{"CloseBoxAndQuit", CloseBy::CloseBoxAndQuit},
                                           CloseCase{"Signal", CloseBy::Signal}),
                         [](const auto& info) { return std::string(info.param.name); });

// What the dialog procedures saw.
struct DialogLog {
    INT_PTR nested = 0;  // the settings dialog's result, when the launcher opened it
    bool okPressed = false;
    LRESULT selection = -2;
    LPARAM itemData = 0;
    std::string editText;
    int cursorAtOk = -1;
};
DialogLog g_log;
void PressKey(HWND dlg, SDL_Keycode key) {
    SDL_Event e{};
    e.type = SDL_KEYDOWN;
    e.key.windowID = SDL_GetWindowID(static_cast<SDL_Window*>(dlg->native));
    e.key.state = SDL_PRESSED;
    e.key.keysym.sym = key;
    e.key.keysym.scancode = SDL_GetScancodeFromKey(key);
    SDL_PushEvent(&e);
    e.type = SDL_KEYUP;
    e.key.state = SDL_RELEASED;
    SDL_PushEvent(&e);
}
void PressEnter(HWND dlg) { PressKey(dlg, SDLK_RETURN); }
void PressEscape(HWND dlg) { PressKey(dlg, SDLK_ESCAPE); }
void Quit(HWND) {
    SDL_Event e{};
    e.type = SDL_QUIT;
    SDL_PushEvent(&e);
}
void (*g_atSettingsInit)(HWND) = nullptr;  // what happens as the settings dialog appears

const char* const kModes[] = {"640x480", "800x600", "1024x768"};

INT_PTR CALLBACK SettingsProc(HWND dlg, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        for (LPARAM i = 0; i < 3; ++i) {
            const LRESULT at =
                SendDlgItemMessageA(dlg, IDC_VIDEOMODE, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(kModes[i]));
            SendDlgItemMessageA(dlg, IDC_VIDEOMODE, CB_SETITEMDATA, static_cast<WPARAM>(at), 100 + i);
        }
        SendDlgItemMessageA(dlg, IDC_VIDEOMODE, CB_SETCURSEL, 0, 0);
        if (g_atSettingsInit) std::exchange(g_atSettingsInit, nullptr)(dlg);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            g_log.okPressed = true;
            g_log.selection = SendDlgItemMessageA(dlg, IDC_VIDEOMODE, CB_GETCURSEL, 0, 0);
            g_log.itemData =
                SendDlgItemMessageA(dlg, IDC_VIDEOMODE, CB_GETITEMDATA, static_cast<WPARAM>(g_log.selection), 0);
            g_log.editText = GetDlgItem(dlg, IDC_VIDEOMODE)->editText;
            g_log.cursorAtOk = SDL_ShowCursor(SDL_QUERY);
            EndDialog(dlg, IDOK);
        } else if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dlg, IDCANCEL);
        }
        return TRUE;
    case WM_CLOSE: EndDialog(dlg, -2); return TRUE;
    default: return FALSE;
    }
}

INT_PTR CALLBACK LauncherProc(HWND dlg, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG: return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_SETTINGS)
            g_log.nested =
                DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_SETTINGS), dlg, SettingsProc, 0);
        else if (LOWORD(wParam) == IDC_START || LOWORD(wParam) == IDC_EXIT)
            EndDialog(dlg, LOWORD(wParam));
        return TRUE;
    case WM_CLOSE: EndDialog(dlg, -2); return TRUE;
    default: return FALSE;
    }
}

struct DialogCase {
    const char* name;
    int dialog;
    const char* script;
    INT_PTR result;
    INT_PTR nested;        // launcher rows: what the settings dialog returned, 0 if never opened
    LRESULT selection;     // when OK was pressed
    const char* editText;  // when OK was pressed
    void (*atSettingsInit)(HWND) = nullptr;
};

void PrintTo(const DialogCase& c, std::ostream* os) { *os << c.name; }

class SdlDialogTest : public SdlBackendTest, public ::testing::WithParamInterface<DialogCase> {};

TEST_P(SdlDialogTest, ScriptDrivesDialogThroughRealInput) {
    const DialogCase& c = GetParam();
    g_log = DialogLog{};
    g_atSettingsInit = c.atSettingsInit;
    // Two closes at the end: should a scripted click be lost, the dialogs end
    // as closed (-2) instead of waiting for a person.
    std::string error;
    auto script = platform::ParseSessionScript(std::string(c.script) + "0 close\n0 close\n", &error);
    ASSERT_TRUE(script) << error;
    platform::Session().Load(*script);
    SetCursor(nullptr);  // as the game leaves it; a dialog must bring the pointer back

    const INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(c.dialog), nullptr,
                                           c.dialog == IDD_LAUNCHER ? LauncherProc : SettingsProc, 0);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(g_log.nested, c.nested);
    if (c.editText) {
        ASSERT_TRUE(g_log.okPressed);
        EXPECT_EQ(g_log.selection, c.selection);
        if (c.selection >= 0) {
            EXPECT_EQ(g_log.itemData, 100 + c.selection);
        }
        EXPECT_EQ(g_log.editText, c.editText);
        EXPECT_EQ(g_log.cursorAtOk, SDL_ENABLE);
    } else {
        EXPECT_FALSE(g_log.okPressed);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sdl, SdlDialogTest,
    ::testing::Values(DialogCase{"SettingsSelectThenOk", IDD_SETTINGS, "0 settings select 2\n0 settings ok\n", IDOK, 0,
                                 2, "1024x768"},
                      DialogCase{"SettingsTypeThenOk", IDD_SETTINGS, "0 settings type 1280 x 1024\n0 settings ok\n",
                                 IDOK, 0, -1, "1280 x 1024"},
                      DialogCase{"SettingsCancel", IDD_SETTINGS, "0 settings cancel\n", IDCANCEL, 0, 0, nullptr},
                      DialogCase{"SettingsClosed", IDD_SETTINGS, "", -2, 0, 0, nullptr},
                      DialogCase{"EnterPressesOk", IDD_SETTINGS, "", IDOK, 0, 0, "640x480", PressEnter},
                      DialogCase{"EscapePressesCancel", IDD_SETTINGS, "", IDCANCEL, 0, 0, nullptr, PressEscape},
                      DialogCase{"LauncherStart", IDD_LAUNCHER, "0 launcher start\n", IDC_START, 0, 0, nullptr},
                      DialogCase{"LauncherSettingsThenStart", IDD_LAUNCHER,
                                 "0 launcher settings\n0 settings select 1\n0 settings ok\n0 launcher start\n",
                                 IDC_START, IDOK, 1, "800x600"},
                      // Were the quit to stop at the settings dialog, the launcher would go on to "exit".
                      DialogCase{"QuitClosesEveryDialog", IDD_LAUNCHER, "0 launcher settings\n0 launcher exit\n", -2,
                                 -2, 0, nullptr, Quit},
                      DialogCase{"ActionForOtherDialogSkipped", IDD_LAUNCHER, "0 settings ok\n0 launcher exit\n",
                                 IDC_EXIT, 0, 0, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
