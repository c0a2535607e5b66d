#include "core/KApplication.h"

#include "Input/QInput.h"
#include "Render/KIVertexBuffer.h"
#include "Render/KMaterial.h"
#include "Render/KParticles.h"
#include "Render/KRender.h"
#include "Render/KRenderObjectLoader.h"
#include "Sound/KMusic.h"
#include "Sound/QAudio.h"
#include "core/KConfig.h"
#include "core/KConfigVars.h"
#include "core/KFile.h"
#include "core/KKernel.h"
#include "core/KLog.h"
#include "core/KMemoryManager.h"
#include "game/KEnemyDatabase.h"
#include "game/KGameData.h"
#include "game/KGameLuaFunctions.h"
#include "game/KLevel.h"
#include "game/KWeapons.h"
#include "interface/KFont.h"
#include "platform/d3d9/d3d9_impl.h"
#include "resources/resource.h"
#include "script/KLuaFunctions.h"
#include "script/KLuaScript.h"
#include "script/KScriptManager.h"

#include <algorithm>
#include <cstdio>

// The tasks that Run holds besides the kernel, released in a fixed order.
struct CKApplication::RunTasks {
    CKPtr<CKMusic> music;
    CKPtr<CQInput> input;
    CKPtr<CKParticlesManager> particles;
    CKPtr<CKWeaponsSystem> weapons;
    CKPtr<CKRender> render;
    CKPtr<CKGlobalTimer> timer;
    CKPtr<CKLuaScript> mainScript;
};

namespace {

void CentreOnScreen(HWND hDlg) {
    RECT r;
    GetWindowRect(hDlg, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    const int x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;
    MoveWindow(hDlg, x, y, w, h, TRUE);
}

CKPtr<IKTask> TimerTask() { return CKPtr<IKTask>(g_GlobalTimer); }

// The settings list's entry for the configured mode; -1 when it offers none.
int ConfiguredModeEntry() {
    for (int i = 0; i < kVideoModeCount; ++i)
        if (g_VideoModes[i].width == screenWidth && g_VideoModes[i].height == screenHeight &&
            g_VideoModes[i].bpp == screenBPP)
            return i;
    return -1;
}

void UseVideoMode(int entry) {
    screenWidth = g_VideoModes[entry].width;
    screenHeight = g_VideoModes[entry].height;
    screenBPP = g_VideoModes[entry].bpp;
}

// A game that cannot start says so and fails, instead of ending as if played.
int StartFailure(const char* what) {
    std::fprintf(stderr, "kelvandor: cannot start the %s\n", what);
    std::fflush(stderr);
    return 1;
}

}  // namespace

const SKModeChoice g_VideoModes[kVideoModeCount] = {
    {640, 480, 16}, {800, 600, 16}, {1024, 768, 16}, {640, 480, 32}, {800, 600, 32}, {1024, 768, 32},
};

CKApplication* g_Application = nullptr;

CKApplication::CKApplication() { g_Application = this; }

CKApplication::~CKApplication() { g_Application = nullptr; }

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int nCmdShow) {
    new CKApplication();
    const int result = g_Application->Run(hInstance, nCmdShow);
    delete g_Application;
    ReportLiveObjects();
    CollectGarbage();
    ShutdownMemoryManager(true);
    return result;
}

