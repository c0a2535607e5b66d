// The program's frame: start-up in a fixed order, the launcher and settings
// dialogs, the main window and its procedure, and shut-down in a fixed order.
#pragma once

#include "platform/win32/win32.h"

// One entry of the settings dialog's mode list.
struct SKModeChoice {
    int width;
    int height;
    int bpp;
};

constexpr int kVideoModeCount = 6;
extern const SKModeChoice g_VideoModes[kVideoModeCount];

class CKApplication {
public:
    CKApplication();
    virtual ~CKApplication();
    // The whole life of the game: 0, or 1 when the renderer or input cannot
    // start (said in one line on standard error).
    int Run(HINSTANCE hInstance, int nCmdShow);

private:
    struct RunTasks;
    // Runs shut-down from the given step to its end.
    void Shutdown(int fromStep, RunTasks& tasks);
};

extern CKApplication* g_Application;

// Run's result, which becomes the process's exit status.
int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow);

HRESULT CreateMainWindow(HINSTANCE hInstance, int nCmdShow, HWND* phWnd, int windowed, int width, int height,
                         const char* name);
LRESULT CALLBACK MainWindowProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK LauncherDialogProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK SettingsDialogProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam);
void FillVideoModeList(HWND hDlg);
