#include "core/KConfigVars.h"
#include "core/KKernel.h"
#include "platform/headless/headless_backend.h"
#include "platform/table/backend_table.h"

#include "support/files.h"
#include "support/test_objects.h"
#include "support/work_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

class Kernel : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(platform::Startup("headless", &error)) << error;
        kernel = new CKKernel();
        g_AppActive = 1;
    }
    void TearDown() override {
        delete kernel;
        ShutdownMemoryManager(false);
        platform::Shutdown();
        g_AppActive = 1;
    }
    CKPtr<CKTestTask> Task(const std::string& name, int priority) { return new CKTestTask(&log, name, priority); }
    // A task that ends the loop after the given number of its own updates.
    CKPtr<CKTestTask> Ender(int updates, int priority = 100000) {
        CKPtr<CKTestTask> t = new CKTestTask(nullptr, "ender", priority);
        auto left = std::make_shared<int>(updates);
        t->m_onUpdate = [left](CKTestTask&) {
            if (--*left == 0) g_Kernel->KillAllTasks();
        };
        return t;
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (auto& t : kernel->ActiveTasks()) names.push_back(static_cast<CKTestTask*>(t.Get())->m_name);
        return names;
    }

    ScopedWorkDir workDir;  // the loop writes config.cfg when it ends
    CKKernel* kernel = nullptr;
    std::vector<std::string> log;
};

TEST_F(Kernel, EqualPrioritiesKeepTheirOrderOfInsertion) {
    ASSERT_TRUE(kernel->AddTask(Task("first 20", 20)));
    ASSERT_TRUE(kernel->AddTask(Task("10", 10)));
    ASSERT_TRUE(kernel->AddTask(Task("second 20", 20)));
    ASSERT_TRUE(kernel->AddTask(Ender(1)));
    EXPECT_EQ(kernel->Run(), 0);
    EXPECT_EQ(log,
              (std::vector<std::string>{"10", "first 20", "second 20", "10 stop", "first 20 stop", "second 20 stop"}));
}

TEST_F(Kernel, RefusedTasksLeaveTheListUnchanged) {
    EXPECT_FALSE(kernel->AddTask(CKPtr<IKTask>()));
    auto failing = Task("failing", 5);
    failing->m_failStart = true;
    EXPECT_FALSE(kernel->AddTask(failing));
    auto running = Task("running", 5);
    running->m_running = 1;
    EXPECT_FALSE(kernel->AddTask(running));
    EXPECT_TRUE(kernel->ActiveTasks().empty());
}

TEST_F(Kernel, AStoppedTaskAddedAgainIsListedOnce) {
    auto task = Task("replayed", 30);
    ASSERT_TRUE(kernel->AddTask(task));
    task->Stop();  // stopped, not yet removed by a walk
    ASSERT_TRUE(kernel->AddTask(task));
    EXPECT_EQ(Names(), std::vector<std::string>{"replayed"});
    // Also while it sits in the suspended list.
    kernel->SuspendTask(task);
    task->Stop();
    ASSERT_TRUE(kernel->AddTask(task));
    EXPECT_EQ(Names(), std::vector<std::string>{"replayed"});
    EXPECT_TRUE(kernel->SuspendedTasks().empty());
}

// A stop asked by a script (StopScript) and the task added again before a
// walk carries the stop out (a screen shown again adds its script): the stop
// is done at once and the new start holds.
TEST_F(Kernel, AStopFlaggedTaskAddedAgainInTheSamePassStaysActive) {
    auto screen = Task("screen", 30);
    auto menu = Task("menu", 20);
    menu->m_onUpdate = [&](CKTestTask& self) {
        if (self.m_name != "menu") return;
        self.m_name = "menu done";
        screen->RequestStop();
        EXPECT_TRUE(g_Kernel->AddTask(screen));
    };
    kernel->AddTask(menu);
    kernel->AddTask(screen);
    // Outside a walk as well.
    screen->RequestStop();
    ASSERT_TRUE(kernel->AddTask(screen));
    EXPECT_EQ(screen->m_stop, 0);
    EXPECT_EQ(Names(), (std::vector<std::string>{"menu", "screen"}));
    kernel->AddTask(Ender(2));
    kernel->Run();
    EXPECT_EQ(log, (std::vector<std::string>{"screen stop", "menu", "screen stop", "screen", "menu done", "screen",
                                             "menu done stop", "screen stop"}));
}

