#include "platform/backend/backend.h"
#include "platform/headless/headless_backend.h"
#include "platform/table/backend_table.h"
#include "resources/resource.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

struct Received {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
std::vector<Received> g_received;

LRESULT TestProc(HWND wnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_CREATE) g_received.push_back({message, wParam, lParam});
    if (message == WM_SETCURSOR) {
        SetCursor(nullptr);
        return TRUE;
    }
    return DefWindowProcA(wnd, message, wParam, lParam);
}

class HeadlessWindows : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(platform::Startup("headless", &error)) << error;
        SetModuleResources(&KelvandorResources());
        g_received.clear();
    }
    void TearDown() override { platform::Shutdown(); }

    HWND MakeWindow(DWORD style = WS_POPUP) {
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = TestProc;
        wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        wc.lpszClassName = "Test";
        RegisterClassExA(&wc);
        return CreateWindowExA(0, "Test", "Test", style, 0, 0, 640, 480, nullptr, nullptr, nullptr, nullptr);
    }
    platform::HeadlessBackend& H() { return *platform::Headless(); }
};

TEST_F(HeadlessWindows, BackendTableDefaultsToTheRealBackendAndRejectsUnknownNames) {
    size_t count = 0;
    const platform::BackendEntry* table = platform::BackendTable(&count);
    ASSERT_GE(count, 2u);
    EXPECT_STREQ(table[0].name, "sdl");
    std::string error;
    EXPECT_FALSE(platform::Startup("vulkan", &error));
    EXPECT_NE(error.find("unknown platform backend 'vulkan'"), std::string::npos);
    EXPECT_NE(error.find("headless"), std::string::npos);
}

TEST_F(HeadlessWindows, ShowWindowSendsActivationAndSizeAtOnce) {
    HWND wnd = MakeWindow();
    ASSERT_NE(wnd, nullptr);
    EXPECT_FALSE(ShowWindow(wnd, SW_SHOWDEFAULT));
    ASSERT_EQ(g_received.size(), 3u);
    EXPECT_EQ(g_received[0].message, WM_SHOWWINDOW);
    EXPECT_EQ(g_received[1].message, WM_ACTIVATE);
    EXPECT_EQ(g_received[1].wParam, MAKEWPARAM(WA_ACTIVE, 0));
    EXPECT_EQ(g_received[2].message, WM_SIZE);
    EXPECT_EQ(g_received[2].wParam, SIZE_RESTORED);
    EXPECT_EQ(g_received[2].lParam, MAKELPARAM(640, 480));
    // Showing it again changes nothing.
    EXPECT_TRUE(ShowWindow(wnd, SW_SHOW));
    EXPECT_EQ(g_received.size(), 3u);
}

TEST_F(HeadlessWindows, NativeEventsBecomeTheMessagesTheProcedureExpects) {
    HWND wnd = MakeWindow();
    const struct {
        platform::WindowEvent event;
        UINT message;
        WPARAM wParam;
    } cases[] = {
        {platform::WindowEvent::Minimized, WM_SIZE, SIZE_MINIMIZED},
        // Activation while minimised carries the minimised flag in the high word.
        {platform::WindowEvent::FocusGained, WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, 1)},
        {platform::WindowEvent::Restored, WM_SIZE, SIZE_RESTORED},
        {platform::WindowEvent::FocusLost, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 0)},
        {platform::WindowEvent::FocusGained, WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, 0)},
        {platform::WindowEvent::Maximized, WM_SIZE, SIZE_MAXIMIZED},
    };
    for (const auto& c : cases) {
        g_received.clear();
        H().InjectEvent(wnd, c.event);
        MSG msg;
        EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));  // sent, not queued
        ASSERT_EQ(g_received.size(), 1u);
        EXPECT_EQ(g_received[0].message, c.message);
        EXPECT_EQ(g_received[0].wParam, c.wParam);
    }
}

