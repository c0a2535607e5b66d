// The script manager: the script list, parameter strings, queueing and the
// "release_all" pass.
#include "script/KScriptManager.h"

#include "core/KTextReader.h"
#include "script/KLuaScript.h"

#include "script_fixture.h"
#include "support/test_objects.h"

#include <algorithm>
#include <deque>
#include <random>

namespace {

class ScriptManager : public ScriptTest {
protected:
    void TearDown() override {
        delete GetScriptManager();
        ScriptTest::TearDown();
    }
    CKScriptManager& Load(const std::string& list, bool expected = true) {
        WriteFile("Data/Scripts/list.dat", list);
        auto* manager = new CKScriptManager();
        EXPECT_EQ(manager->LoadScriptList(), expected);
        return *manager;
    }
    // The live scripts of that name, whether filed by name or not.
    static std::vector<CKLuaScript*> LiveScripts(const std::string& name) {
        std::vector<CKLuaScript*> found;
        for (IKMMObject* object : g_LiveObjects)
            if (auto* script = dynamic_cast<CKLuaScript*>(object); script && script->m_name == name)
                found.push_back(script);
        return found;
    }
    static std::vector<std::string> Queue(const CKLuaScript& script) {
        std::vector<std::string> names;
        for (const SKCommand& c : script.m_commands) names.push_back(c.command);
        return names;
    }
};

TEST(ScriptList, LinesLowerCaseNamesAndCategoriesButNotTypeKeywords) {
    const struct {
        const char* line;
        const char* name;
        int32_t type;
        std::vector<std::string> categories;
    } cases[] = {
        {"Main t_level Interface Player", "main", kScriptTypeLevel, {"interface", "player"}},
        {"main T_LEVEL", "main", 0, {}},
        {"menu t_interface", "menu", kScriptTypeInterface, {}},
        {"game t_system ACTION_listener", "game", kScriptTypeSystem, {"action_listener"}},
        {"\"Big Boss\" t_level \" Two Words \"", "big boss", kScriptTypeLevel, {"two words"}},
        {"Solo", "solo", 0, {}},
        {"x other", "x", 0, {}},
    };
    for (const auto& c : cases) {
        const SKScriptListLine entry = ParseScriptListLine(c.line);
        EXPECT_EQ(entry.name, c.name) << c.line;
        EXPECT_EQ(entry.type, c.type) << c.line;
        EXPECT_EQ(entry.categories, c.categories) << c.line;
    }
}

TEST(CommandParams, SplitOnCommasWithQuotesAndTrimmed) {
    const struct {
        const char* params;
        std::vector<std::string> expected;
    } cases[] = {
        {"a, b", {"a", "b"}},
        {"\"x,y\", z", {"x,y", "z"}},
        {"", {}},
        {"   ", {}},
        {" 12 ,0.5,enemy ", {"12", "0.5", "enemy"}},
        {"a,,b", {"a", "", "b"}},
        {"a,", {"a"}},
    };
    for (const auto& c : cases) EXPECT_EQ(SplitCommandParams(c.params), c.expected) << c.params;
}

TEST(CommandParams, SplitAsTheTokenizerSplitsOnCommas) {
    std::vector<std::string> texts = {
        "a, ,b",
        " , ",
        "\"\"",
        "\"a\"\"b\"",
        "\"open, no close",
        "x\"y\"z, w",
        "\"\",\"\"",
        "\t a \t,\r\n",
        ",",
        ",,",
        ",a",
        "a\"\"b",
        "\" \"",
        "\" spaced \" , x",
        std::string("a\0b,\0", 5),
    };
    // Short texts over the characters that matter, every one compared.
    std::mt19937 random(17);
    const char alphabet[] = {'a', ',', '"', ' ', '\t', '\r', '\n', '\0'};
    for (int i = 0; i < 3000; ++i) {
        std::string text(random() % 10, ' ');
        for (char& c : text) c = alphabet[random() % sizeof alphabet];
        texts.push_back(text);
    }
    for (const std::string& text : texts) EXPECT_EQ(SplitCommandParams(text), SplitTokens(text, ",")) << text;
}

TEST(CommandSlot, AFilledAgainRecordKeepsNothingOfTheCommandBefore) {
    const struct {
        const char* command;
        const char* params;
    } sends[] = {
        {"a command name longer than a short string", "first parameter of some length, 2, third one is long too, 4, 5"},
        {"b", "x"},
        {"c", ""},
        {"d", "1, \"two, with a comma\", 3, 4, 5, 6"},
        {"level_move", "-0.016667"},
        {"e", "p,q"},
    };
    SKCommandSlot slot;
    for (const auto& send : sends) {
        slot.Assign(send.command, send.params);
        EXPECT_EQ(slot.record.command, send.command);
        EXPECT_EQ(slot.record.params, SplitCommandParams(send.params)) << send.command;
    }
    // A copy of another record, as each receiver of a command takes it.
    SKCommandSlot other;
    for (const auto& send : sends) {
        other.Assign(send.command, send.params);
        slot.Assign(other.record);
        EXPECT_EQ(slot.record.command, other.record.command);
        EXPECT_EQ(slot.record.params, other.record.params);
    }
    slot.Assign(slot.record);
    EXPECT_EQ(slot.record.params, other.record.params);
}

TEST(CommandQueue, KeepsTheOrderOfArrivalWhileItGrowsAndWrapsRound) {
    CKCommandQueue queue;
    std::deque<std::string> model;  // newest at the front, as the queue
    int next = 0;
    const auto check = [&](int step) {
        ASSERT_EQ(queue.size(), model.size()) << step;
        std::vector<std::string> names;
        for (const SKCommand& c : queue) {
            names.push_back(c.command);
            // Each record's parameter travels with its own command.
            ASSERT_EQ(c.params, std::vector<std::string>{"p" + c.command}) << step;
        }
        EXPECT_EQ(names, std::vector<std::string>(model.begin(), model.end())) << step;
        if (!model.empty()) {
            EXPECT_EQ(queue.front().command, model.front());
            EXPECT_EQ(queue.back().command, model.back());
        }
    };
    for (int step = 0; step < 200; ++step) {
        // Bursts that outgrow the ring now and then, between drains.
        const int pushes = step % 37 == 0 ? 20 : 1 + step % 3;
        for (int i = 0; i < pushes; ++i) {
            const std::string name = std::to_string(next++);
            queue.push_front({name, {"p" + name}});
            model.push_front(name);
        }
        check(step);
        for (int i = 0; i < step % 5 && !model.empty(); ++i) {
            queue.pop_back();
            model.pop_back();
        }
        check(step);
    }
    // The oldest record stays where it is while the ring grows round it.
    const SKCommand* oldest = &queue.back();
    const std::string name = oldest->command;
    for (int i = 0; i < 100; ++i) queue.push_front({"more", {"pmore"}});
    EXPECT_EQ(&queue.back(), oldest);
    EXPECT_EQ(oldest->command, name);
    queue.clear();
    EXPECT_TRUE(queue.empty());
    EXPECT_EQ(queue.begin(), queue.end());
}

TEST_F(ScriptManager, ListFilesScriptsByLowerCaseNameTypeAndCategory) {
    WriteScript("main", kRecordingLoop);
    WriteScript("second", kRecordingLoop);
    WriteScript("broken", "while true do");  // compiles badly, still filed
    CKScriptManager& manager = Load("// the list\nMain t_level Interface Player\nsecond t_system player\nbroken\n");
    auto main = manager.GetScript("main");
    auto second = manager.GetScript("second");
    ASSERT_TRUE(main && second);
    EXPECT_TRUE(manager.GetScript("broken"));
    EXPECT_FALSE(manager.GetScript("Main"));
    EXPECT_EQ(main->m_type, kScriptTypeLevel);
    EXPECT_EQ(second->m_type, kScriptTypeSystem);
    main->Start();
    second->Start();
    manager.SendCommandByCategory("player", "p", "");
    manager.SendCommandByCategory("interface", "i", "");
    manager.SendCommandByCategory("Player", "lost", "");
    manager.SendCommandByName("second", "n", "1,2");
    manager.SendCommandByObject(main, "o", "");
    EXPECT_EQ(Queue(*main), (std::vector<std::string>{"o", "i", "p"}));
    EXPECT_EQ(Queue(*second), (std::vector<std::string>{"n", "p"}));
    EXPECT_EQ(second->m_commands.front().params, (std::vector<std::string>{"1", "2"}));
}

TEST_F(ScriptManager, EachCommandReachesItsReceiversWithItsOwnParametersOnly) {
    WriteScript("a", kRecordingLoop);
    WriteScript("b", kRecordingLoop);
    CKScriptManager& manager = Load("a t_level both\nb t_level both\n");
    auto a = manager.GetScript("a"), b = manager.GetScript("b");
    a->Start();
    b->Start();
    const std::string longText = "a parameter longer than any short string";
    for (int round = 0; round < 12; ++round) {
        manager.SendCommandByCategory("both", "many", "1, " + longText + ", 3");
        manager.SendCommandByName("a", "one", std::to_string(round));
        manager.SendCommandByObject(b, "none", "");
        a->Update();
        b->Update();
    }
    const std::string many = "many(1|" + longText + "|3)";
    std::string seenByA, seenByB;
    for (int round = 0; round < 12; ++round) {
        seenByA += many + "one(" + std::to_string(round) + ")";
        seenByB += many + "none()";
    }
    EXPECT_EQ(Global(*a, "seen"), seenByA);
    EXPECT_EQ(Global(*b, "seen"), seenByB);
}

TEST_F(ScriptManager, ASecondLineOfTheSameNameReplacesTheFirstInTheNameTableOnly) {
    WriteScript("a", kRecordingLoop);
    CKScriptManager& manager = Load("a t_level x\nA t_system y\n");
    auto second = manager.GetScript("a");
    ASSERT_TRUE(second);
    EXPECT_EQ(second->m_type, kScriptTypeSystem);
    const auto scripts = LiveScripts("a");
    ASSERT_EQ(scripts.size(), 2u);
    CKLuaScript* first = scripts[0] == second.Get() ? scripts[1] : scripts[0];
    EXPECT_EQ(first->GetRefCount(), 1);  // held by its category alone
    first->Start();
    second->Start();
    manager.SendCommandByCategory("x", "to_x", "");
    manager.SendCommandByCategory("y", "to_y", "");
    EXPECT_EQ(Queue(*first), (std::vector<std::string>{"to_x"}));
    EXPECT_EQ(Queue(*second), (std::vector<std::string>{"to_y"}));
}

TEST_F(ScriptManager, AMissingListOrScriptFileStopsTheLoad) {
    CKScriptManager* none = new CKScriptManager();
    EXPECT_FALSE(none->LoadScriptList());
    EXPECT_FALSE(none->GetScript("main"));
    delete none;

    WriteScript("one", "");
    WriteScript("three", "");
    CKScriptManager& manager = Load("one\nmissing\nthree\n", false);
    EXPECT_TRUE(manager.GetScript("one"));
    EXPECT_FALSE(manager.GetScript("missing"));
    EXPECT_FALSE(manager.GetScript("three"));
    CollectGarbage();
    EXPECT_TRUE(LiveScripts("missing").empty());  // dropped with its line
}

// Each line costs a Lua state: the first 4,096 are loaded, the rest refused.
TEST_F(ScriptManager, AListOfMoreThan4096ScriptsLoadsTheFirst4096AndSaysSo) {
    WriteScript("filler", "");
    WriteScript("last", "");
    WriteScript("over", "");
    std::string list;
    for (int i = 1; i < 4096; ++i) list += "filler\n";
    list += "last\nover\n";
    LogCapture log;
    CKScriptManager& manager = Load(list, false);
    EXPECT_TRUE(manager.GetScript("last"));
    EXPECT_FALSE(manager.GetScript("over"));
    EXPECT_TRUE(std::any_of(log.lines.begin(), log.lines.end(), [](const std::string& l) {
        return l.find("list.dat: more than 4096 scripts, the rest are not loaded") != std::string::npos;
    }));
}

TEST_F(ScriptManager, CommandsToScriptsThatAreNotRunningAreLost) {
    WriteScript("a", kRecordingLoop);
    CKScriptManager& manager = Load("a t_level c\n");
    auto a = manager.GetScript("a");
    manager.SendCommandByName("a", "early", "");
    manager.SendCommandByCategory("c", "early", "");
    manager.SendCommandByObject(a, "early", "");
    manager.SendCommandByObject(nullptr, "nobody", "");
    manager.SendCommandByName("nobody", "x", "");
    manager.SendCommandByCategory("nobody", "x", "");
    a->Start();
    EXPECT_TRUE(a->m_commands.empty());  // not delivered on start either
    a->Update();
    a->Stop();
    manager.SendCommandByName("a", "late", "");
    EXPECT_TRUE(a->m_commands.empty());
    a->Start();
    manager.SendCommandByName("a", "now", "");
    EXPECT_EQ(Queue(*a), (std::vector<std::string>{"now"}));
}

// A script whose body has returned never reads a command again, started
// anew or not: what is sent to it is dropped (the level sends its player
// "level_move" every frame), without a report.
TEST_F(ScriptManager, CommandsToAScriptWhoseBodyHasReturnedAreDropped) {
    WriteScript("done", "SetNextCommand(globalObject)");
    WriteScript("live", "while true do Update() end");
    CKScriptManager& manager = Load("done t_level player\nlive t_level player\n");
    auto done = manager.GetScript("done");
    auto live = manager.GetScript("live");
    for (auto& script : {done, live}) {
        ASSERT_TRUE(script->Start());
        script->Update();
    }
    ASSERT_EQ(done->m_chunkReturned, 1);
    ASSERT_EQ(done->m_running, 1);
    LogCapture log;
    for (int i = 0; i < 200; ++i) {
        manager.SendCommandByObject(done, "level_move", "0.016667");
        manager.SendCommandByName("done", "level_move", "0.016667");
        manager.SendCommandByCategory("player", "level_move", "0.016667");
    }
    EXPECT_TRUE(done->m_commands.empty());
    EXPECT_EQ(live->m_commands.size(), 200u);  // the live one still gets its own and reports the pile
    EXPECT_GT(std::count(log.lines.begin(), log.lines.end(), "Слишком много команд для скрипта - live\n"), 0);
    EXPECT_EQ(std::count(log.lines.begin(), log.lines.end(), "Слишком много команд для скрипта - done\n"), 0);

    done->Stop();
    ASSERT_TRUE(done->Start());
    manager.SendCommandByName("done", "level_move", "0.016667");
    EXPECT_TRUE(done->m_commands.empty());
}

TEST_F(ScriptManager, AQueueAbove100IsReportedAtEveryPushAndDumpedOnceAFrame) {
    WriteScript("busy", "");
    CKScriptManager& manager = Load("busy\n");
    auto busy = manager.GetScript("busy");
    busy->Start();
    LogCapture log;
    for (int i = 0; i < 101; ++i) manager.SendCommandByName("busy", "c" + std::to_string(i), "p,q");
    EXPECT_TRUE(log.lines.empty());  // 100 waiting is not yet too many

    manager.SendCommandByName("busy", "next", "");
    ASSERT_EQ(busy->m_commands.size(), 102u);
    ASSERT_EQ(log.lines.size(), 1u + 101 * 4);
    EXPECT_EQ(log.lines[0], "Слишком много команд для скрипта - busy\n");
    EXPECT_EQ(log.levels[0], 0);
    // Newest first: c100, then down to c0, each with its parameters.
    EXPECT_EQ(std::vector<std::string>(log.lines.begin() + 1, log.lines.begin() + 5),
              (std::vector<std::string>{"c100 :", "p, ", "q, ", "\n"}));
    EXPECT_EQ(log.lines[log.lines.size() - 4], "c0 :");

    // The same frame: the report alone. The next frame: the report and the whole queue again.
    log.lines.clear();
    manager.SendCommandByName("busy", "again", "");
    EXPECT_EQ(log.lines, std::vector<std::string>{"Слишком много команд для скрипта - busy\n"});
    ++g_FrameCount;
    log.lines.clear();
    manager.SendCommandByName("busy", "later", "");
    ASSERT_EQ(log.lines.size(), 1u + 2 * 2 + 101 * 4);  // "again" and "next" have no parameters
    EXPECT_EQ(log.lines[1], "again :");
    EXPECT_EQ(busy->m_queueDumps, 2u);
}

TEST_F(ScriptManager, AFloodOfCommandsIsDumpedOnceAFrameAndNotAtAllToASilentLog) {
    WriteScript("busy", "");
    CKScriptManager& manager = Load("busy\n");
    auto busy = manager.GetScript("busy");
    busy->Start();
    {
        LogCapture log;
        for (int i = 0; i < 2000; ++i) manager.SendCommandByName("busy", "c", "");
        EXPECT_EQ(busy->m_queueDumps, 1u);
        // The 1,899 pushes above 100 each report; one of them dumps 101 records.
        const auto records = std::count(log.lines.begin(), log.lines.end(), "c :");
        EXPECT_EQ(records, 101);
        EXPECT_EQ(log.lines.size(), 1899u + 101 * 2);
    }
    busy->m_commands.clear();
    busy->m_queueDumps = 0;
    ++g_FrameCount;
    // With nobody listening the queue is never walked, however long it grows.
    CKLog::Sink listener = CKLog::Instance().SetSink(nullptr);
    ASSERT_FALSE(CKLog::IsEnabled());
    for (int i = 0; i < 2000; ++i) manager.SendCommandByName("busy", "c", "");
    CKLog::Instance().SetSink(std::move(listener));
    EXPECT_EQ(busy->m_queueDumps, 0u);
    EXPECT_EQ(busy->m_commands.size(), 2000u);
}

TEST_F(ScriptManager, DeletingTheManagerGivesEveryScriptReleaseAllAndOneSlice) {
    const std::string recorder = R"(
while true do
  while SetNextCommand(globalObject) do
    local command = GetCurrentCommand(globalObject)
    -- The manager still delivers while the pass runs.
    if command == "release_all" then SendCommandByName(NAME, "bye", "") end
    seen = (seen or "") .. command .. " "
    local f = io.open(NAME .. ".released", "w")
    f:write(seen)
    f:close()
  end
  Update()
end
)";
    for (const char* name : {"looping", "stopped", "idle", "returned"})
        WriteScript(name, std::string("NAME = '") + name + "'\n" +
                              (std::string(name) == "returned" ? "do return end\n" : "") + recorder);
    CKScriptManager* manager = &Load("looping\nstopped\nidle\nreturned\n");
    auto looping = manager->GetScript("looping"), stopped = manager->GetScript("stopped"),
         idle = manager->GetScript("idle"), returned = manager->GetScript("returned");
    for (auto* s : {&looping, &stopped, &returned}) {
        (*s)->Start();
        (*s)->Update();
    }
    stopped->Stop();  // as closing the game leaves "main": stopped in its loop

