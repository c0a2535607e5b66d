// Windows and buttons on their own: window lines and what a missing field
// reads as, the closed rectangle they hit, the three looks of a button, and
// its states under each mouse event.
#include "core/KTextReader.h"
#include "interface/KWindow.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

// Released controls wait for the end of the main-loop pass: collect them.
class Window : public ::testing::Test {
protected:
    void TearDown() override {
        while (!g_PendingObjects.empty()) CollectGarbage();
    }
};
class Button : public Window {};

CKPtr<CKWindow> LoadWindow(const std::string& text, float tw = 256.0f, float th = 256.0f) {
    CKPtr<CKWindow> window(new CKWindow(nullptr));
    CKTextReader reader(text.data(), static_cast<int32_t>(text.size()));
    EXPECT_TRUE(window->Load(reader, tw, th));
    return window;
}

CKPtr<CKButton> LoadButton(const std::string& text) {
    CKPtr<CKButton> button(new CKButton(nullptr));
    CKTextReader reader(text.data(), static_cast<int32_t>(text.size()));
    EXPECT_TRUE(button->Load(reader, 256.0f, 256.0f));
    return button;
}

// The quad as x0,y0 x2,y2 u0,v0 u2,v2 of vertices 0 and 2.
std::string Quad(const SKVertex* v) {
    auto f = [](float x) {
        std::string s = std::to_string(x);
        s.erase(s.find_last_not_of('0') + 1);
        if (s.back() == '.') s.pop_back();
        return s;
    };
    return f(v[0].x) + "," + f(v[0].y) + " " + f(v[2].x) + "," + f(v[2].y) + " " + f(v[0].u0) + "," + f(v[0].v0) + " " +
           f(v[2].u0) + "," + f(v[2].v0);
}

TEST_F(Window, LinesGiveNameQuadAndTexels) {
    struct Case {
        const char* line;
        const char* name;
        const char* quad;
    } cases[] = {
        {"frame 10,20,64,32,0,128,64,32", "frame", "10.5,20.5 74.5,52.5 0,0.5 0.25,0.625"},
        // Missing numbers read as 0.
        {"short 1,2,3", "short", "1.5,2.5 4.5,2.5 0,0 0,0"},
        {"lonely", "lonely", "0.5,0.5 0.5,0.5 0,0 0,0"},
        {"", "", "0.5,0.5 0.5,0.5 0,0 0,0"},
        {"\"two words\" 1,1,2,2,64,64,64,64", "two words", "1.5,1.5 3.5,3.5 0.25,0.25 0.5,0.5"},
        // Only the second word holds numbers.
        {"gap 1,1,2,2 ,8,8,8,8", "gap", "1.5,1.5 3.5,3.5 0,0 0,0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        CKPtr<CKWindow> window = LoadWindow(c.line);
        EXPECT_EQ(window->name, c.name);
        EXPECT_EQ(Quad(window->GetVertices()), c.quad);
    }
}

TEST_F(Window, QuadCornersRunClockwiseFromTheTopLeftInWhite) {
    CKPtr<CKWindow> window = LoadWindow("frame 10,20,64,32,0,128,64,32");
    const SKVertex* v = window->GetVertices();
    const float expected[4][4] = {{10.5f, 20.5f, 0.0f, 0.5f},
                                  {74.5f, 20.5f, 0.25f, 0.5f},
                                  {74.5f, 52.5f, 0.25f, 0.625f},
                                  {10.5f, 52.5f, 0.0f, 0.625f}};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_FLOAT_EQ(v[i].x, expected[i][0]);
        EXPECT_FLOAT_EQ(v[i].y, expected[i][1]);
        EXPECT_FLOAT_EQ(v[i].z, 0.0f);
        EXPECT_FLOAT_EQ(v[i].u0, expected[i][2]);
        EXPECT_FLOAT_EQ(v[i].v0, expected[i][3]);
        EXPECT_EQ(v[i].diffuse, 0xFFFFFFFFu);
        EXPECT_EQ(v[i].specular, 0u);
        EXPECT_EQ(v[i].nx + v[i].ny + v[i].nz + v[i].u1 + v[i].v1, 0.0f);
    }
    const uint16_t* i = window->GetIndices();
    EXPECT_EQ(std::vector<uint16_t>(i, i + 6), (std::vector<uint16_t>{0, 1, 2, 0, 2, 3}));
}

TEST_F(Window, HitsItsClosedRectangle) {
    CKPtr<CKWindow> window = LoadWindow("frame 10,20,64,32,0,0,64,32");
    struct Case {
        float x, y;
        bool hit;
    } cases[] = {
        {10.5f, 20.5f, true},  {74.5f, 52.5f, true},  {40.0f, 30.0f, true},  {10.4f, 30.0f, false},
        {74.6f, 30.0f, false}, {40.0f, 20.4f, false}, {40.0f, 52.6f, false}, {NAN, 30.0f, false},
    };
    for (const Case& c : cases) EXPECT_EQ(window->HitTest(c.x, c.y), c.hit) << c.x << "," << c.y;
}