TEST_F(HeadlessWindows, CloseIsQueuedOnceAndQuitComesAfterQueuedMessages) {
    HWND wnd = MakeWindow();
    H().InjectEvent(wnd, platform::WindowEvent::Close);
    PostQuitMessage(3);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.message, WM_CLOSE);
    EXPECT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, WM_CLOSE);
    DispatchMessageA(&msg);
    // The default handling of WM_CLOSE destroys the window.
    ASSERT_EQ(g_received.size(), 2u);
    EXPECT_EQ(g_received[0].message, WM_CLOSE);
    EXPECT_EQ(g_received[1].message, WM_DESTROY);
    EXPECT_FALSE(IsWindow(wnd));
    EXPECT_FALSE(GetMessageA(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, WM_QUIT);
    EXPECT_EQ(msg.wParam, 3u);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
}

TEST_F(HeadlessWindows, MouseOverTheWindowAsksForTheCursorAndHidesIt) {
    HWND wnd = MakeWindow();
    ASSERT_TRUE(H().cursorVisible);
    H().InjectEvent(wnd, platform::WindowEvent::MouseOver);
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
    ASSERT_EQ(g_received.size(), 1u);
    EXPECT_EQ(g_received[0].message, WM_SETCURSOR);
    EXPECT_EQ(LOWORD(g_received[0].lParam), HTCLIENT);
    EXPECT_FALSE(H().cursorVisible);
}

TEST_F(HeadlessWindows, InjectedFaultsFailCreation) {
    H().failing.insert("CreateWindowExA");
    EXPECT_EQ(MakeWindow(), nullptr);
    H().failing = {"RegisterClassExA"};
    WNDCLASSEXA wc{};
    wc.lpfnWndProc = TestProc;
    wc.lpszClassName = "Other";
    EXPECT_EQ(RegisterClassExA(&wc), 0);
    EXPECT_TRUE(H().Called("RegisterClassExA Other"));
}

TEST_F(HeadlessWindows, ClockIsDrivenByTheTestAndStepsPerFrame) {
    LARGE_INTEGER f, c0, c1;
    ASSERT_TRUE(QueryPerformanceFrequency(&f));
    EXPECT_EQ(f.QuadPart, 1000000000);
    QueryPerformanceCounter(&c0);
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
    QueryPerformanceCounter(&c1);
    EXPECT_EQ(c1.QuadPart - c0.QuadPart, H().frameStep);
    H().AdvanceSeconds(2.0);
    EXPECT_EQ(timeGetTime(), static_cast<DWORD>((c1.QuadPart + 2000000000) / 1000000));
    H().failing.insert("QueryPerformanceFrequency");
    EXPECT_FALSE(QueryPerformanceFrequency(&f));
    EXPECT_EQ(f.QuadPart, 0);
}

// --- Dialogs -----------------------------------------------------------

struct DialogLog {
    std::vector<UINT> messages;
    std::vector<WORD> commands;
    int selectionAtOk = -2;
};
DialogLog g_dialog;