// KillAllTasks, or the window's close, ends the game: a task that still runs
// is not started again after it, even by a script's stop asked before or
// after it. The task stops itself after 50 updates, so a revival fails the
// test instead of hanging it.
TEST_F(Kernel, AfterKillAllTasksARunningTaskIsNotStartedAgainAndTheLoopEnds) {
    const struct {
        const char* what;
        bool askBefore, askAfter;
    } cases[] = {
        {"killed", false, false},
        {"stop asked, then killed", true, false},
        {"killed, then stop asked", false, true},
    };
    for (const auto& c : cases) {
        log.clear();
        auto screen = Task("screen", 30);
        screen->m_onUpdate = [updates = 0](CKTestTask& self) mutable {
            if (++updates == 50) self.Stop();
        };
        auto menu = Task("menu", 20);
        menu->m_onUpdate = [&](CKTestTask&) {
            if (c.askBefore) screen->RequestStop();
            g_Kernel->KillAllTasks();
            if (c.askAfter) screen->RequestStop();
            EXPECT_FALSE(g_Kernel->AddTask(screen)) << c.what;
        };
        ASSERT_TRUE(kernel->AddTask(menu));
        ASSERT_TRUE(kernel->AddTask(screen));
        EXPECT_EQ(kernel->Run(), 0);
        EXPECT_EQ(log, (std::vector<std::string>{"menu", "screen stop", "menu stop"})) << c.what;
        EXPECT_TRUE(kernel->ActiveTasks().empty()) << c.what;
    }
}

TEST_F(Kernel, ATaskThatRestartsItselfDuringItsUpdateRunsOncePerPass) {
    auto task = Task("self", 30);
    task->m_onUpdate = [](CKTestTask& self) {
        self.Stop();
        g_Kernel->AddTask(CKPtr<IKTask>(&self));
    };
    kernel->AddTask(task);
    kernel->AddTask(Task("after", 40));
    kernel->AddTask(Ender(3));
    kernel->Run();
    const auto updates = std::count(log.begin(), log.end(), "self");
    EXPECT_EQ(updates, 3);
    EXPECT_EQ(std::count(log.begin(), log.end(), "after"), 3);
}

TEST_F(Kernel, AStopFlagRemovesTheTaskInTheNextPassWithoutAnUpdate) {
    auto stopped = Task("stopped", 20);
    auto other = Task("other", 30);
    kernel->AddTask(stopped);
    kernel->AddTask(other);
    stopped->m_stop = 1;
    kernel->AddTask(Ender(2));
    kernel->Run();
    EXPECT_EQ(log, (std::vector<std::string>{"stopped stop", "other", "other", "other stop"}));
}

LRESULT CloseOnlyProc(HWND wnd, UINT msg, WPARAM w, LPARAM l) {
    if (msg == WM_CLOSE) {
        PostQuitMessage(0);
        g_Kernel->KillAllTasks();
        return 0;
    }
    return DefWindowProcA(wnd, msg, w, l);
}

HWND MakeWindow() {
    WNDCLASSEXA wc{};
    wc.lpfnWndProc = CloseOnlyProc;
    wc.lpszClassName = "KernelTest";
    RegisterClassExA(&wc);
    return CreateWindowExA(0, "KernelTest", "KernelTest", WS_POPUP, 0, 0, 64, 64, nullptr, nullptr, nullptr, nullptr);
}

TEST_F(Kernel, InactivePassesUpdateNothingAndAQuitStillEndsTheLoop) {
    HWND wnd = MakeWindow();
    auto task = Task("t", 20);
    task->m_onUpdate = [](CKTestTask&) { g_FrameTime = 1.0f; };
    kernel->AddTask(task);
    g_AppActive = 0;
    g_FrameTime = 0.5f;
    platform::Headless()->InjectEvent(wnd, platform::WindowEvent::Close);
    EXPECT_EQ(kernel->Run(), 0);
    EXPECT_TRUE(log == std::vector<std::string>{"t stop"});
    EXPECT_EQ(g_FrameTime, 0.0f);
    EXPECT_TRUE(kernel->ActiveTasks().empty());
}

TEST_F(Kernel, KillAllTasksEndsTheLoopButLeavesSuspendedTasks) {
    auto sleeper = Task("sleeper", 10);
    kernel->AddTask(sleeper);
    kernel->SuspendTask(sleeper);
    kernel->SuspendTask(sleeper);  // not active any more: nothing happens
    kernel->AddTask(Ender(2));
    kernel->Run();
    EXPECT_TRUE(kernel->ActiveTasks().empty());
    ASSERT_EQ(kernel->SuspendedTasks().size(), 1u);
    EXPECT_TRUE(log.empty());
    kernel->ResumeTask(sleeper);
    kernel->ResumeTask(sleeper);  // not suspended any more: nothing happens
    EXPECT_EQ(kernel->ActiveTasks().size(), 1u);
}

TEST_F(Kernel, ATaskAddedBehindTheRunningOneRunsInTheSamePass) {
    auto adder = Task("adder", 20);
    adder->m_onUpdate = [this](CKTestTask& self) {
        if (self.m_name == "adder") {
            self.m_name = "adder done";
            g_Kernel->AddTask(Task("late", 30));
            g_Kernel->AddTask(Task("early", 10));
        }
    };
    kernel->AddTask(adder);
    kernel->AddTask(Ender(1));
    kernel->Run();
    EXPECT_EQ(std::vector<std::string>(log.begin(), log.begin() + 2), (std::vector<std::string>{"adder", "late"}));
}

