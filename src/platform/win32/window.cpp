// Windows, classes, the message queue and modal dialogs, shared by every
// backend. Sent messages (WM_SIZE, WM_ACTIVATE, WM_SETCURSOR) reach the
// procedure at once, inside the call that pumps native events, as on the
// original platform; WM_CLOSE and WM_QUIT go through the queue.
#include "platform/win32/window.h"
#include "platform/backend/backend.h"
#include "platform/backend/faults.h"

#include <algorithm>
#include <cstdio>
#include <deque>
#include <map>
#include <memory>

struct KModule {
    int id;
};
struct KCursor {
    int id;
};

namespace {

struct ClassEntry {
    WNDCLASSEXA wc;
    std::string name;
};

struct WindowState {
    std::map<std::string, ClassEntry> classes;
    std::vector<std::unique_ptr<KWindow>> windows;  // live windows, creation order
    std::deque<MSG> queue;
    bool quitPosted = false;
    int quitCode = 0;
    ATOM nextAtom = 0xC000;
    HCURSOR currentCursor = nullptr;
};

WindowState& State() {
    static WindowState state;
    return state;
}

KModule g_mainModule{0};
KCursor g_arrowCursor{32512};

platform::IBackend* B() { return platform::Backend(); }

void Record(const std::string& call) { platform::RecordCall(call); }

bool Fails(const char* call) { return platform::ShouldFail(call); }

bool IsLive(HWND wnd) {
    if (!wnd) return false;
    for (auto& w : State().windows)
        if (w.get() == wnd) return !wnd->destroyed;
    return false;
}

std::string Hex(UINT v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%04X", v);
    return buf;
}

void RemoveWindow(HWND wnd) {
    auto& ws = State().windows;
    // Children first, so a dialog takes its controls with it.
    std::vector<HWND> children = wnd->children;
    for (HWND child : children) RemoveWindow(child);
    if (wnd->native && B()) B()->DestroyNativeWindow(wnd);
    wnd->native = nullptr;
    ws.erase(std::remove_if(ws.begin(), ws.end(), [&](auto& p) { return p.get() == wnd; }), ws.end());
}

LRESULT ComboMessage(HWND combo, UINT message, WPARAM wParam, LPARAM lParam) {
    auto& items = combo->comboItems;
    const auto index = static_cast<intptr_t>(wParam);
    const bool valid = index >= 0 && index < static_cast<intptr_t>(items.size());
    switch (message) {
    case CB_ADDSTRING:
        items.push_back({lParam ? reinterpret_cast<const char*>(lParam) : "", 0});
        return static_cast<LRESULT>(items.size() - 1);
    case CB_SETITEMDATA:
        if (!valid) return CB_ERR;
        items[index].data = lParam;
        return TRUE;
    case CB_GETITEMDATA: return valid ? items[index].data : CB_ERR;
    case CB_SETCURSEL:
        if (!valid) {
            combo->comboSelection = -1;
            combo->editText.clear();
            return CB_ERR;
        }
        combo->comboSelection = static_cast<int>(index);
        combo->editText = items[index].text;
        return index;
    case CB_GETCURSEL: return combo->comboSelection;
    case CB_GETCOUNT: return static_cast<LRESULT>(items.size());
    case CB_GETLBTEXT:
        if (!valid) return CB_ERR;
        if (lParam)
            std::snprintf(reinterpret_cast<char*>(lParam), items[index].text.size() + 1, "%s",
                          items[index].text.c_str());
        return static_cast<LRESULT>(items[index].text.size());
    default: return 0;
    }
}

HWND FindControl(HWND dialog, int id) {
    if (!IsLive(dialog)) return nullptr;
    for (HWND child : dialog->children)
        if (child->controlId == id) return child;
    return nullptr;
}

INT_PTR CallDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!dialog->dialogProc) return FALSE;
    return dialog->dialogProc(dialog, message, wParam, lParam);
}

}  // namespace

ATOM RegisterClassExA(const WNDCLASSEXA* wc) {
    Record(std::string("RegisterClassExA ") + (wc && wc->lpszClassName ? wc->lpszClassName : "(null)"));
    if (!wc || !wc->lpszClassName || !wc->lpfnWndProc || Fails("RegisterClassExA")) return 0;
    auto& classes = State().classes;
    if (classes.count(wc->lpszClassName)) return 0;
    ClassEntry entry{*wc, wc->lpszClassName};
    classes.emplace(entry.name, entry);
    classes[entry.name].wc.lpszClassName = classes[entry.name].name.c_str();
    classes[entry.name].wc.lpszMenuName = nullptr;
    return State().nextAtom++;
}