INT_PTR TestDialogProc(HWND dlg, UINT message, WPARAM wParam, LPARAM) {
    g_dialog.messages.push_back(message);
    if (message == WM_INITDIALOG) {
        for (const char* text : {"a", "b", "c"}) {
            LRESULT i = SendDlgItemMessageA(dlg, IDC_VIDEOMODE, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
            SendDlgItemMessageA(dlg, IDC_VIDEOMODE, CB_SETITEMDATA, static_cast<WPARAM>(i), 10 + i);
        }
        return TRUE;
    }
    if (message == WM_COMMAND) {
        g_dialog.commands.push_back(LOWORD(wParam));
        if (LOWORD(wParam) == IDOK) {
            g_dialog.selectionAtOk = static_cast<int>(SendDlgItemMessageA(dlg, IDC_VIDEOMODE, CB_GETCURSEL, 0, 0));
            EndDialog(dlg, 1);
        }
        return TRUE;
    }
    return FALSE;
}

INT_PTR RunSettings(const char* script) {
    g_dialog = {};
    std::string error;
    platform::Session().Load(*platform::ParseSessionScript(script, &error));
    return DialogBoxParamA(nullptr, MAKEINTRESOURCEA(IDD_SETTINGS), nullptr, TestDialogProc, 0);
}

TEST_F(HeadlessWindows, DialogPlaysTheSessionScriptAndClosesWhenItRunsOut) {
    EXPECT_EQ(RunSettings("0 settings select 2\n0 settings ok\n"), 1);
    EXPECT_EQ(g_dialog.messages.front(), static_cast<UINT>(WM_INITDIALOG));
    EXPECT_EQ(g_dialog.selectionAtOk, 2);

    // Typing leaves nothing selected.
    RunSettings("0 settings select 1\n0 settings type 999x1\n0 settings ok\n");
    EXPECT_EQ(g_dialog.selectionAtOk, -1);

    // No script: closed as by its close box; the procedure ignores WM_CLOSE, so
    // the platform's default turns it into Cancel.
    EXPECT_EQ(RunSettings(""), -1);
    EXPECT_EQ(g_dialog.messages.back(), static_cast<UINT>(WM_COMMAND));
    EXPECT_EQ(g_dialog.commands.back(), IDCANCEL);
}

TEST_F(HeadlessWindows, DialogActionsForAnotherDialogAreSkipped) {
    EXPECT_EQ(RunSettings("0 launcher start\n0 settings ok\n"), 1);
    EXPECT_EQ(g_dialog.commands, std::vector<WORD>{IDOK});
}

TEST_F(HeadlessWindows, ComboBoxMessagesFollowThePlatform) {
    H().dialogHandler = [](HWND dlg) {
        HWND combo = GetDlgItem(dlg, IDC_VIDEOMODE);
        ASSERT_NE(combo, nullptr);
        EXPECT_EQ(SendMessageA(combo, CB_GETCOUNT, 0, 0), 3);
        EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), CB_ERR);
        EXPECT_EQ(SendMessageA(combo, CB_GETITEMDATA, 1, 0), 11);
        EXPECT_EQ(SendMessageA(combo, CB_GETITEMDATA, 3, 0), CB_ERR);
        EXPECT_EQ(SendMessageA(combo, CB_SETCURSEL, 7, 0), CB_ERR);
        EXPECT_EQ(SendMessageA(combo, CB_SETCURSEL, 2, 0), 2);
        EXPECT_EQ(combo->editText, "c");
        char text[8] = {};
        EXPECT_EQ(SendMessageA(combo, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(text)), 1);
        EXPECT_STREQ(text, "a");
        platform::DialogPressButton(dlg, IDOK);
    };
    EXPECT_EQ(RunSettings(""), 1);
    EXPECT_EQ(g_dialog.selectionAtOk, 2);
}

TEST_F(HeadlessWindows, DialogTemplatesBecomeWindowsInPixels) {
    H().dialogHandler = [](HWND dlg) {
        RECT r;
        ASSERT_TRUE(GetWindowRect(dlg, &r));
        EXPECT_EQ(r.right - r.left, 279);  // 186 dialog units at 6 pixels per 4 units
        EXPECT_EQ(r.bottom - r.top, 100);  // 62 at 13 per 8
        HWND ok = GetDlgItem(dlg, IDOK);
        ASSERT_TRUE(GetWindowRect(ok, &r));
        EXPECT_EQ(r.left, 52);
        EXPECT_EQ(ok->title, "OK");
        EXPECT_EQ(GetDlgItem(dlg, 4242), nullptr);
        EndDialog(dlg, 9);
    };
    EXPECT_EQ(RunSettings(""), 9);
    EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(999), nullptr, TestDialogProc, 0), -1);
}

}  // namespace
