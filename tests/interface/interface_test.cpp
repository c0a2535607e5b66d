// Interface screens: the .int file (its name, texture, script, light and
// records), the controls' drawing and hover order, the cursor, hover, press
// and release as the input task delivers them, the "button" command, active
// and inactive screens, and the screen drawn in a frame while its texts change.
#include "Input/QPointerEvents.h"

#include "interface_fixture.h"

#include <algorithm>
#include <cmath>

namespace {

// Buttons ok and start with their looks at v = 0 (normal), 20 (over) and
// 40 (pressed); a window frame over start (drawn and hovered before it, by
// the table's order: frame, ok, start, panel), a panel behind everything,
// the cursor, and a text.
constexpr const char* kMenu =
    "menu\n"
    "menu.tga,256,256\n"
    "light,off\n"
    "// the buttons\n"
    "button\n"
    "ok 100,100,60,20,0,0,60,20\n"
    "ok_over 100,100,60,20,0,20,60,20\n"
    "ok_down 100,100,60,20,0,40,60,20\n"
    "button\n"
    "start 100,200,60,20,64,0,60,20\n"
    "start_over 100,200,60,20,64,20,60,20\n"
    "start_down 100,200,60,20,64,40,60,20\n"
    "window\n"
    "frame 150,190,100,50,128,60,16,16\n"
    "window\n"
    "panel 0,0,400,300,128,100,16,16\n"
    "window\n"
    "cursor -2,-3,16,16,240,240,16,16\n"
    "text\n"
    "score f,10,20,AB\n";

class Screens : public InterfaceTest {
protected:
    void SetUp() override {
        InterfaceTest::SetUp();
        WriteFontList("f\ng\n");
        WriteFont("f", GridFont({{"A", 7}, {"B", 6}}));
        WriteFont("g", GridFont({{"A", 2}}));
        WriteTexture("menu.tga", 4, 4, 0xFFFFFFFF);
        WriteTexture("f.tga", 4, 4, 0xFFFFFFFF);
        WriteTexture("g.tga", 4, 4, 0xFFFFFFFF);
        LoadFonts();
    }
    // A menu screen whose script records what it is told, active.
    CKPtr<CKInterface> ActiveMenu() {
        StartScripts({"menu"});
        WriteScreen("menu", kMenu);
        CKPtr<CKInterface> screen = Screen("menu");
        screen->Activate(22);
        EXPECT_EQ(Heard().rfind("add_object(", 0), 0u);
        return screen;
    }
    // The v of each quad's top-left corner in texels, in drawing order.
    static std::string Looks(const CKInterface& screen) {
        std::string looks;
        for (size_t i = 0; i + 3 < screen.vertices.size(); i += 4)
            looks += (looks.empty() ? "" : " ") + std::to_string(std::lround(screen.vertices[i].v0 * 256.0f));
        return looks;
    }
    static CKButton& Button(CKInterface& screen, const std::string& name) {
        CKPtr<CKWindow>* control = screen.controls.Find(name);
        EXPECT_NE(control, nullptr) << name;
        return *static_cast<CKButton*>(control->Get());
    }
    static std::string Hovered(const CKInterface& screen) { return screen.hovered ? screen.hovered->name : "none"; }
    // The input task's seam: every screen gets the event.
    static void Move(float x, float y) { DispatchInterfaceMouseMove(x, y); }
    static void Click(float x, float y, int button = 0) {
        DispatchInterfaceMouseDown(button, x, y);
        DispatchInterfaceMouseUp(button, x, y);
    }
};

// Normal looks: frame 60, ok 0, start 0, panel 100.
constexpr const char* kNormal = "60 0 0 100";

TEST_F(Screens, ReadTheFileOfTheirNameForTheScreenWidth) {
    struct Case {
        int width;
        const char* control;
    } cases[] = {{800, "narrow"}, {1024, "wide"}};
    WriteScreen("menu", "menu\nmenu.tga,1,1\nlight\nwindow\nnarrow 0,0,1,1\n", 800);
    WriteScreen("menu", "menu\nmenu.tga,1,1\nlight\nwindow\nwide 0,0,1,1\n", 1024);
    for (const Case& c : cases) {
        screenWidth = c.width;
        CKPtr<CKInterface> screen = Screen("menu");
        EXPECT_EQ(screen->controls.Size(), 1u) << c.width;
        EXPECT_NE(screen->controls.Find(c.control), nullptr) << c.width;
    }
}

TEST_F(Screens, AFileThatCannotBeReadGivesAnEmptyScreen) {
    // Also a name far longer than any path buffer.
    for (const std::string& name : {std::string("nothing"), std::string(5000, 'x')}) {
        SCOPED_TRACE(name.size());
        CKPtr<CKInterface> screen = Screen(name);
        EXPECT_EQ(screen->GetVerticesReady(), 1);
        EXPECT_TRUE(screen->vertices.empty());
        EXPECT_TRUE(screen->indices.empty());
        EXPECT_FALSE(screen->material);
        EXPECT_EQ(screen->script, nullptr);
        EXPECT_EQ(screen->lightOn, 0);
        EXPECT_TRUE(screen->controls.Empty());
        EXPECT_TRUE(screen->texts.Empty());
        EXPECT_FALSE(screen->cursor);
        EXPECT_TRUE(screen->children.empty());
        EXPECT_EQ(screen->GetClassName(), "CKRenderObject - Interface");
    }
}

TEST_F(Screens, TheLightLine) {
    struct Case {
        const char* line;
        bool on;
    } cases[] = {{"light,on,0,0,1,1,0.5,0.5", true},   {"light, on , 0, 0, 1, 1, 0.5, 0.5", true},
                 {"light,On,0,0,1,1,0.5,0.5", false},  {"light,ON,0,0,1,1,0.5,0.5", false},
                 {"light,off,0,0,1,1,0.5,0.5", false}, {"on", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        WriteScreen("lit", std::string("menu\nmenu.tga,256,256\n") + c.line + "\n");
        CKPtr<CKInterface> screen = Screen("lit");
        EXPECT_EQ(screen->lightOn, c.on ? 1 : 0);
        const D3DLIGHT9& l = screen->light;
        if (!c.on) {
            EXPECT_EQ(l.Type, 0);
            EXPECT_EQ(l.Range, 0.0f);
            continue;
        }
        EXPECT_EQ(l.Type, D3DLIGHT_DIRECTIONAL);
        EXPECT_EQ((std::vector<float>{l.Direction.x, l.Direction.y, l.Direction.z}), (std::vector<float>{0, 0, 1}));
        for (const D3DCOLORVALUE& colour : {l.Diffuse, l.Specular})
            EXPECT_EQ((std::vector<float>{colour.r, colour.g, colour.b, colour.a}),
                      (std::vector<float>{1.0f, 0.5f, 0.5f, 1.0f}));
        EXPECT_EQ((std::vector<float>{l.Ambient.r, l.Ambient.g, l.Ambient.b, l.Ambient.a}),
                  (std::vector<float>{0, 0, 0, 0}));
        EXPECT_EQ(l.Range, 10000.0f);
        // Not set by the line: zero.
        EXPECT_EQ(l.Position.x + l.Position.y + l.Position.z + l.Falloff + l.Attenuation0 + l.Attenuation1 +
                      l.Attenuation2 + l.Theta + l.Phi,
                  0.0f);
    }
}

TEST_F(Screens, TheTextureLineGivesTheMaterialAndTheTexelScale) {
    struct Case {
        const char* line;
        float u, v;  // of a window's corner at texel (64, 32)
    } cases[] = {{"menu.tga,256,128", 0.25f, 0.25f},
                 {"menu.tga, 512 , 64", 0.125f, 0.5f},
                 // Sizes that would divide by zero or give no number read as one texel.
                 {"menu.tga,0,-5", 64.0f, 32.0f},
                 {"menu.tga,nan,inf", 64.0f, 32.0f},
                 {"menu.tga", 64.0f, 32.0f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        WriteScreen("tex", std::string("menu\n") + c.line + "\nlight,off\nwindow\nw 0,0,8,8,64,32,8,8\n");
        CKPtr<CKInterface> screen = Screen("tex");
        ASSERT_EQ(screen->vertices.size(), 4u);
        EXPECT_FLOAT_EQ(screen->vertices[0].u0, c.u);
        EXPECT_FLOAT_EQ(screen->vertices[0].v0, c.v);
        EXPECT_TRUE(std::isfinite(screen->vertices[2].u0) && std::isfinite(screen->vertices[2].v0));
        ASSERT_TRUE(screen->material);
        EXPECT_EQ(screen->material, GetMaterialManager()->GetMaterial(200, "interface.fx", {"menu.tga"}));
    }
}

TEST_F(Screens, TheFirstLineNamesTheScript) {
    StartScripts({"menu"});
    WriteScreen("menu", kMenu);
    EXPECT_EQ(Screen("menu")->script, scripts[0].Get());
    WriteScreen("other", "nobody\nmenu.tga,256,256\n");
    EXPECT_EQ(Screen("other")->script, nullptr);
}

TEST_F(Screens, RecordsMakeControlsTextsAndTheCursor) {
    WriteScreen("recs",
                "menu\nmenu.tga,256,256\nlight,off\n"
                "WINDOW\nCursor 1,1,2,2\n"
                "Button\nb 0,0,4,4\nb2 0,0,4,4\nb3 0,0,4,4\n"
                "stray line\nimage\n"
                "window\nsame 0,0,1,1\nwindow\nsame 5,5,1,1\n"
                "window\ncursor 10,20,16,8,0,0,16,8\n"
                "text\nscore f,10,20,AB\n");
    CKPtr<CKInterface> screen = Screen("recs");
    EXPECT_EQ(screen->controls.Size(), 3u);
    ASSERT_NE(screen->controls.Find("Cursor"), nullptr);  // only "cursor" makes the cursor
    EXPECT_EQ((*screen->controls.Find("Cursor"))->GetClassName(), "CKWindow");
    EXPECT_EQ((*screen->controls.Find("b"))->GetClassName(), "CKButton");
    // A later control of the same name replaces the earlier.
    EXPECT_FLOAT_EQ((*screen->controls.Find("same"))->vertices[0].x, 5.5f);
    EXPECT_EQ(screen->controls.Find("cursor"), nullptr);

    ASSERT_TRUE(screen->cursor);
    const CKRenderObject& cursor = *screen->cursor;
    EXPECT_EQ(cursor.name, "cursor");
    ASSERT_EQ(cursor.vertices.size(), 4u);
    EXPECT_FLOAT_EQ(cursor.vertices[0].x, 10.5f);
    EXPECT_FLOAT_EQ(cursor.vertices[2].y, 28.5f);
    EXPECT_EQ(cursor.indices, (std::vector<uint16_t>{0, 1, 2, 0, 2, 3}));
    EXPECT_EQ(cursor.worldVertices.size(), 4u);
    EXPECT_EQ(cursor.material, screen->material);
    ASSERT_EQ(cursor.obbs.size(), 1u);
    EXPECT_EQ((std::vector<float>{cursor.obbs[0]->centre.x, cursor.obbs[0]->centre.y, cursor.obbs[0]->centre.z}),
              (std::vector<float>{18.5f, 24.5f, 0.0f}));
    EXPECT_EQ((std::vector<float>{cursor.obbs[0]->half.x, cursor.obbs[0]->half.y, cursor.obbs[0]->half.z}),
              (std::vector<float>{8.0f, 4.0f, 0.0f}));

    ASSERT_EQ(screen->texts.Size(), 1u);
    const SKInterfaceText& score = *screen->texts.Find("score");
    EXPECT_EQ(score.font, "f");
    EXPECT_FLOAT_EQ(score.x, 10.5f);
    EXPECT_FLOAT_EQ(score.y, 20.5f);
    EXPECT_EQ(score.object->name, "text");
    EXPECT_EQ(score.object->vertices.size(), 8u);
    EXPECT_FLOAT_EQ(score.object->vertices[0].x, 10.5f);
    // Children in file order, their parent link not set.
    ASSERT_EQ(screen->children.size(), 2u);
    EXPECT_EQ(screen->children[0], screen->cursor);
    EXPECT_EQ(screen->children[1], score.object);
    EXPECT_EQ(score.object->parent, nullptr);
}

TEST_F(Screens, TextLinesAreSplitAtTheirFirstTwoSpaces) {
    struct Case {
        const char* line;
        size_t quads;
    } cases[] = {{"t f,0,0,AB AB", 2}, {"t \"f,0,0,AB AB\"", 5}, {"t f,0,0", 0}, {"t", 0}, {"t nofont,0,0,AB", 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        WriteScreen("texts", std::string("menu\nmenu.tga,256,256\nlight,off\ntext\n") + c.line + "\n");
        CKPtr<CKInterface> screen = Screen("texts");
        ASSERT_NE(screen->texts.Find("t"), nullptr);
        EXPECT_EQ(screen->texts.Find("t")->object->vertices.size(), c.quads * 4);
    }
    // A text name given twice: the table keeps the later, both stay children.
    WriteScreen("twice", "menu\nmenu.tga,256,256\nlight,off\ntext\nt f,0,0,A\ntext\nt f,0,50,BB\n");
    CKPtr<CKInterface> screen = Screen("twice");
    EXPECT_EQ(screen->texts.Size(), 1u);
    EXPECT_FLOAT_EQ(screen->texts.Find("t")->y, 50.5f);
    EXPECT_EQ(screen->children.size(), 2u);
}

// ok lies in bucket 83, start in 127 and exit in 54: exit is drawn first
// and takes the hover, whatever the order in the file.
TEST_F(Screens, OverlappingControlsDrawAndHoverInTableOrder) {
    const std::vector<std::vector<std::string>> orders = {
        {"ok", "start", "exit"}, {"start", "exit", "ok"}, {"exit", "ok", "start"}};
    for (const auto& order : orders) {
        std::string file = "menu\nmenu.tga,256,256\nlight,off\nwindow\ncursor 0,0,1,1\n";
        for (const std::string& name : order) {
            const std::string v = name == "exit" ? "10" : name == "ok" ? "20" : "30";
            file += "button\n" + name + " 0,0,50,50,0," + v + ",1,1\n" + name + "_over 0,0,50,50,0,100,1,1\n" + name +
                    "_down 0,0,50,50,0,150,1,1\n";
        }
        WriteScreen("overlap", file);
        CKPtr<CKInterface> screen = Screen("overlap");
        EXPECT_EQ(Looks(*screen), "10 20 30");
        EXPECT_EQ(screen->indices, (std::vector<uint16_t>{0, 1, 2, 0, 2, 3, 4, 5, 6, 4, 6, 7, 8, 9, 10, 8, 10, 11}));
        screen->Activate(22);
        Move(25, 25);
        EXPECT_EQ(Hovered(*screen), "exit");
        EXPECT_EQ(Looks(*screen), "100 20 30");
    }
}

TEST_F(Screens, TheCursorFollowsTheMouseOfAnActiveScreen) {
    WriteScreen("menu", kMenu);
    CKPtr<CKInterface> screen = Screen("menu");
    CKRenderObject& cursor = *screen->cursor;
    Move(300, 250);  // inactive: ignored
    EXPECT_EQ(cursor.GetTransformSet(), 0);
    screen->Activate(22);
    for (const auto& [x, y] : std::vector<std::pair<float, float>>{{300, 250}, {0, 0}, {799, 599}}) {
        Move(x, y);
        EXPECT_FLOAT_EQ(cursor.worldMatrix._41, x);
        EXPECT_FLOAT_EQ(cursor.worldMatrix._42, y);
        cursor.TransformVertices();
        // The file's x and y (plus 0.5) are the image's offset from the mouse point.
        EXPECT_FLOAT_EQ(cursor.worldVertices[0].x, x - 1.5f);
        EXPECT_FLOAT_EQ(cursor.worldVertices[0].y, y - 2.5f);
        EXPECT_FLOAT_EQ(cursor.box.centre.x, x + 6.5f);
        EXPECT_FLOAT_EQ(cursor.box.centre.y, y + 5.5f);
    }
    screen->Deactivate();
    Move(10, 10);
    EXPECT_FLOAT_EQ(cursor.worldMatrix._41, 799.0f);
}

TEST_F(Screens, WithoutACursorNothingIsHovered) {
    WriteScreen("bare", "menu\nmenu.tga,256,256\nlight,off\nbutton\nok 0,0,50,50\nok2 0,0,50,50\nok3 0,0,50,50\n");
    CKPtr<CKInterface> screen = Screen("bare");
    screen->Activate(22);
    Move(10, 10);
    Click(10, 10);
    EXPECT_EQ(Hovered(*screen), "none");
    EXPECT_EQ(Button(*screen, "ok").state, CKButton::kNormal);
}

TEST_F(Screens, TheHoveredButtonShowsItsOverLook) {
    CKPtr<CKInterface> screen = ActiveMenu();
    EXPECT_EQ(Looks(*screen), kNormal);
    struct Step {
        float x, y;
        const char* hovered;
        const char* looks;
    } steps[] = {
        {110, 110, "ok", "60 20 0 100"},
        {159, 119, "ok", "60 20 0 100"},
        {105, 205, "start", "60 0 20 100"},
        {155, 205, "start", "60 0 20 100"},  // inside the frame too, but start keeps the hover
        {300, 280, "panel", kNormal},
        {500, 500, "none", kNormal},
        {155, 205, "frame", kNormal},  // the frame comes first in the table
        {110, 110, "ok", "60 20 0 100"},
        {500, 500, "none", kNormal},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(std::to_string(s.x) + "," + std::to_string(s.y));
        Move(s.x, s.y);
        EXPECT_EQ(Hovered(*screen), s.hovered);
        EXPECT_EQ(Looks(*screen), s.looks);
    }
    // Moving within the hovered control rebuilds nothing.
    Move(110, 110);
    screen->vertices.clear();
    Move(120, 115);
    EXPECT_TRUE(screen->vertices.empty());
}

TEST_F(Screens, HiddenControlsAreNeitherDrawnNorHoveredDisabledOnesAreDrawnOnly) {
    CKPtr<CKInterface> screen = ActiveMenu();
    screen->SetControlVisible("ok", false);
    EXPECT_EQ(Looks(*screen), kNormal);  // no rebuild of its own
    screen->Rebuild();
    EXPECT_EQ(Looks(*screen), "60 0 100");
    Move(110, 110);
    EXPECT_EQ(Hovered(*screen), "panel");

    screen->SetControlVisible("ok", true);
    Button(*screen, "ok").SetEnabled(false);
    EXPECT_EQ(Looks(*screen), kNormal);
    Move(500, 500);
    Move(110, 110);
    EXPECT_EQ(Hovered(*screen), "panel");
    EXPECT_EQ(Looks(*screen), kNormal);

    // A text and a control may share a name; unknown names do nothing.
    WriteScreen("shared", "menu\nmenu.tga,256,256\nlight,off\nwindow\nscore 0,0,5,5\ntext\nscore f,0,0,A\n");
    CKPtr<CKInterface> shared = Screen("shared");
    shared->SetControlVisible("score", false);
    EXPECT_EQ((*shared->controls.Find("score"))->visible, 0);
    EXPECT_EQ(shared->texts.Find("score")->object->visible, 0);
    shared->SetControlVisible("nothing", false);
    shared->SetControlText("nothing", "A");
}

TEST_F(Screens, AClickOnAButtonTellsTheScreensScript) {
    CKPtr<CKInterface> screen = ActiveMenu();
    Move(110, 110);
    DispatchInterfaceMouseDown(0, 110, 110);
    EXPECT_EQ(Looks(*screen), "60 40 0 100");
    EXPECT_EQ(Heard(), "");
    DispatchInterfaceMouseUp(0, 110, 110);
    EXPECT_EQ(Looks(*screen), "60 20 0 100");
    EXPECT_EQ(Heard(), "button(ok)");

    // Released outside the button it was pressed on: no click.
    DispatchInterfaceMouseDown(0, 110, 110);
    DispatchInterfaceMouseUp(0, 300, 280);
    EXPECT_EQ(Looks(*screen), kNormal);
    EXPECT_EQ(Heard(), "");
}

TEST_F(Screens, TheReleaseCountsWhereverThePressBegan) {
    CKPtr<CKInterface> screen = ActiveMenu();
    struct Case {
        const char* what;
        float downX, downY;
    } cases[] = {{"pressed on ok", 110, 110}, {"pressed outside", 500, 500}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Move(500, 500);
        Move(c.downX, c.downY);
        DispatchInterfaceMouseDown(0, c.downX, c.downY);
        Move(105, 205);
        EXPECT_EQ(Looks(*screen), "60 0 20 100");  // ok let go when the cursor left it
        DispatchInterfaceMouseUp(0, 105, 205);
        EXPECT_EQ(Heard(), "button(start)");
        EXPECT_EQ(Looks(*screen), "60 0 20 100");
    }
}

TEST_F(Screens, RightAndMiddleButtonsChangeNothing) {
    CKPtr<CKInterface> screen = ActiveMenu();
    Move(110, 110);
    for (int button : {1, 2}) {
        screen->vertices.clear();
        Click(110, 110, button);
        EXPECT_TRUE(screen->vertices.empty()) << button;  // not rebuilt
        EXPECT_EQ(Button(*screen, "ok").state, CKButton::kOver);
    }
    EXPECT_EQ(Heard(), "");
}

// As the engine's LockButton and UnlockButton do it.
TEST_F(Screens, ALockedHoveredButtonShowsNormalAndTakesNoHover) {
    CKPtr<CKInterface> screen = ActiveMenu();
    Move(110, 110);
    CKButton& ok = Button(*screen, "ok");
    ok.SetEnabled(false);
    EXPECT_EQ(Looks(*screen), kNormal);  // at once
    screen->hovered->OnMouseLeave(0, 0);
    screen->hovered = nullptr;
    Move(115, 115);
    EXPECT_EQ(Hovered(*screen), "panel");
    Click(115, 115);
    EXPECT_EQ(Heard(), "");

    ok.SetEnabled(true);
    EXPECT_EQ(ok.state, CKButton::kNormal);
    Move(500, 500);
    Move(115, 115);
    EXPECT_EQ(Hovered(*screen), "ok");
    Click(115, 115);
    EXPECT_EQ(Heard(), "button(ok)");
}

TEST_F(Screens, ADeactivatedScreenStillTakesClicksOnItsHoveredControl) {
    CKPtr<CKInterface> screen = ActiveMenu();
    Move(110, 110);
    screen->Deactivate();
    EXPECT_EQ(screen->active, 0);
    EXPECT_EQ(Heard().rfind("delete_object(", 0), 0u);
    Move(500, 500);  // ignored: ok stays hovered
    EXPECT_EQ(Hovered(*screen), "ok");
    Click(110, 110);
    EXPECT_EQ(Heard(), "button(ok)");
}

TEST_F(Screens, ActivatingAScreenTellsEveryScreenWhereTheCursorIs) {
    input = new CQInput();
    input->m_cursor[0] = 110;
    input->m_cursor[1] = 110;
    WriteScreen("menu", kMenu);
    CKPtr<CKInterface> first = Screen("menu");
    CKPtr<CKInterface> second = Screen("menu");
    first->Activate(22);
    EXPECT_EQ(Hovered(*first), "ok");
    input->m_cursor[0] = 105;
    input->m_cursor[1] = 205;
    second->Activate(22);
    EXPECT_EQ(Hovered(*first), "start");
    EXPECT_EQ(Hovered(*second), "start");
    EXPECT_FLOAT_EQ(first->cursor->worldMatrix._41, 105.0f);
}

TEST_F(Screens, EveryScreenIsListedInCreationOrderUntilItGoes) {
    ASSERT_NE(g_InterfaceList, nullptr);
    const size_t before = g_InterfaceList->size();
    CKPtr<CKInterface> a = Screen("none"), b = Screen("none");
    ASSERT_EQ(g_InterfaceList->size(), before + 2);
    EXPECT_EQ(*std::prev(g_InterfaceList->end(), 2), a.Get());
    EXPECT_EQ(g_InterfaceList->back(), b.Get());
    a = nullptr;
    screens.clear();
    CollectAll();
    ASSERT_EQ(g_InterfaceList->size(), before + 1);
    EXPECT_EQ(g_InterfaceList->back(), b.Get());
}

class DrawnScreens : public Screens {
protected:
    void SetUp() override {
        Screens::SetUp();
        // The renderer's dynamic block uploads from its second frame on.
        Frame();
    }
    // The draw whose first vertex lies at x (left edges tell the objects apart).
    static const platform::RecordedDraw* DrawAt(float x) {
        for (const platform::RecordedDraw& d : LastDraws())
            if (d.VertexCount() > 0 && d.VertexAt(0).x == x) return &d;
        return nullptr;
    }
};

TEST_F(DrawnScreens, ASubmittedScreenIsDrawnWithItsTextsCursorAndLight) {
    WriteScreen("menu", std::string(kMenu).replace(std::string(kMenu).find("light,off"), 9, "light,on,0,0,1,1,1,1"));
    CKPtr<CKInterface> screen = Screen("menu");
    screen->Activate(22);
    Move(300, 250);
    screen->SubmitToRender();
    Frame();
    EXPECT_TRUE(R().frames.back().violations.empty());
    // The screen's quads with the cursor (one material), then the text.
    ASSERT_EQ(LastDraws().size(), 2u);
    const platform::RecordedDraw& quads = LastDraws()[0];
    EXPECT_EQ(quads.VertexCount(), 20u);
    EXPECT_FLOAT_EQ(quads.VertexAt(16).x, 298.5f);  // the cursor, at the mouse
    EXPECT_EQ(LastDraws()[1].VertexCount(), 8u);
    EXPECT_FLOAT_EQ(LastDraws()[1].VertexAt(0).x, 10.5f);
    ASSERT_EQ(quads.state.lightCount, 1u);
    EXPECT_EQ(quads.state.lights[0].Type, D3DLIGHT_DIRECTIONAL);

    // Drawn only in the frames it is submitted in.
    Frame();
    EXPECT_TRUE(LastDraws().empty());
}

// The screen is filed into the dynamic block with its text, whose geometry
// then changes before the frame is drawn: the frame reserves what the text
// holds when it is drawn, draws it whole or not at all, and writes nothing
// past the block's buffer or into another material's space.
TEST_F(DrawnScreens, ATextThatGrowsAfterItWasSubmittedNeverWritesPastItsSpace) {
    struct Case {
        size_t bytes;
        bool drawn;
    } cases[] = {{8, true}, {16383, false}, {40000, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        // Two windows ahead of the text, a text of another font after it.
        WriteScreen("grow",
                    "menu\nmenu.tga,256,256\nlight,off\nwindow\na 0,0,8,8,0,0,8,8\nwindow\nb 10,0,8,8,0,0,8,8\n"
                    "text\nscore f,100,0,A\ntext\nlives g,300,0,AA\n");
        CKPtr<CKInterface> screen = Screen("grow");
        screen->SubmitToRender();
        screen->SetControlText("score", std::string(c.bytes, 'B'));
        Frame();
        const CKIVertexBuffer& buffer = *render->GetDynamicBlock()->m_buffer;
        EXPECT_LE(buffer.m_verticesWritten, buffer.m_vertexCapacity);
        EXPECT_LE(buffer.m_indicesWritten, buffer.m_indexCapacity);
        EXPECT_TRUE(R().frames.back().violations.empty());
        const platform::RecordedDraw* windows = DrawAt(0.5f);
        const platform::RecordedDraw* score = DrawAt(100.5f);
        const platform::RecordedDraw* lives = DrawAt(300.5f);
        ASSERT_NE(windows, nullptr);
        ASSERT_NE(lives, nullptr);
        EXPECT_EQ(windows->VertexCount(), 8u);
        EXPECT_EQ(lives->VertexCount(), 8u);
        EXPECT_FLOAT_EQ(lives->VertexAt(7).x, 300.5f + 4.0f);
        EXPECT_EQ(LastDraws().size(), c.drawn ? 3u : 2u);
        if (!c.drawn) continue;
        ASSERT_NE(score, nullptr);
        EXPECT_EQ(score->VertexCount(), c.bytes * 4);
        EXPECT_EQ(score->primitiveCount, c.bytes * 2);
        EXPECT_FLOAT_EQ(score->VertexAt(c.bytes * 4 - 3).x, 100.5f + 8.0f * static_cast<float>(c.bytes));
    }
}

}  // namespace