BOOL UnregisterClassA(LPCSTR className, HINSTANCE) {
    if (!className) return FALSE;
    return State().classes.erase(className) ? TRUE : FALSE;
}

HWND CreateWindowExA(DWORD, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width, int height,
                     HWND parent, HMENU, HINSTANCE, LPVOID) {
    Record(std::string("CreateWindowExA ") + (className ? className : "(null)") + " " + std::to_string(width) + "x" +
           std::to_string(height) + ((style & WS_POPUP) ? " popup" : " overlapped"));
    if (!className || Fails("CreateWindowExA")) return nullptr;
    auto it = State().classes.find(className);
    if (it == State().classes.end()) return nullptr;
    auto wnd = std::make_unique<KWindow>();
    wnd->className = className;
    wnd->title = windowName ? windowName : "";
    wnd->style = style;
    wnd->wndProc = it->second.wc.lpfnWndProc;
    wnd->parent = parent;
    wnd->rect = {x, y, x + width, y + height};
    HWND h = wnd.get();
    State().windows.push_back(std::move(wnd));
    if (B() && !B()->CreateNativeWindow(h)) {
        RemoveWindow(h);
        return nullptr;
    }
    if (h->wndProc(h, WM_CREATE, 0, 0) == -1) {
        RemoveWindow(h);
        return nullptr;
    }
    return h;
}

BOOL DestroyWindow(HWND wnd) {
    if (!IsLive(wnd)) return FALSE;
    Record("DestroyWindow " + wnd->title);
    wnd->destroyed = true;
    if (wnd->wndProc) wnd->wndProc(wnd, WM_DESTROY, 0, 0);
    RemoveWindow(wnd);
    return TRUE;
}

BOOL IsWindow(HWND wnd) { return IsLive(wnd) ? TRUE : FALSE; }

BOOL ShowWindow(HWND wnd, int cmdShow) {
    if (!IsLive(wnd)) return FALSE;
    Record("ShowWindow " + wnd->title + " " + std::to_string(cmdShow));
    const BOOL wasVisible = wnd->visible ? TRUE : FALSE;
    const bool show = cmdShow != SW_HIDE;
    const bool minimize = cmdShow == SW_SHOWMINIMIZED || cmdShow == SW_MINIMIZE;
    wnd->visible = show;
    if (wasVisible && (!show || minimize)) ++wnd->focusLosses;
    if (B()) B()->ShowNativeWindow(wnd, cmdShow);
    if (!wnd->wndProc || wasVisible == (show ? TRUE : FALSE)) return wasVisible;
    // What the original platform sends from inside ShowWindow.
    wnd->wndProc(wnd, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
    if (show) {
        wnd->minimized = minimize;
        wnd->focused = true;
        wnd->wndProc(wnd, WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, minimize ? 1 : 0), 0);
        const LONG w = wnd->rect.right - wnd->rect.left, h = wnd->rect.bottom - wnd->rect.top;
        wnd->wndProc(wnd, WM_SIZE, minimize ? SIZE_MINIMIZED : SIZE_RESTORED, minimize ? 0 : MAKELPARAM(w, h));
    }
    return wasVisible;
}

BOOL UpdateWindow(HWND wnd) {
    if (!IsLive(wnd)) return FALSE;
    Record("UpdateWindow " + wnd->title);
    return TRUE;
}

BOOL GetWindowRect(HWND wnd, RECT* rect) {
    if (!IsLive(wnd) || !rect) return FALSE;
    *rect = wnd->rect;
    return TRUE;
}

BOOL MoveWindow(HWND wnd, int x, int y, int width, int height, BOOL) {
    if (!IsLive(wnd)) return FALSE;
    Record("MoveWindow " + wnd->title + " " + std::to_string(x) + "," + std::to_string(y) + " " +
           std::to_string(width) + "x" + std::to_string(height));
    wnd->rect = {x, y, x + width, y + height};
    if (B()) B()->MoveNativeWindow(wnd);
    return TRUE;
}

int GetSystemMetrics(int index) {
    int w = 0, h = 0;
    if (B()) B()->GetScreenSize(&w, &h);
    if (index == SM_CXSCREEN) return w;
    if (index == SM_CYSCREEN) return h;
    return 0;
}

HMODULE GetModuleHandleA(LPCSTR moduleName) { return moduleName ? nullptr : &g_mainModule; }

HICON LoadIconA(HINSTANCE, LPCSTR name) {
    // A null name names no icon; the window then shows the program's own.
    (void)name;
    return nullptr;
}

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) {
    if (instance || name != IDC_ARROW) return nullptr;
    return &g_arrowCursor;
}

