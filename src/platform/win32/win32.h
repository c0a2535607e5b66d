// The Win32, COM and multimedia-timer subset the engine calls, with the
// platform's own names, types and semantics. Declared here from scratch; the
// behaviour lives in the shared window/dialog code and the selected backend.
#pragma once

#include <cstdint>

#define WINAPI
#define CALLBACK
#define APIENTRY

using BOOL = int;
using BYTE = uint8_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using UINT = unsigned int;
using LONG = int32_t;
using INT_PTR = intptr_t;
using UINT_PTR = uintptr_t;
using LONG_PTR = intptr_t;
using WPARAM = UINT_PTR;
using LPARAM = LONG_PTR;
using LRESULT = LONG_PTR;
using HRESULT = int32_t;
using ATOM = WORD;
using LPCSTR = const char*;
using LPSTR = char*;
using LPVOID = void*;
using ULONG = uint32_t;
using HANDLE = void*;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

struct KWindow;
struct KModule;
struct KCursor;
struct KIcon;
struct KBrush;
struct KMenu;
using HWND = KWindow*;
using HINSTANCE = KModule*;
using HMODULE = KModule*;
using HCURSOR = KCursor*;
using HICON = KIcon*;
using HBRUSH = KBrush*;
using HMENU = KMenu*;

// Result codes, with the platform's values.
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT RPC_E_CHANGED_MODE = static_cast<HRESULT>(0x80010106u);
#define SUCCEEDED(hr) (static_cast<HRESULT>(hr) >= 0)
#define FAILED(hr) (static_cast<HRESULT>(hr) < 0)

#define LOWORD(l) (static_cast<WORD>(static_cast<UINT_PTR>(l) & 0xffff))
#define HIWORD(l) (static_cast<WORD>((static_cast<UINT_PTR>(l) >> 16) & 0xffff))
#define MAKEWPARAM(lo, hi)                                             \
    (static_cast<WPARAM>((static_cast<DWORD>(static_cast<WORD>(lo))) | \
                         (static_cast<DWORD>(static_cast<WORD>(hi)) << 16)))
#define MAKELPARAM(lo, hi)                                                                \
    (static_cast<LPARAM>(static_cast<DWORD>((static_cast<DWORD>(static_cast<WORD>(lo))) | \
                                            (static_cast<DWORD>(static_cast<WORD>(hi)) << 16))))
#define MAKEINTRESOURCEA(i) (reinterpret_cast<LPCSTR>(static_cast<UINT_PTR>(static_cast<WORD>(i))))
#define IS_INTRESOURCE(p) ((reinterpret_cast<UINT_PTR>(p) >> 16) == 0)

struct POINT {
    LONG x;
    LONG y;
};

struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};

union LARGE_INTEGER {
    struct {
        DWORD LowPart;
        LONG HighPart;
    } u;
    int64_t QuadPart;
};

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};

using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);
using DLGPROC = INT_PTR (*)(HWND, UINT, WPARAM, LPARAM);

struct WNDCLASSEXA {
    UINT cbSize;
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCSTR lpszMenuName;
    LPCSTR lpszClassName;
    HICON hIconSm;
};

// Window messages.
constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_MOVE = 0x0003;
constexpr UINT WM_SIZE = 0x0005;
constexpr UINT WM_ACTIVATE = 0x0006;
constexpr UINT WM_SETFOCUS = 0x0007;
constexpr UINT WM_KILLFOCUS = 0x0008;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_SHOWWINDOW = 0x0018;
constexpr UINT WM_SETCURSOR = 0x0020;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_KEYUP = 0x0101;
constexpr UINT WM_CHAR = 0x0102;
constexpr UINT WM_INITDIALOG = 0x0110;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_MOUSEMOVE = 0x0200;

// WM_SIZE wParam.
constexpr WPARAM SIZE_RESTORED = 0;
constexpr WPARAM SIZE_MINIMIZED = 1;
constexpr WPARAM SIZE_MAXIMIZED = 2;
constexpr WPARAM SIZE_MAXSHOW = 3;
constexpr WPARAM SIZE_MAXHIDE = 4;

// WM_ACTIVATE low word.
constexpr WORD WA_INACTIVE = 0;
constexpr WORD WA_ACTIVE = 1;
constexpr WORD WA_CLICKACTIVE = 2;

// Hit-test code of WM_SETCURSOR's low word.
constexpr WORD HTCLIENT = 1;

// ShowWindow commands.
constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOWMINIMIZED = 2;
constexpr int SW_SHOWMAXIMIZED = 3;
constexpr int SW_SHOW = 5;
constexpr int SW_MINIMIZE = 6;
constexpr int SW_RESTORE = 9;
constexpr int SW_SHOWDEFAULT = 10;

