// The shared model behind HWND: windows, dialog controls and the message
// queue. Backends create the native side and translate native events into
// messages through the functions at the end.
#pragma once

#include "platform/win32/resources.h"
#include "platform/win32/win32.h"

#include <string>
#include <vector>

struct KComboItem {
    std::string text;
    LPARAM data = 0;
};

struct KWindow {
    std::string className;
    std::string title;
    DWORD style = 0;
    WNDPROC wndProc = nullptr;  // top-level windows
    HWND parent = nullptr;
    RECT rect{};  // screen pixels
    bool visible = false;
    bool minimized = false;
    bool focused = false;  // has the keyboard focus (is the active window)
    // Times the window lost the focus or was minimised or hidden: a
    // foreground input device acquired before the last of them is lost.
    unsigned focusLosses = 0;
    bool destroyed = false;
    void* native = nullptr;  // backend's own handle

    // Dialogs.
    bool isDialog = false;
    const KDialogTemplate* dialogTemplate = nullptr;
    DLGPROC dialogProc = nullptr;
    bool dialogEnded = false;
    INT_PTR dialogResult = 0;
    std::vector<HWND> children;

    // Controls.
    int controlId = 0;
    const KDialogControl* control = nullptr;
    std::vector<KComboItem> comboItems;
    int comboSelection = -1;
    std::string editText;
};

namespace platform {

// The window that is neither a dialog nor a control and was created last:
// where window actions of a session script go.
HWND MainWindow();

// Native window events, as a backend reports them; each becomes the message
// the window procedure expects.
enum class WindowEvent { Close, Minimized, Restored, Maximized, FocusGained, FocusLost, MouseOver };
void PostWindowEvent(HWND wnd, WindowEvent event);

// What a person does in a modal dialog; the shared code turns it into the
// messages the dialog procedure receives.
void DialogPressButton(HWND dialog, int id);
void DialogSelectComboItem(HWND dialog, int id, int index);
void DialogTypeComboText(HWND dialog, int id, const std::string& text);
void DialogClose(HWND dialog);

// Forgets every window, class and queued message (between tests).
void ResetWindowState();

}  // namespace platform