TEST_F(Kernel, TimerMeasuresFramesAndSkipsTheSuspendedSpan) {
    auto& h = *platform::Headless();
    CKPtr<CKGlobalTimer> timer = new CKGlobalTimer();
    EXPECT_EQ(g_GlobalTimer, timer.Get());
    ASSERT_TRUE(timer->Start());
    EXPECT_EQ(timer->m_hasPerformanceCounter, 1);
    h.AdvanceSeconds(0.25);
    timer->Update();
    EXPECT_FLOAT_EQ(g_FrameTime, 0.25f);
    EXPECT_EQ(g_FrameCount, 1u);
    h.AdvanceSeconds(30.0);  // suspended meanwhile
    timer->OnResume();
    h.AdvanceSeconds(0.5);
    timer->Update();
    EXPECT_FLOAT_EQ(g_FrameTime, 0.5f);
    EXPECT_DOUBLE_EQ(g_TotalTime, 0.75);
}

TEST_F(Kernel, TimerFallsBackToMillisecondsAcrossTheirWrap) {
    auto& h = *platform::Headless();
    h.failing.insert("QueryPerformanceFrequency");
    h.millisecondsOffset = 0xFFFFFFFFu - 10;  // wraps 11 ms from now
    CKPtr<CKGlobalTimer> timer = new CKGlobalTimer();
    timer->Start();
    EXPECT_EQ(timer->m_hasPerformanceCounter, 0);
    h.AdvanceSeconds(0.040);
    timer->Update();
    EXPECT_NEAR(g_FrameTime, 0.040f, 1e-6);
}

TEST_F(Kernel, ObjUpdaterCallsItsOwnersMember) {
    struct Owner {
        int calls = 0;
        void Tick() { ++calls; }
    } owner;
    CKPtr<CKObjUpdater<Owner>> updater = new CKObjUpdater<Owner>();
    updater->m_owner = &owner;
    updater->m_member = &Owner::Tick;
    updater->m_type = 1;
    updater->m_priority = 148;
    kernel->AddTask(updater);
    kernel->AddTask(Ender(3));
    kernel->Run();
    EXPECT_EQ(owner.calls, 3);
    EXPECT_EQ(updater->GetType(), 1);
    EXPECT_EQ(updater->GetClassName(), "CKObjUpdater");
}

TEST_F(Kernel, ConfigFileIsWrittenWhenTheLoopEnds) {
    screenWidth = 1024;
    screenHeight = 768;
    screenBPP = 32;
    soundVolume = 0.25f;
    musicVolume = 1.0f;
    splines = 1;
    kernel->AddTask(Ender(1));
    kernel->Run();
    EXPECT_EQ(test_files::ReadText("config.cfg"),
              "screenWidth = 1024\nscreenHeight = 768\nscreenBPP = 32\nfullScreen = 0\nstatistic = 0\n"
              "bboxes = 0\n\nchannels = 2\nfrequency = 22050\nbitrate = 8\nsoundVolume = 0.25\n"
              "musicVolume = 1.00\n");
    EXPECT_FALSE(std::filesystem::exists("config.cfg.tmp"));
    screenWidth = 640, screenHeight = 480, screenBPP = 16, soundVolume = 0.5f, musicVolume = 0.5f, splines = 0;
}

TEST_F(Kernel, ConfigFileThatCannotBeReplacedKeepsTheOldOne) {
    std::filesystem::create_directory("blocked");
    std::filesystem::create_directory("blocked/config.cfg.tmp");  // the temporary cannot be created
    test_files::WriteText("blocked/config.cfg", "old");
    WriteConfigFile("blocked/config.cfg");
    EXPECT_EQ(test_files::ReadText("blocked/config.cfg"), "old");
    std::filesystem::remove_all("blocked");
}

TEST(Timedemo, FrameTimesSummariseByNearestRank) {
    struct Case {
        std::vector<double> ms;
        SKTimedemoSummary expected;
    };
    std::vector<double> hundred;
    for (int i = 100; i >= 1; --i) hundred.push_back(i);  // unsorted on purpose
    const Case cases[] = {
        {{}, {0, 0, 0, 0, 0}},
        {{7.5}, {1, 7.5, 7.5, 7.5, 7.5}},
        {hundred, {100, 50, 95, 99, 100}},
        {{3, 1, 2}, {3, 2, 3, 3, 3}},
    };
    for (const Case& c : cases) {
        const SKTimedemoSummary s = SummariseFrameTimes(c.ms);
        EXPECT_EQ(s.frames, c.expected.frames);
        EXPECT_DOUBLE_EQ(s.median, c.expected.median) << c.ms.size();
        EXPECT_DOUBLE_EQ(s.p95, c.expected.p95) << c.ms.size();
        EXPECT_DOUBLE_EQ(s.p99, c.expected.p99) << c.ms.size();
        EXPECT_DOUBLE_EQ(s.max, c.expected.max) << c.ms.size();
    }
}

}  // namespace
