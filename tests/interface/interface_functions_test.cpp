// The script functions that drive screens: CreateInterface and the one
// reference it hands over, activation at the screens' priority, drawing in a
// frame, what null and foreign objects and names that are not text do, and
// LockButton, UnlockButton, SetWindowVisible and SetText on a loaded screen.
#include "Input/QPointerEvents.h"
#include "game/KGameLuaFunctions.h"

#include "interface_fixture.h"

#include <algorithm>
#include <cmath>

namespace {

struct Lua : ScriptTest {
    using ScriptTest::Eval;
};

// Table order: 7, score, ok, panel. The buttons ok and 7 show their looks at
// v = 0 (normal), 20 (over) and 40 (pressed); panel lies behind everything;
// "score" names both a window and a text.
constexpr const char* kScreen =
    "menu\n"
    "menu.tga,256,256\n"
    "light,off\n"
    "button\n"
    "ok 100,100,60,20,0,0,60,20\n"
    "ok_over 100,100,60,20,0,20,60,20\n"
    "ok_down 100,100,60,20,0,40,60,20\n"
    "button\n"
    "7 100,200,60,20,64,0,60,20\n"
    "7_over 100,200,60,20,64,20,60,20\n"
    "7_down 100,200,60,20,64,40,60,20\n"
    "window\n"
    "panel 0,0,400,300,128,100,16,16\n"
    "window\n"
    "score 300,0,20,20,128,60,16,16\n"
    "window\n"
    "cursor 0,0,4,4,240,240,4,4\n"
    "text\n"
    "score f,10,20,AB\n"
    "text\n"
    "hint f,10,50,A\n";

class InterfaceFunctions : public InterfaceTest {
protected:
    void SetUp() override {
        InterfaceTest::SetUp();
        InstallGameLuaFunctions();
        WriteFontList("f\n");
        WriteFont("f", GridFont({{"A", 7}, {"B", 6}}));
        WriteTexture("menu.tga", 4, 4, 0xFFFFFFFF);
        WriteTexture("f.tga", 4, 4, 0xFFFFFFFF);
        LoadFonts();
        WriteScreen("menu", kScreen);
        WriteFile(std::filesystem::path("Data") / "Scripts" / "self.lua", kRecordingLoop);
        self = new CKLuaScript();
        ASSERT_EQ(self->Load("self"), S_OK);
    }
    void TearDown() override {
        self = nullptr;
        InstallLuaFunctions(KLuaTable::Game, nullptr, 0);
        InterfaceTest::TearDown();
    }

    // Lua statements in the script's state; they must not fail.
    void Run(const std::string& code) {
        lua_State* L = self->m_state;
        if (luaL_loadstring(L, code.c_str()) != 0 || lua_pcall(L, 0, 0, 0) != 0) {
            ADD_FAILURE() << code << ": " << (lua_tostring(L, -1) ? lua_tostring(L, -1) : "?");
            lua_pop(L, 1);
        }
    }
    std::string Eval(const std::string& code) { return Lua::Eval(self->m_state, code); }
    void SetPointer(const char* name, const void* p) {
        lua_pushlightuserdata(self->m_state, const_cast<void*>(p));
        lua_setglobal(self->m_state, name);
    }
    // The light userdata of a global.
    void* Pointer(const char* name) {
        lua_getglobal(self->m_state, name);
        void* p = lua_touserdata(self->m_state, -1);
        lua_pop(self->m_state, 1);
        return p;
    }
    // A loaded screen, as the global X.
    CKPtr<CKInterface> ScreenAsX() {
        CKPtr<CKInterface> screen = Screen("menu");
        SetPointer("X", screen.Get());
        return screen;
    }