HCURSOR SetCursor(HCURSOR cursor) {
    Record(cursor ? "SetCursor arrow" : "SetCursor null");
    HCURSOR previous = State().currentCursor;
    State().currentCursor = cursor;
    if (B()) B()->SetCursorVisible(cursor != nullptr);
    return previous;
}

BOOL PeekMessageA(MSG* msg, HWND, UINT, UINT, UINT removeMsg) {
    auto& s = State();
    platform::detail::CountFrame();
    if (B()) B()->PumpEvents(false);
    if (!s.queue.empty()) {
        *msg = s.queue.front();
        if (removeMsg & PM_REMOVE) s.queue.pop_front();
        return TRUE;
    }
    if (s.quitPosted) {
        *msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(s.quitCode), 0, 0, {0, 0}};
        if (removeMsg & PM_REMOVE) s.quitPosted = false;
        return TRUE;
    }
    return FALSE;
}

BOOL GetMessageA(MSG* msg, HWND, UINT, UINT) {
    auto& s = State();
    for (;;) {
        if (!s.queue.empty()) {
            *msg = s.queue.front();
            s.queue.pop_front();
            return msg->message == WM_QUIT ? 0 : TRUE;
        }
        if (s.quitPosted) {
            s.quitPosted = false;
            *msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(s.quitCode), 0, 0, {0, 0}};
            return 0;
        }
        if (!B()) {
            *msg = MSG{};
            return TRUE;
        }
        B()->PumpEvents(true);
    }
}

BOOL TranslateMessage(const MSG*) { return FALSE; }

LRESULT DispatchMessageA(const MSG* msg) {
    if (!msg || !IsLive(msg->hwnd) || !msg->hwnd->wndProc) return 0;
    Record("DispatchMessageA " + Hex(msg->message));
    return msg->hwnd->wndProc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL PostMessageA(HWND wnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (wnd && !IsLive(wnd)) return FALSE;
    State().queue.push_back(MSG{wnd, message, wParam, lParam, timeGetTime(), {0, 0}});
    return TRUE;
}

LRESULT SendMessageA(HWND wnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!IsLive(wnd)) return 0;
    if (wnd->control && wnd->control->kind == KControlKind::ComboBox) return ComboMessage(wnd, message, wParam, lParam);
    if (wnd->isDialog) return CallDialogProc(wnd, message, wParam, lParam);
    if (wnd->wndProc) return wnd->wndProc(wnd, message, wParam, lParam);
    return 0;
}

void PostQuitMessage(int exitCode) {
    Record("PostQuitMessage " + std::to_string(exitCode));
    State().quitPosted = true;
    State().quitCode = exitCode;
}

LRESULT DefWindowProcA(HWND wnd, UINT message, WPARAM, LPARAM) {
    switch (message) {
    case WM_SETCURSOR: {
        auto it = State().classes.find(wnd->className);
        SetCursor(it != State().classes.end() ? it->second.wc.hCursor : nullptr);
        return TRUE;
    }
    case WM_CLOSE: DestroyWindow(wnd); return 0;
    default: return 0;
    }
}

INT_PTR DialogBoxParamA(HINSTANCE, LPCSTR templateName, HWND parent, DLGPROC dialogProc, LPARAM initParam) {
    const int id = IS_INTRESOURCE(templateName) ? LOWORD(reinterpret_cast<UINT_PTR>(templateName)) : -1;
    Record("DialogBoxParamA " + std::to_string(id));
    const KDialogTemplate* tpl = FindDialogTemplate(id);
    if (!tpl || !dialogProc || Fails("DialogBoxParamA")) return -1;

    auto owned = std::make_unique<KWindow>();
    HWND dlg = owned.get();
    dlg->className = "#32770";
    dlg->title = tpl->caption;
    dlg->style = tpl->style;
    dlg->parent = parent;
    dlg->isDialog = true;
    dlg->dialogTemplate = tpl;
    dlg->dialogProc = dialogProc;
    dlg->rect = {DialogUnitsToPixelsX(tpl->x), DialogUnitsToPixelsY(tpl->y), DialogUnitsToPixelsX(tpl->x + tpl->cx),
                 DialogUnitsToPixelsY(tpl->y + tpl->cy)};
    State().windows.push_back(std::move(owned));
    for (const KDialogControl& c : tpl->controls) {
        auto ctl = std::make_unique<KWindow>();
        ctl->className = c.kind == KControlKind::Button   ? "Button"
                         : c.kind == KControlKind::Static ? "Static"
                                                          : "ComboBox";
        ctl->title = c.text ? c.text : "";
        ctl->style = WS_CHILD | WS_VISIBLE | c.style;
        ctl->parent = dlg;
        ctl->controlId = c.id;
        ctl->control = &c;
        ctl->rect = {DialogUnitsToPixelsX(c.x), DialogUnitsToPixelsY(c.y), DialogUnitsToPixelsX(c.x + c.cx),
                     DialogUnitsToPixelsY(c.y + c.cy)};
        dlg->children.push_back(ctl.get());
        State().windows.push_back(std::move(ctl));
    }
    if (B() && !B()->CreateNativeWindow(dlg)) {
        RemoveWindow(dlg);
        return -1;
    }
    HWND firstControl = dlg->children.empty() ? nullptr : dlg->children.front();
    CallDialogProc(dlg, WM_INITDIALOG, reinterpret_cast<WPARAM>(firstControl), initParam);
    dlg->visible = true;
    if (!dlg->dialogEnded && B()) B()->RunDialog(dlg);
    const INT_PTR result = dlg->dialogEnded ? dlg->dialogResult : -1;
    RemoveWindow(dlg);
    Record("DialogBoxParamA " + std::to_string(id) + " -> " + std::to_string(result));
    return result;
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
    if (!IsLive(dialog) || !dialog->isDialog) return FALSE;
    Record("EndDialog " + std::to_string(result));
    dialog->dialogEnded = true;
    dialog->dialogResult = result;
    return TRUE;
}