// Window and class styles.
constexpr DWORD WS_OVERLAPPED = 0x00000000u;
constexpr DWORD WS_POPUP = 0x80000000u;
constexpr DWORD WS_CHILD = 0x40000000u;
constexpr DWORD WS_VISIBLE = 0x10000000u;
constexpr DWORD WS_CAPTION = 0x00C00000u;
constexpr DWORD WS_SYSMENU = 0x00080000u;
constexpr DWORD WS_THICKFRAME = 0x00040000u;
constexpr DWORD WS_MINIMIZEBOX = 0x00020000u;
constexpr DWORD WS_MAXIMIZEBOX = 0x00010000u;
constexpr DWORD WS_VSCROLL = 0x00200000u;
constexpr DWORD WS_TABSTOP = 0x00010000u;
constexpr DWORD WS_OVERLAPPEDWINDOW =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
constexpr UINT CS_VREDRAW = 0x0001;
constexpr UINT CS_HREDRAW = 0x0002;

// Dialog styles and control styles used by the templates.
constexpr DWORD DS_MODALFRAME = 0x80u;
constexpr DWORD DS_SETFONT = 0x40u;
constexpr DWORD BS_PUSHBUTTON = 0x0u;
constexpr DWORD BS_DEFPUSHBUTTON = 0x1u;
constexpr DWORD SS_LEFT = 0x0u;
constexpr DWORD SS_BITMAP = 0xEu;
constexpr DWORD CBS_DROPDOWN = 0x2u;

constexpr int COLOR_WINDOW = 5;
constexpr int SM_CXSCREEN = 0;
constexpr int SM_CYSCREEN = 1;
#define IDC_ARROW MAKEINTRESOURCEA(32512)
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;

// Combo-box messages, notifications and results.
constexpr UINT CB_GETCURSEL = 0x0147;
constexpr UINT CB_ADDSTRING = 0x0143;
constexpr UINT CB_GETCOUNT = 0x0146;
constexpr UINT CB_GETLBTEXT = 0x0148;
constexpr UINT CB_SETCURSEL = 0x014E;
constexpr UINT CB_GETITEMDATA = 0x0150;
constexpr UINT CB_SETITEMDATA = 0x0151;
constexpr LRESULT CB_ERR = -1;
constexpr WORD CBN_SELCHANGE = 1;
constexpr WORD CBN_EDITCHANGE = 5;
constexpr WORD BN_CLICKED = 0;

// PeekMessage flags.
constexpr UINT PM_NOREMOVE = 0x0000;
constexpr UINT PM_REMOVE = 0x0001;

// Windows.
ATOM RegisterClassExA(const WNDCLASSEXA* wc);
BOOL UnregisterClassA(LPCSTR className, HINSTANCE instance);
HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param);
BOOL DestroyWindow(HWND wnd);
BOOL IsWindow(HWND wnd);
BOOL ShowWindow(HWND wnd, int cmdShow);
BOOL UpdateWindow(HWND wnd);
BOOL GetWindowRect(HWND wnd, RECT* rect);
BOOL MoveWindow(HWND wnd, int x, int y, int width, int height, BOOL repaint);
int GetSystemMetrics(int index);
HMODULE GetModuleHandleA(LPCSTR moduleName);
HICON LoadIconA(HINSTANCE instance, LPCSTR name);
HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name);
HCURSOR SetCursor(HCURSOR cursor);

// Messages.
BOOL PeekMessageA(MSG* msg, HWND wnd, UINT filterMin, UINT filterMax, UINT removeMsg);
BOOL GetMessageA(MSG* msg, HWND wnd, UINT filterMin, UINT filterMax);
BOOL TranslateMessage(const MSG* msg);
LRESULT DispatchMessageA(const MSG* msg);
BOOL PostMessageA(HWND wnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT SendMessageA(HWND wnd, UINT message, WPARAM wParam, LPARAM lParam);
void PostQuitMessage(int exitCode);
LRESULT DefWindowProcA(HWND wnd, UINT message, WPARAM wParam, LPARAM lParam);

// Modal dialogs from the module's templates.
INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND parent, DLGPROC dialogProc, LPARAM initParam);
BOOL EndDialog(HWND dialog, INT_PTR result);
HWND GetDlgItem(HWND dialog, int id);
LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam);

// Time.
BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency);
BOOL QueryPerformanceCounter(LARGE_INTEGER* count);
DWORD timeGetTime();

// Events. Names are not shared between calls: each CreateEventA makes a new
// event. Nothing in the engine waits on one.
HANDLE CreateEventA(LPVOID security, BOOL manualReset, BOOL initialState, LPCSTR name);
BOOL SetEvent(HANDLE event);
BOOL CloseHandle(HANDLE handle);

// COM.
HRESULT CoInitialize(LPVOID reserved);
void CoUninitialize();
