// The input task on the headless devices: key edges turned into commands for
// the action listeners, the switch that holds them back, failed reads, the
// cursor and its clamp, the buttons' events, and each way Start can fail.
#include "Input/QInput.h"
#include "Input/QPointerEvents.h"
#include "core/KConfigVars.h"
#include "core/KKernel.h"
#include "platform/backend/backend.h"
#include "platform/headless/headless_backend.h"
#include "platform/headless/headless_input.h"
#include "platform/table/backend_table.h"
#include "script/KLuaScript.h"
#include "script/KScriptManager.h"

#include "script/script_fixture.h"
#include "support/test_objects.h"
#include "support/test_window.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr const char* kBindings =
    "escape;;Esc\n"
    "fire;;Space\n"
    "up;;Up\n"
    "\"left,slow\";;Left\n";

// What the screens would be told, as "down0@x,y", "up0@x,y", "move@x,y".
class RecordingScreens : public IKPointerListener {
public:
    void OnMouseDown(int button, float x, float y) override { Add("down" + std::to_string(button), x, y); }
    void OnMouseUp(int button, float x, float y) override { Add("up" + std::to_string(button), x, y); }
    void OnMouseMove(float x, float y) override { Add("move", x, y); }
    std::string Take() {
        std::string all;
        for (const std::string& e : events) all += (all.empty() ? "" : " ") + e;
        events.clear();
        return all;
    }

private:
    void Add(const std::string& what, float x, float y) {
        events.push_back(what + "@" + std::to_string(static_cast<int>(x)) + "," + std::to_string(static_cast<int>(y)));
    }
    std::vector<std::string> events;
};

class InputTask : public ScriptTest {
protected:
    void SetUp() override {
        ScriptTest::SetUp();
        std::string error;
        ASSERT_TRUE(platform::Startup("headless", &error)) << error;
        m_saved = {screenWidth, screenHeight};
        screenWidth = 640, screenHeight = 480;
        g_AppActive = 1;
        new CKKernel();
        g_Kernel->m_hWnd = MakeTestWindow();
        WriteFile("Actions.cfg", kBindings);
        WriteFile("Data/Scripts/list.dat", "listener t_system action_listener\nother t_system\n");
        WriteScript("listener", kRecordingLoop);
        WriteScript("other", kRecordingLoop);
        new CKScriptManager();
        GetScriptManager()->LoadScriptList();
        for (const char* name : {"listener", "other"}) {
            scripts.push_back(GetScriptManager()->GetScript(name));
            ASSERT_TRUE(scripts.back() && scripts.back()->Start());
        }
        SetPointerListener(&screens);
        input = new CQInput();
    }
    void TearDown() override {
        SetPointerListener(nullptr);
        input = nullptr;
        scripts.clear();
        delete GetScriptManager();
        delete g_Kernel;
        CollectGarbage();
        CollectGarbage();
        platform::Shutdown();
        screenWidth = m_saved[0], screenHeight = m_saved[1];
        ScriptTest::TearDown();
    }
    static platform::HeadlessInput& Devices() { return *platform::HeadlessInputArea(); }
    static void Key(unsigned char code, bool down) { Devices().keys[code] = down ? 0x80 : 0x00; }

    // One main-loop pass: the input task, then the scripts read what it sent.
    void Frame() {
        platform::detail::CountFrame();
        input->Update();
        for (const CKPtr<CKLuaScript>& s : scripts) s->Update();
    }
    // The commands the listener has read since the last call.
    std::string Heard(size_t script = 0) {
        const std::string seen = Global(*scripts[script], "seen");
        lua_pushstring(scripts[script]->m_state, "");
        lua_setglobal(scripts[script]->m_state, "seen");
        return seen;
    }

    CKPtr<CQInput> input;
    std::vector<CKPtr<CKLuaScript>> scripts;
    RecordingScreens screens;

private:
    std::vector<int> m_saved;
};