TEST_F(Window, PlainWindowsIgnoreTheMouse) {
    CKPtr<CKWindow> window = LoadWindow("frame 0,0,10,10,0,0,10,10");
    const std::string before = Quad(window->GetVertices());
    EXPECT_FALSE(window->OnMouseEnter(5, 5));
    EXPECT_FALSE(window->OnMouseDown(0, 5, 5));
    EXPECT_FALSE(window->OnMouseUp(0, 5, 5));
    EXPECT_FALSE(window->OnMouseLeave(50, 50));
    EXPECT_EQ(Quad(window->GetVertices()), before);
    window->SetEnabled(false);
    EXPECT_EQ(window->enabled, 0);
    window->SetEnabled(true);
    EXPECT_EQ(window->enabled, 1);
}

constexpr const char* kButtonLines =
    "a 10,10,20,20,0,0,20,20\n"
    "b 0,0,100,100,20,0,20,20\n"
    "c 12,12,20,20,40,0,20,20\n";

TEST_F(Button, IsFiledUnderItsNormalLookAndShowsTheLookOfItsState) {
    CKPtr<CKButton> button = LoadButton(kButtonLines);
    EXPECT_EQ(button->name, "a");
    EXPECT_EQ(button->state, CKButton::kNormal);
    const char* looks[] = {"10.5,10.5 30.5,30.5 0,0 0.078125,0.078125",
                           "0.5,0.5 100.5,100.5 0.078125,0 0.15625,0.078125",
                           "12.5,12.5 32.5,32.5 0.15625,0 0.234375,0.078125"};
    for (int32_t state = 0; state < 3; ++state) {
        button->state = state;
        EXPECT_EQ(Quad(button->GetVertices()), looks[state]) << state;
        EXPECT_EQ(button->GetIndices()[2], 2);
    }
}

// The over look covers 0..100, the normal one only 10.5..30.5.
TEST_F(Button, HitTestsWithTheNormalLookWhateverItShows) {
    CKPtr<CKButton> button = LoadButton(kButtonLines);
    for (int32_t state = 0; state < 3; ++state) {
        button->state = state;
        EXPECT_TRUE(button->HitTest(10.5f, 30.5f)) << state;
        EXPECT_FALSE(button->HitTest(50.0f, 50.0f)) << state;
    }
}

TEST_F(Button, StatesUnderEachMouseEvent) {
    enum Event { kEnter, kLeave, kLeftDown, kRightDown, kMiddleDown, kLeftUpInside, kLeftUpOutside, kRightUp };
    struct Case {
        int32_t from;
        Event event;
        bool changed;
        int32_t to;
    } cases[] = {
        {0, kEnter, true, 1},        {2, kEnter, true, 1},         {1, kLeave, true, 0},
        {2, kLeave, true, 0},        {1, kLeftDown, true, 2},      {0, kLeftDown, true, 2},
        {1, kRightDown, false, 1},   {1, kMiddleDown, false, 1},   {2, kLeftUpInside, true, 1},
        {0, kLeftUpInside, true, 1}, {2, kLeftUpOutside, true, 0}, {1, kLeftUpOutside, true, 0},
        {2, kRightUp, false, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.from) + " event " + std::to_string(c.event));
        CKPtr<CKButton> button = LoadButton(kButtonLines);
        button->state = c.from;
        bool changed = false;
        switch (c.event) {
        case kEnter: changed = button->OnMouseEnter(20, 20); break;
        case kLeave: changed = button->OnMouseLeave(50, 50); break;
        case kLeftDown: changed = button->OnMouseDown(0, 20, 20); break;
        case kRightDown: changed = button->OnMouseDown(1, 20, 20); break;
        case kMiddleDown: changed = button->OnMouseDown(2, 20, 20); break;
        case kLeftUpInside: changed = button->OnMouseUp(0, 20, 20); break;
        case kLeftUpOutside: changed = button->OnMouseUp(0, 50, 50); break;
        case kRightUp: changed = button->OnMouseUp(1, 20, 20); break;
        }
        EXPECT_EQ(changed, c.changed);
        EXPECT_EQ(button->state, c.to);
    }
}

TEST_F(Button, EnablingOrDisablingShowsTheNormalLook) {
    for (bool enable : {false, true}) {
        CKPtr<CKButton> button = LoadButton(kButtonLines);
        button->state = CKButton::kPressed;
        button->SetEnabled(enable);
        EXPECT_EQ(button->state, CKButton::kNormal);
        EXPECT_EQ(button->enabled, enable ? 1 : 0);
    }
}

// Lines missing at the end of the file: the looks are empty quads, the
// name is empty.
TEST_F(Button, AGroupCutShortByTheEndOfTheFile) {
    CKPtr<CKButton> button = LoadButton("only 1,1,5,5,0,0,5,5\n");
    EXPECT_EQ(button->name, "only");
    button->state = CKButton::kOver;
    EXPECT_EQ(Quad(button->GetVertices()), "0.5,0.5 0.5,0.5 0,0 0,0");
    CKPtr<CKButton> none = LoadButton("");
    EXPECT_EQ(none->name, "");
}

}  // namespace