    static CKWindow& Control(CKInterface& screen, const std::string& name) {
        CKPtr<CKWindow>* control = screen.controls.Find(name);
        EXPECT_NE(control, nullptr) << name;
        return **control;
    }
    static int32_t State(CKInterface& screen, const std::string& button) {
        return static_cast<CKButton&>(Control(screen, button)).state;
    }
    static std::string Hovered(const CKInterface& screen) { return screen.hovered ? screen.hovered->name : "none"; }
    // The v of each quad's top-left corner in texels, in drawing order.
    static std::string Looks(const CKInterface& screen) {
        std::string looks;
        for (size_t i = 0; i + 3 < screen.vertices.size(); i += 4)
            looks += (looks.empty() ? "" : " ") + std::to_string(std::lround(screen.vertices[i].v0 * 256.0f));
        return looks;
    }
    // What the name functions change: disabled and hidden controls, each
    // text's quads (a star when hidden), and the screen's own quads.
    static std::string Summary(CKInterface& screen) {
        std::string off, hidden, texts;
        for (auto& entry : screen.controls) {
            if (!entry.value->enabled) off += " " + entry.name;
            if (!entry.value->visible) hidden += " " + entry.name;
        }
        for (const char* name : {"hint", "score"}) {
            const CKRenderObject& text = *screen.texts.Find(name)->object;
            texts +=
                std::string(" ") + name + ":" + std::to_string(text.vertices.size() / 4) + (text.visible ? "" : "*");
        }
        return "off" + off + " | hidden" + hidden + " | texts" + texts + " | quads " +
               std::to_string(screen.vertices.size() / 4);
    }