    delete manager;
    EXPECT_EQ(GetScriptManager(), nullptr);
    EXPECT_TRUE(std::filesystem::exists("looping.released"));
    EXPECT_TRUE(std::filesystem::exists("stopped.released"));
    EXPECT_FALSE(std::filesystem::exists("idle.released"));
    EXPECT_FALSE(std::filesystem::exists("returned.released"));
    // The stopped script took its last command but, stopped again, no more.
    EXPECT_EQ(ReadFile("looping.released"), "release_all bye ");
    EXPECT_EQ(ReadFile("stopped.released"), "release_all ");
    EXPECT_TRUE(looping->m_running);
    EXPECT_FALSE(stopped->m_running);
    // Never started: nothing to release, nothing queued (a script that another's
    // last slice starts gets its own in a further pass: game.focus_lost_* tests).
    EXPECT_TRUE(Queue(*idle).empty());
    EXPECT_EQ(looping->GetRefCount(), 1);  // only the test's now
}

TEST_F(ScriptManager, AbandonedScriptsStayAliveWithoutAReleaseAllPass) {
    WriteScript("main", "NAME = 'main'\n");
    CKScriptManager* manager = &Load("main t_system c\n");
    CKLuaScript* main = manager->GetScript("main").Get();
    main->Start();
    manager->AbandonScripts();
    delete manager;
    CollectGarbage();
    ASSERT_EQ(LiveScripts("main").size(), 1u);
    EXPECT_GT(main->GetRefCount(), 0);
    EXPECT_TRUE(main->m_commands.empty());
    // What the memory manager's shut-down would do at exit.
    while (!main->IsQueued()) main->Release();
    CollectGarbage();
}

}  // namespace