int CKApplication::Run(HINSTANCE hInstance, int nCmdShow) {
    RunTasks tasks;

    // 1-2. COM and the log.
    CoInitialize(nullptr);
    CKLog::Instance();
    CKLog::Init();

    // 3. The singletons, in their fixed order.
    new CKConfig();
    new CKKernel();
    new CKScriptManager();
    // Every script made from now on gets the engine's functions, then the game's.
    InstallEngineLuaFunctions();
    InstallGameLuaFunctions();
    new CKMaterialManager();
    new CKRenderObjectLoader();
    new CKEnemyDatabase();
    new CQAudio();
    new CKGameData();
    g_GameData->Load();  // before the archive opens: always from the disk

    // 4. Before any piece is loaded: its start only applies the volume.
    tasks.music = new CKMusic();
    tasks.music->m_priority = 12;
    g_Kernel->AddTask(tasks.music);

    // 5. Without the archive every file comes from the disk.
    OpenGameArchive();

    // 6. After the archive opens, so its copy of the table is the one read.
    GetEnemyDatabase()->Load("data\\enemies.dat");

    // 7. Without a list, or with a script missing, the game runs with what loaded.
    GetScriptManager()->LoadScriptList();

    // 8. A mode the settings list does not offer (a config.cfg edited by hand)
    // would make the renderer refuse: it becomes the entry that the list
    // selects for it, as if the player had pressed OK in the settings.
    g_Config->LoadFile("config.cfg");
    if (ConfiguredModeEntry() < 0) UseVideoMode(0);

    // 9. The launcher; anything but Start ends the game before it begins.
    const INT_PTR choice =
        DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_LAUNCHER), nullptr, LauncherDialogProc, 0);
    if (choice != IDC_START) {
        Shutdown(5, tasks);
        return 0;
    }

    // 10. These run fixed, whatever config.cfg said, and are written back so.
    fullScreen = 1;
    statistic = 0;
    splines = 0;
    bboxes = 0;

    // 11. The main window; without it the renderer will refuse to start.
    HWND hWnd = nullptr;
    CreateMainWindow(hInstance, nCmdShow, &hWnd, 0, screenWidth, screenHeight, "Kelvandor");

    // 12-13. A device that cannot start leaves the game silent. The listener
    // faces the playfield, as the camera does, so that what is heard on the
    // right is what the screen shows on the right.
    GetAudio()->Init(hWnd);
    GetAudio()->SetListenerPosition(D3DVECTOR{0.0f, 0.0f, 0.0f}, D3DVECTOR{0.0f, 0.0f, 0.0f});
    GetAudio()->SetListenerOrientation(D3DVECTOR{0.0f, 0.0f, -1.0f}, D3DVECTOR{0.0f, -1.0f, 0.0f});

    // 14.
    g_Kernel->m_hWnd = hWnd;
    g_Kernel->m_hInstance = hInstance;

    // 15.
    tasks.render = new CKRender();
    tasks.render->m_priority = 10000;
    if (!g_Kernel->AddTask(tasks.render)) {
        const int result = StartFailure("renderer");
        Shutdown(4, tasks);
        return result;
    }

    // 16.
    tasks.timer = new CKGlobalTimer();
    tasks.timer->m_priority = 10;
    g_Kernel->AddTask(tasks.timer);

    // 17. Without a "main" script the game runs without it.
    tasks.mainScript = GetScriptManager()->GetScript("main");
    if (tasks.mainScript) {
        tasks.mainScript->m_priority = 20;
        g_Kernel->AddTask(tasks.mainScript);
    }

    // 18. After the renderer, which the prototypes' meshes and materials
    // need. Without its table the system stays out of the kernel and every
    // shot asked for is ignored.
    tasks.weapons = new CKWeaponsSystem();
    tasks.weapons->m_priority = 150;
    g_Kernel->AddTask(tasks.weapons);

    // 19. Without its table the manager stays out of the kernel, and every
    // particle asked for is ignored.
    tasks.particles = new CKParticlesManager();
    tasks.particles->m_priority = 9000;
    g_Kernel->AddTask(tasks.particles);

    // 20. Without its key bindings or its devices the game cannot be played.
    tasks.input = new CQInput();
    tasks.input->m_priority = 12;
    if (!g_Kernel->AddTask(tasks.input)) {
        const int result = StartFailure("input");
        Shutdown(3, tasks);
        return result;
    }

    // 21. The fonts, before any script builds a text.
    (new CKFontManager())->Load();

    // 22. The level, which scripts load and start.
    new CKLevel();

    // 23. The timedemo counts the renderer's native calls.
    g_NativeGraphicsCalls = [] { return GetRender() ? platform::d3d::NativeCallCount(GetRender()->GetDevice()) : 0; };
    g_Kernel->Run();
    g_NativeGraphicsCalls = nullptr;
    Shutdown(1, tasks);
    return 0;
}

void CKApplication::Shutdown(int fromStep, RunTasks& tasks) {
    switch (fromStep) {
    case 1:
        // The font manager and the level go first, then the script manager,
        // whose scripts get "release_all" and one more slice.
        delete GetFontManager();
        delete GetLevel();
        delete GetScriptManager();
        [[fallthrough]];
    case 2:
        if (CQAudio* audio = GetAudio()) {
            audio->m_sounds.clear();
            if (CQSoundBank* bank = GetSoundBank()) bank->UnloadAll();
        }
        [[fallthrough]];
    case 3:
        // Run's task pointers: input, particles, weapons, "main", then the timer.
        tasks.input = nullptr;
        tasks.particles = nullptr;
        tasks.weapons = nullptr;
        tasks.mainScript = nullptr;
        tasks.timer = nullptr;
        [[fallthrough]];
    case 4:
        CollectGarbage();
        tasks.render = nullptr;
        [[fallthrough]];
    case 5:
        g_GameData->Save();
        tasks.music = nullptr;
        CollectGarbage();
        [[fallthrough]];
    case 6: CKLog::Print(0, "Vertices size - %d", static_cast<int>(g_VertexBufferBytes)); [[fallthrough]];
    case 7:
        delete g_Kernel;
        delete g_Config;
        delete GetMaterialManager();
        delete GetRenderObjectLoader();
        delete GetEnemyDatabase();
        delete GetAudio();
        delete g_GameData;
        // The manager is still here only when the main loop never ran: its
        // scripts stay alive for the leak report and the memory manager's
        // shut-down, but the manager itself is not leaked.
        if (CKScriptManager* scripts = GetScriptManager()) {
            scripts->AbandonScripts();
            delete scripts;
        }
        [[fallthrough]];
    case 8:
        // Each pass frees one link of a chain of owners (render object,
        // renderer, material, texture block, texture): two passes leave the
        // tail of a loaded scene for the leak report, so go on until nothing
        // is pending and only what is really kept reaches it.
        CollectGarbage();
        while (!g_PendingObjects.empty()) CollectGarbage();
        [[fallthrough]];
    case 9: CoUninitialize(); break;
    default: break;
    }
}