    CKPtr<CKLuaScript> self;
};

TEST_F(InterfaceFunctions, CreateInterfaceHandsTheScriptsTheOnlyReferenceToTheScreen) {
    struct Case {
        const char* name;
        size_t controls, texts;
    } cases[] = {{"'menu'", 4, 2}, {"'missing'", 0, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Run(std::string("made = CreateInterface(") + c.name + ")");
        ASSERT_EQ(Eval("made"), "ptr");
        auto* screen = dynamic_cast<CKInterface*>(static_cast<IKMMObject*>(Pointer("made")));
        ASSERT_NE(screen, nullptr);
        EXPECT_EQ(screen->GetRefCount(), 1);
        EXPECT_EQ(screen->m_scriptRefs, 1);
        EXPECT_EQ(screen->GetVerticesReady(), 1);  // loaded, or tried to
        EXPECT_EQ(screen->controls.Size(), c.controls);
        EXPECT_EQ(screen->texts.Size(), c.texts);
        EXPECT_EQ(screen->active, 0);
        EXPECT_EQ(screen->inScene, 0);
        EXPECT_EQ(g_InterfaceList->back(), screen);
        // The script's Release is the last: the screen goes.
        Run("Release(made)");
        CollectAll();
        EXPECT_FALSE(IsLiveObject(screen));
        EXPECT_EQ(std::count(g_InterfaceList->begin(), g_InterfaceList->end(), screen), 0);
    }
}

TEST_F(InterfaceFunctions, ActivateInterfaceEntersTheSceneAtPriority22AndDeactivateInterfaceLeavesIt) {
    StartScripts({"menu"});
    input = new CQInput();
    input->m_cursor[0] = 110;
    input->m_cursor[1] = 110;
    Run("X = CreateInterface('menu')");
    CKPtr<CKInterface> screen(static_cast<CKInterface*>(static_cast<IKMMObject*>(Pointer("X"))));
    screens.push_back(screen);

    Run("ActivateInterface(X)");
    EXPECT_EQ(screen->active, 1);
    EXPECT_EQ(screen->inScene, 1);
    EXPECT_EQ(scripts[0]->m_priority, 22);
    EXPECT_EQ(Heard().rfind("add_object(", 0), 0u);
    // The cursor was dispatched: the button under it is hovered.
    EXPECT_EQ(Hovered(*screen), "ok");
    EXPECT_FLOAT_EQ(screen->cursor->worldMatrix._41, 110.0f);

    Run("DeactivateInterface(X)");
    EXPECT_EQ(screen->active, 0);
    EXPECT_EQ(screen->inScene, 0);
    EXPECT_EQ(Heard().rfind("delete_object(", 0), 0u);
    EXPECT_EQ(Hovered(*screen), "ok");
    DispatchInterfaceMouseMove(500, 500);  // ignored now
    EXPECT_FLOAT_EQ(screen->cursor->worldMatrix._41, 110.0f);
}

TEST_F(InterfaceFunctions, UpdateInterfaceDrawsTheScreenInThatFrameOnlyWithItsTextsAsSet) {
    CKPtr<CKInterface> screen = ScreenAsX();
    Frame();  // the dynamic block uploads from its second frame on
    Run("UpdateInterface(X) SetText(X, 'score', 'BAB')");
    Frame();
    EXPECT_TRUE(R().frames.back().violations.empty());
    std::vector<size_t> counts;
    for (const platform::RecordedDraw& d : LastDraws()) counts.push_back(d.VertexCount());
    std::sort(counts.begin(), counts.end());
    // Both texts (3 + 1 quads) in the font's draw; the controls with the cursor.
    EXPECT_EQ(counts, (std::vector<size_t>{16, 20}));

    // Where the file put the text, in its font: B is 8 pixels wide, A 9.
    const CKRenderObject& score = *screen->texts.Find("score")->object;
    ASSERT_EQ(score.vertices.size(), 12u);
    EXPECT_EQ((std::vector<float>{score.vertices[0].x, score.vertices[4].x, score.vertices[8].x, score.vertices[9].x}),
              (std::vector<float>{10.5f, 18.5f, 27.5f, 35.5f}));
    EXPECT_FLOAT_EQ(score.vertices[0].y, 20.5f);
    EXPECT_FLOAT_EQ(score.vertices[2].y, 36.5f);
    EXPECT_EQ(score.worldVertices.size(), 12u);

    Frame();
    EXPECT_TRUE(LastDraws().empty());
}

TEST_F(InterfaceFunctions, NullAndForeignObjectsAreLeftAlone) {
    StartScripts({"menu"});
    CKPtr<CKInterface> screen = Screen("menu");
    screen->Activate(22);
    Heard();
    DispatchInterfaceMouseMove(110, 110);
    const std::string before = Summary(*screen);
    CKInterface* gone = new CKInterface();
    gone->AddRef();
    gone->Release();
    CollectAll();  // its address names nothing now
    SetPointer("gone", gone);
    CKPtr<CKTestObject> other(new CKTestObject());
    SetPointer("other", other.Get());
    int local = 0;
    SetPointer("stray", &local);
    // Render objects that are no screens, one out of the scene, one in it.
    CKPtr<CKRenderObject> idle(new CKRenderObject("idle")), shown(new CKRenderObject("shown"));
    shown->AddToScene(5);
    SetPointer("idle", idle.Get());
    SetPointer("shown", shown.Get());

    const char* calls[] = {
        "UpdateInterface(X)",  "ActivateInterface(X)",  "DeactivateInterface(X)",           "SetText(X, 'score', 'BB')",
        "LockButton(X, 'ok')", "UnlockButton(X, 'ok')", "SetWindowVisible(X, 'ok', false)",
    };
    for (const char* object :
         {"nil", "gone", "stray", "other", "idle", "shown", "globalObject", "42", "'menu'", "{}"}) {
        Run(std::string("X = ") + object);
        for (const char* call : calls)
            EXPECT_EQ(Eval(std::string("select('#', ") + call + ")"), "0") << object << ": " << call;
    }
    EXPECT_TRUE(render->GetDynamicBlock()->m_frame.empty());
    EXPECT_EQ(idle->inScene, 0);
    EXPECT_EQ(shown->inScene, 1);
    EXPECT_EQ(Summary(*screen), before);
    EXPECT_EQ(Hovered(*screen), "ok");
    EXPECT_EQ(screen->active, 1);
    EXPECT_EQ(Heard(), "");
    shown->RemoveFromScene();
}

TEST_F(InterfaceFunctions, LockButtonDropsTheHoverOfWhatItLocksUnlockButtonLeavesTheHoverAlone) {
    CKPtr<CKInterface> screen = ScreenAsX();
    screen->Activate(22);
    DispatchInterfaceMouseMove(110, 110);
    ASSERT_EQ(Hovered(*screen), "ok");
    ASSERT_EQ(State(*screen, "ok"), CKButton::kOver);

    Run("LockButton(X, 'ok')");
    EXPECT_EQ(Control(*screen, "ok").enabled, 0);
    EXPECT_EQ(State(*screen, "ok"), CKButton::kNormal);
    EXPECT_EQ(Hovered(*screen), "none");
    EXPECT_EQ(Looks(*screen), "0 60 0 100");  // 7, score, ok, panel: all normal
    // Disabled, it takes no hover: the panel behind it does.
    DispatchInterfaceMouseMove(115, 115);
    EXPECT_EQ(Hovered(*screen), "panel");
    EXPECT_EQ(State(*screen, "ok"), CKButton::kNormal);

    Run("UnlockButton(X, 'ok')");
    EXPECT_EQ(Control(*screen, "ok").enabled, 1);
    EXPECT_EQ(Hovered(*screen), "panel");
    DispatchInterfaceMouseMove(500, 500);
    DispatchInterfaceMouseMove(115, 115);
    EXPECT_EQ(Hovered(*screen), "ok");
    // Unlocking the hovered button shows it normal and keeps the hover.
    Run("UnlockButton(X, 'ok')");
    EXPECT_EQ(Hovered(*screen), "ok");
    EXPECT_EQ(State(*screen, "ok"), CKButton::kNormal);

    // Locking another control keeps the hover where it is.
    DispatchInterfaceMouseMove(110, 210);
    ASSERT_EQ(Hovered(*screen), "7");
    Run("LockButton(X, 'ok')");
    EXPECT_EQ(Hovered(*screen), "7");
    EXPECT_EQ(State(*screen, "7"), CKButton::kOver);
    // A plain window, locked while hovered, lets the hover go too.
    DispatchInterfaceMouseMove(300, 250);
    ASSERT_EQ(Hovered(*screen), "panel");
    Run("LockButton(X, 'panel')");
    EXPECT_EQ(Hovered(*screen), "none");
    DispatchInterfaceMouseMove(301, 251);
    EXPECT_EQ(Hovered(*screen), "none");
}

// Names are the exact text of a string or number; anything else names
// nothing, and SetWindowVisible rebuilds the screen whatever it names. The
// screen's quads are cleared before each call, so "quads 0" means it was
// not rebuilt.
TEST_F(InterfaceFunctions, NamesAreExactTextAndAnythingElseNamesNothing) {
    const std::string kFresh = "off | hidden | texts hint:1 score:2 | quads ";
    const struct {
        const char* code;
        std::string summary;
    } cases[] = {
        {"LockButton(X, 'ok')", "off ok | hidden | texts hint:1 score:2 | quads 4"},
        {"LockButton(X, 7)", "off 7 | hidden | texts hint:1 score:2 | quads 4"},
        {"LockButton(X, '7')", "off 7 | hidden | texts hint:1 score:2 | quads 4"},
        {"LockButton(X, 'OK')", kFresh + "0"},
        {"LockButton(X, 'ok\\0')", kFresh + "0"},
        {"LockButton(X, nil) LockButton(X, {}) LockButton(X, true) LockButton(X)", kFresh + "0"},
        {"LockButton(X, 'ok') LockButton(X, 7) UnlockButton(X, '7')",
         "off ok | hidden | texts hint:1 score:2 | quads 4"},
        {"LockButton(X, 'ok') UnlockButton(X, {}) UnlockButton(X, 'ok\\0')",
         "off ok | hidden | texts hint:1 score:2 | quads 4"},
        {"SetWindowVisible(X, 'ok', false)", "off | hidden ok | texts hint:1 score:2 | quads 3"},
        {"SetWindowVisible(X, 'hint', false)", "off | hidden | texts hint:1* score:2 | quads 4"},
        {"SetWindowVisible(X, 'score', false)", "off | hidden score | texts hint:1 score:2* | quads 3"},
        {"SetWindowVisible(X, 7, false) SetWindowVisible(X, '7', true)", kFresh + "4"},
        {"SetWindowVisible(X, 'nothing', false)", kFresh + "4"},
        {"SetWindowVisible(X, 'ok\\0', false)", kFresh + "4"},
        {"SetWindowVisible(X, nil, false)", kFresh + "4"},
        {"SetWindowVisible(X, {}, false)", kFresh + "4"},
        {"SetText(X, 'score', 'BBB')", "off | hidden | texts hint:1 score:3 | quads 0"},
        {"SetText(X, 'score', 120)", "off | hidden | texts hint:1 score:3 | quads 0"},
        // Every byte gives a quad, byte 0 too.
        {"SetText(X, 'score', 'A\\0B')", "off | hidden | texts hint:1 score:3 | quads 0"},
        {"SetText(X, 'SCORE', 'BBB') SetText(X, 'score\\0', 'BBB') SetText(X, 'nothing', 'BBB')", kFresh + "0"},
        {"SetText(X, nil, 'BBB') SetText(X, {}, 'BBB')", kFresh + "0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        CKPtr<CKInterface> screen = ScreenAsX();
        screen->vertices.clear();
        Run(c.code);
        EXPECT_EQ(Summary(*screen), c.summary);
    }
}

}  // namespace