HWND GetDlgItem(HWND dialog, int id) { return FindControl(dialog, id); }

LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
    HWND ctl = FindControl(dialog, id);
    return ctl ? SendMessageA(ctl, message, wParam, lParam) : 0;
}

namespace platform {

HWND MainWindow() {
    auto& ws = State().windows;
    for (auto it = ws.rbegin(); it != ws.rend(); ++it)
        if (!(*it)->isDialog && !(*it)->control && !(*it)->destroyed) return it->get();
    return nullptr;
}

void PostWindowEvent(HWND wnd, WindowEvent event) {
    if (!IsLive(wnd) || !wnd->wndProc) return;
    const LONG w = wnd->rect.right - wnd->rect.left, h = wnd->rect.bottom - wnd->rect.top;
    switch (event) {
    case WindowEvent::Close: PostMessageA(wnd, WM_CLOSE, 0, 0); break;
    case WindowEvent::Minimized:
        wnd->minimized = true;
        ++wnd->focusLosses;
        SendMessageA(wnd, WM_SIZE, SIZE_MINIMIZED, 0);
        break;
    case WindowEvent::Restored:
        wnd->minimized = false;
        SendMessageA(wnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(w, h));
        break;
    case WindowEvent::Maximized:
        wnd->minimized = false;
        SendMessageA(wnd, WM_SIZE, SIZE_MAXIMIZED, MAKELPARAM(w, h));
        break;
    case WindowEvent::FocusGained:
        wnd->focused = true;
        SendMessageA(wnd, WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, wnd->minimized ? 1 : 0), 0);
        break;
    case WindowEvent::FocusLost:
        wnd->focused = false;
        ++wnd->focusLosses;
        SendMessageA(wnd, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, wnd->minimized ? 1 : 0), 0);
        break;
    case WindowEvent::MouseOver:
        SendMessageA(wnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(wnd), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        break;
    }
}

void DialogPressButton(HWND dialog, int id) {
    HWND ctl = FindControl(dialog, id);
    if (!ctl) return;
    Record("press " + std::to_string(id));
    CallDialogProc(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(ctl));
}

void DialogSelectComboItem(HWND dialog, int id, int index) {
    HWND ctl = FindControl(dialog, id);
    if (!ctl) return;
    ComboMessage(ctl, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    CallDialogProc(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(ctl));
}

void DialogTypeComboText(HWND dialog, int id, const std::string& text) {
    HWND ctl = FindControl(dialog, id);
    if (!ctl) return;
    // Typing into the edit field leaves no list entry selected.
    ctl->editText = text;
    ctl->comboSelection = -1;
    CallDialogProc(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_EDITCHANGE), reinterpret_cast<LPARAM>(ctl));
}

void DialogClose(HWND dialog) {
    if (!IsLive(dialog)) return;
    Record("close dialog " + dialog->title);
    if (!CallDialogProc(dialog, WM_CLOSE, 0, 0) && FindControl(dialog, IDCANCEL)) DialogPressButton(dialog, IDCANCEL);
}

void ResetWindowState() {
    auto& s = State();
    while (!s.windows.empty()) RemoveWindow(s.windows.front().get());
    s.classes.clear();
    s.queue.clear();
    s.quitPosted = false;
    s.quitCode = 0;
    s.currentCursor = nullptr;
}

}  // namespace platform