TEST_F(InputTask, KeyEdgesReachTheListenersOncePerChangeInScanCodeOrder) {
    ASSERT_TRUE(input->Start());
    Key(DIK_UP, true);
    Key(DIK_SPACE, true);
    Key(DIK_ESCAPE, true);
    Frame();
    EXPECT_EQ(Heard(), "key_action(escape|1)key_action(fire|1)key_action(up|1)");
    EXPECT_EQ(Heard(1), "");  // not an action listener
    Frame();
    EXPECT_EQ(Heard(), "");  // held keys send nothing more
    Key(DIK_SPACE, false);
    Key(DIK_Q, true);  // unbound
    Frame();
    EXPECT_EQ(Heard(), "key_action(fire|0)");
    // An action name with "," arrives as more than one parameter.
    Key(DIK_LEFT, true);
    Frame();
    EXPECT_EQ(Heard(), "key_action(left|slow|1)");
    // Down and up again between two polls is never seen.
    Key(DIK_SPACE, true);
    Key(DIK_SPACE, false);
    Frame();
    EXPECT_EQ(Heard(), "");
}

TEST_F(InputTask, DisabledActionsSendNothingButKeysAreStillTracked) {
    ASSERT_TRUE(input->Start());
    input->m_actionsEnabled = 0;
    Key(DIK_SPACE, true);
    Frame();
    Key(DIK_UP, true);
    Frame();
    EXPECT_EQ(Heard(), "");
    input->m_actionsEnabled = 1;
    Frame();
    EXPECT_EQ(Heard(), "");  // a key held when actions come back says nothing
    Key(DIK_SPACE, false);
    Frame();
    EXPECT_EQ(Heard(), "key_action(fire|0)");
}

TEST_F(InputTask, AFailedKeyboardReadReportsNoChangesAndReacquires) {
    ASSERT_TRUE(input->Start());
    for (HRESULT failure : {DIERR_INPUTLOST, DIERR_GENERIC}) {
        Key(DIK_SPACE, true);
        Devices().keyboardFailures[platform::FrameNumber() + 1] = failure;
        platform::Headless()->calls.clear();
        Frame();
        EXPECT_EQ(Heard(), "") << failure;
        const auto& calls = platform::Headless()->calls;
        // Update acquires both devices first; a lost keyboard is acquired once more.
        EXPECT_EQ(std::count(calls.begin(), calls.end(), "Acquire keyboard"), failure == DIERR_INPUTLOST ? 2 : 1);
        Frame();
        EXPECT_EQ(Heard(), "key_action(fire|1)") << failure;
        Key(DIK_SPACE, false);
        Frame();
        Heard();
    }
}

TEST_F(InputTask, TheCursorMovesByTheMotionAndStopsAtTheScreenEdges) {
    ASSERT_TRUE(input->Start());
    struct Step {
        LONG dx, dy;
        int x, y;
        const char* events;
    };
    const Step steps[] = {
        {-5, -5, 0, 0, ""},  // already in the corner: no move
        {100, 50, 100, 50, "move@100,50"},
        {0, 0, 100, 50, ""},
        {10000, 3, 639, 53, "move@639,53"},
        {5, 0, 639, 53, ""},
        {-2000, 9999, 0, 479, "move@0,479"},
        {0x7FFFFFFF, -0x7FFFFFFF, 639, 0, "move@639,0"},  // no overflow on the way
    };
    for (const Step& s : steps) {
        Devices().mouse.dx = s.dx;
        Devices().mouse.dy = s.dy;
        Frame();
        int x = -1, y = -1;
        input->GetMousePosition(x, y);
        EXPECT_EQ(x, s.x) << s.dx << "," << s.dy;
        EXPECT_EQ(y, s.y) << s.dx << "," << s.dy;
        EXPECT_EQ(input->m_motion[0], s.dx);
        EXPECT_EQ(screens.Take(), s.events) << s.dx << "," << s.dy;
    }
}

TEST_F(InputTask, ButtonsGiveOneDownAndOneUpAtTheCursorBeforeTheMove) {
    ASSERT_TRUE(input->Start());
    Devices().mouse.dx = 30;
    Devices().mouse.dy = 40;
    Devices().mouse.buttons[0] = 0x80;
    Devices().mouse.buttons[2] = 0x80;
    Frame();
    EXPECT_EQ(screens.Take(), "down0@30,40 down2@30,40 move@30,40");
    Frame();
    EXPECT_EQ(screens.Take(), "");
    Devices().mouse.dx = 1;
    Devices().mouse.buttons[0] = 0;
    Devices().mouse.buttons[1] = 0x80;
    Frame();
    EXPECT_EQ(screens.Take(), "up0@31,40 down1@31,40 move@31,40");  // in button order
    Devices().mouse.buttons[3] = 0x80;                              // the fourth button is not used
    Frame();
    EXPECT_EQ(screens.Take(), "");
}