HRESULT CreateMainWindow(HINSTANCE hInstance, int nCmdShow, HWND* phWnd, int windowed, int width, int height,
                         const char* name) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = MainWindowProc;
    wc.hInstance = hInstance;
    wc.hIcon = LoadIconA(hInstance, nullptr);
    wc.hIconSm = LoadIconA(hInstance, nullptr);
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<intptr_t>(COLOR_WINDOW + 1));
    wc.lpszClassName = name;
    if (!RegisterClassExA(&wc)) return E_FAIL;

    HWND hWnd = CreateWindowExA(0, name, name, windowed ? WS_OVERLAPPEDWINDOW : WS_POPUP, 0, 0, width, height, nullptr,
                                nullptr, hInstance, nullptr);
    if (!hWnd) return E_FAIL;
    ShowWindow(hWnd, nCmdShow);
    UpdateWindow(hWnd);
    *phWnd = hWnd;
    return S_OK;
}

LRESULT CALLBACK MainWindowProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CLOSE:
    case WM_DESTROY:
        PostQuitMessage(0);
        if (g_Kernel) g_Kernel->KillAllTasks();
        return 0;
    case WM_SIZE:
        if (wParam == SIZE_MINIMIZED || wParam == SIZE_MAXHIDE) {
            if (g_Kernel) g_Kernel->SuspendTask(TimerTask());
            g_AppActive = 0;
        } else {
            if (GetRender()) GetRender()->ResetDevice();
            if (g_Kernel) g_Kernel->ResumeTask(TimerTask());
            g_AppActive = 1;
        }
        break;
    case WM_ACTIVATE:
        if ((LOWORD(wParam) == WA_ACTIVE || LOWORD(wParam) == WA_CLICKACTIVE) && HIWORD(wParam) == 0) {
            if (g_Kernel) g_Kernel->ResumeTask(TimerTask());
            if (GetRender()) GetRender()->ResetDevice();
            g_AppActive = 1;
        } else {
            if (g_Kernel) g_Kernel->SuspendTask(TimerTask());
            g_AppActive = 0;
        }
        break;
    case WM_SETCURSOR: SetCursor(nullptr); return TRUE;
    default: break;
    }
    return DefWindowProcA(hWnd, msg, wParam, lParam);
}

INT_PTR CALLBACK LauncherDialogProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM) {
    switch (msg) {
    case WM_INITDIALOG: CentreOnScreen(hDlg); return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_SETTINGS:
            DialogBoxParamA(nullptr, MAKEINTRESOURCEA(IDD_SETTINGS), nullptr, SettingsDialogProc, 0);
            break;
        case IDC_START: EndDialog(hDlg, IDC_START); break;
        case IDC_EXIT: EndDialog(hDlg, IDC_EXIT); break;
        default: break;
        }
        return TRUE;
    case WM_CLOSE: EndDialog(hDlg, IDC_EXIT); return TRUE;
    default: return FALSE;
    }
}

INT_PTR CALLBACK SettingsDialogProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM) {
    switch (msg) {
    case WM_INITDIALOG:
        FillVideoModeList(hDlg);
        CentreOnScreen(hDlg);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK: {
            // With nothing selected (text typed into the edit field) the mode stays.
            const LRESULT sel = SendDlgItemMessageA(hDlg, IDC_VIDEOMODE, CB_GETCURSEL, 0, 0);
            if (sel != CB_ERR) {
                const LRESULT mode =
                    SendDlgItemMessageA(hDlg, IDC_VIDEOMODE, CB_GETITEMDATA, static_cast<WPARAM>(sel), 0);
                if (mode >= 0 && mode < kVideoModeCount) UseVideoMode(static_cast<int>(mode));
            }
            EndDialog(hDlg, 1);
            break;
        }
        case IDCANCEL: EndDialog(hDlg, 2); break;
        default: break;
        }
        return TRUE;
    case WM_CLOSE: EndDialog(hDlg, IDC_EXIT); return TRUE;
    default: return FALSE;
    }
}

void FillVideoModeList(HWND hDlg) {
    for (int i = 0; i < kVideoModeCount; ++i) {
        char text[32];
        std::snprintf(text, sizeof text, "%dx%dx%d", g_VideoModes[i].width, g_VideoModes[i].height,
                      g_VideoModes[i].bpp);
        const LRESULT index = SendDlgItemMessageA(hDlg, IDC_VIDEOMODE, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
        SendDlgItemMessageA(hDlg, IDC_VIDEOMODE, CB_SETITEMDATA, static_cast<WPARAM>(index), i);
    }
    const int selected = std::max(ConfiguredModeEntry(), 0);
    SendDlgItemMessageA(hDlg, IDC_VIDEOMODE, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}
