// Scripts in the whole program: "main" from start-up to close through the
// headless backend, the "release_all" pass at exit, and the sample script.
#include "core/KKernel.h"
#include "core/KTextReader.h"
#include "game/KGameLuaFunctions.h"
#include "script/KLuaScript.h"
#include "script/KScriptManager.h"

#include "startup_fixture.h"

#include <algorithm>

namespace {

using ScriptStartup = StartupTest;

// Counts its slices and, on "release_all", writes the count to NAME.txt.
std::string Counter(const std::string& name) {
    return "frames = 0\nwhile true do\n"
           "  while SetNextCommand(globalObject) do\n"
           "    if GetCurrentCommand(globalObject) == 'release_all' then\n"
           "      local f = io.open('" +
           name +
           ".txt', 'w') f:write(frames) f:close()\n"
           "    end\n"
           "  end\n"
           "  frames = frames + 1\n"
           "  Update()\n"
           "end\n";
}

TEST_F(ScriptStartup, MainRunsEveryFrameFromStartUpAndGetsReleaseAllAtExit) {
    WriteScript("main", Counter("main"));
    WriteScript("other", Counter("other"));
    WriteFile("Data/Scripts/list.dat", "Main t_system\nother t_level\n");
    LogCapture log;
    EXPECT_EQ(Play("0 launcher start\n5 close\n"), 0);
    // Each pass the timer ran, "main" ran after it; the close stops both.
    ASSERT_GT(g_FrameCount, 0u);
    EXPECT_EQ(ReadFile("main.txt"), std::to_string(g_FrameCount));
    EXPECT_FALSE(std::filesystem::exists("other.txt"));  // never started, so never resumed
    EXPECT_EQ(GetScriptManager(), nullptr);
    EXPECT_FALSE(Logged(log, "неудаленный объект"));
    EXPECT_FALSE(Logged(log, "Ошибка"));
}

TEST_F(ScriptStartup, AScriptThatNeverReturnsOrOverrunsItsMemoryCannotHangTheGameOrLoseTheSaves) {
    TestScriptLimits limits(std::chrono::milliseconds(200));
    const struct {
        const char* when;
        const char* source;
        const char* logged;
    } cases[] = {
        {"first slice", "while true do end", "script main ran past its time limit"},
        {"last slice",
         "while true do\n"
         "  while SetNextCommand(globalObject) do\n"
         "    if GetCurrentCommand(globalObject) == 'release_all' then while true do end end\n"
         "  end\n"
         "  Update()\n"
         "end\n",
         "script main ran past its time limit"},
        {"finalizer at close",
         "keep = newproxy(true) getmetatable(keep).__gc = function() while true do end end while true do Update() end",
         "script main ran past its time limit"},
        // The real cap.
        {"memory", "local s = 'x' while true do s = s .. s end", "main: not enough memory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.when);
        std::filesystem::remove("Data/game.dat");
        std::filesystem::remove("config.cfg");
        WriteScript("main", c.source);
        WriteFile("Data/Scripts/list.dat", "main t_system\n");
        LogCapture log;
        EXPECT_EQ(Play("0 launcher start\n5 close\n"), 0);
        EXPECT_TRUE(std::filesystem::exists("Data/game.dat"));
        EXPECT_TRUE(std::filesystem::exists("config.cfg"));
        EXPECT_TRUE(Logged(log, c.logged));
    }
}

TEST_F(ScriptStartup, KillAllTasksFromMainEndsTheGame) {
    WriteScript("main", "for i = 1, 3 do Update() end\nKillAllTasks()\nwhile true do Update() end\n");
    WriteFile("Data/Scripts/list.dat", "main t_system\n");
    // The close is only a fallback: the script ends the game long before it.
    EXPECT_EQ(Play("0 launcher start\n200 close\n"), 0);
    EXPECT_EQ(g_FrameCount, 4u);
}

TEST_F(ScriptStartup, WithoutTheMainLoopScriptsAreLeftToTheLeakReport) {
    WriteScript("main", Counter("main"));
    WriteFile("Data/Scripts/list.dat", "main t_system\n");
    LogCapture log;
    EXPECT_EQ(Play("0 launcher exit\n"), 0);
    EXPECT_FALSE(std::filesystem::exists("main.txt"));
    EXPECT_TRUE(Logged(log, "неудаленный объект: класс - CKLuaScript-main"));
    EXPECT_EQ(GetScriptManager(), nullptr);
    EXPECT_TRUE(g_LiveObjects.empty());
}

// Without a renderer or loader its object functions meet a null object and
// do nothing; the real executable's session tests show the ship itself.
TEST_F(ScriptStartup, TheSampleMainScriptRunsUntilReleaseAll) {
    struct GameTable {
        GameTable() { InstallGameLuaFunctions(); }
        ~GameTable() { InstallLuaFunctions(KLuaTable::Game, nullptr, 0); }
    } gameTable;
    // Every script the list names, read as the manager reads it.
    const std::filesystem::path sample(KV_SAMPLE_SCRIPTS);
    const std::filesystem::path scripts = std::filesystem::path("Data") / "Scripts";
    const std::string list = ReadFile(sample / "list.dat");
    CKTextReader reader(list.data(), static_cast<int32_t>(list.size()));
    int copied = 0;
    for (std::string line; reader.ReadLine(line); ++copied) {
        const std::string file = ParseScriptListLine(line).name + ".lua";
        std::filesystem::copy_file(sample / file, scripts / file);
    }
    ASSERT_GE(copied, 2) << "main and at least one other";
    std::filesystem::copy_file(sample / "list.dat", scripts / "list.dat");
    LogCapture log;
    auto* manager = new CKScriptManager();
    ASSERT_TRUE(manager->LoadScriptList());
    auto main = manager->GetScript("main");
    ASSERT_TRUE(main);
    ASSERT_TRUE(main->Start());
    for (int i = 0; i < 3; ++i) main->Update();
    EXPECT_FALSE(main->m_finished);
    // Through its states: the table and back, a level, its end, the game's end.
    for (const char* command : {"show_scores", "scores_closed", "new_game", "end_level", "player_dead"}) {
        SCOPED_TRACE(command);
        manager->SendCommandByName("main", command, "");
        main->Update();
        EXPECT_FALSE(main->m_finished);
    }
    delete manager;
    EXPECT_TRUE(main->m_finished);
    EXPECT_FALSE(main->m_stop);
    EXPECT_FALSE(Logged(log, "Ошибка"));
    EXPECT_FALSE(Logged(log, "Ощибка"));
}

}  // namespace
