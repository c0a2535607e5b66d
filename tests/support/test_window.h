// A plain top-level window for tests that need one (devices bind to it):
// its class answers every message with DefWindowProcA.
#pragma once

#include "platform/win32/win32.h"

inline HWND MakeTestWindow(DWORD style = WS_POPUP, int width = 640, int height = 480, HWND parent = nullptr,
                           bool show = true) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = [](HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcA(w, m, wp, lp); };
    wc.lpszClassName = "TestWindow";
    RegisterClassExA(&wc);  // again after the first: refused, and the class stays
    HWND window =
        CreateWindowExA(0, "TestWindow", "TestWindow", style, 0, 0, width, height, parent, nullptr, nullptr, nullptr);
    if (show && window) ShowWindow(window, SW_SHOW);
    return window;
}