TEST_F(InputTask, AFailedMouseReadIsAFrameWithoutMotionOrButtonChanges) {
    ASSERT_TRUE(input->Start());
    Devices().mouse.buttons[0] = 0x80;
    Frame();
    screens.Take();
    int x = 0;
    for (HRESULT failure : {DIERR_INPUTLOST, DIERR_GENERIC}) {
        Devices().mouse.dx = 7;
        Devices().mouse.buttons[0] = 0;
        Devices().mouseFailures[platform::FrameNumber() + 1] = failure;
        Frame();
        EXPECT_EQ(screens.Take(), "") << failure;
        EXPECT_EQ(input->m_motion[0], 0);
        EXPECT_EQ(input->m_buttons[0], 1);
        // The motion and the release are seen in the next frame.
        Frame();
        x += 7;
        const std::string at = "@" + std::to_string(x) + ",0";
        EXPECT_EQ(screens.Take(), "up0" + at + " move" + at) << failure;
        Devices().mouse.buttons[0] = 0x80;
        Frame();
        screens.Take();
    }
}

TEST_F(InputTask, StartFailsAtTheFirstStepThatFails) {
    struct Case {
        const char* fault;
        int line;  // of the logged DirectInput error; 0: nothing logged
    };
    const Case cases[] = {
        {"DirectInput8Create", 121},
        {"CreateDevice keyboard", 123},
        {"SetDataFormat keyboard", 124},
        {"SetCooperativeLevel keyboard", 125},
        {"Acquire keyboard", 126},
        {"CreateDevice mouse", 127},
        {"SetDataFormat mouse", 128},
        {"SetCooperativeLevel mouse", 129},
        {"CreateEventA", 0},
        {"SetEventNotification mouse", 136},
        {"SetProperty DIPROP_BUFFERSIZE mouse", 145},
        {"SetProperty DIPROP_AXISMODE mouse", 153},
        {"Acquire mouse", 155},
    };
    for (const Case& c : cases) {
        platform::Headless()->failing = {c.fault};
        CKPtr<CQInput> task(new CQInput());
        LogCapture log;
        EXPECT_FALSE(task->Start()) << c.fault;
        EXPECT_FALSE(task->m_running) << c.fault;
        const bool logged = std::any_of(log.lines.begin(), log.lines.end(), [&](const std::string& l) {
            return l.find("DXError if Input\\QInput on line " + std::to_string(c.line)) != std::string::npos;
        });
        EXPECT_EQ(logged, c.line != 0) << c.fault;
        if (c.line == 0) {
            EXPECT_TRUE(log.lines.empty()) << c.fault;
        }
        task = nullptr;
        CollectGarbage();
    }
    platform::Headless()->failing.clear();
    EXPECT_FALSE(platform::HeadlessInputArea()->mouseCaptured);  // every device given back
}

TEST_F(InputTask, WithoutItsBindingsStartFailsBeforeAnyDevice) {
    std::filesystem::remove("Actions.cfg");
    platform::Headless()->calls.clear();
    LogCapture log;
    EXPECT_FALSE(input->Start());
    const auto& calls = platform::Headless()->calls;
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "DirectInput8Create"), 0);
    EXPECT_EQ(input->m_directInput, nullptr);
}

TEST_F(InputTask, StartedDevicesHoldTheMouseUntilTheTaskGoes) {
    ASSERT_TRUE(input->Start());
    EXPECT_TRUE(input->m_running);
    EXPECT_TRUE(Devices().mouseCaptured);
    g_AppActive = 0;
    input->UpdateAcquire();
    EXPECT_FALSE(Devices().mouseCaptured);
    g_AppActive = 1;
    input->UpdateAcquire();
    EXPECT_TRUE(Devices().mouseCaptured);
    input->ReleaseDevices();
    EXPECT_FALSE(Devices().mouseCaptured);
    EXPECT_EQ(input->m_keyboard, nullptr);
    EXPECT_EQ(input->m_mouse, nullptr);
}

}  // namespace
