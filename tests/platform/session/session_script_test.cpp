#include "platform/session/session_script.h"

#include "platform/dinput/dik.h"

#include <gtest/gtest.h>

#include <iterator>

using platform::ParseSessionScript;

TEST(SessionScript, ParsesFramesVerbsAndWords) {
    std::string error;
    auto script = ParseSessionScript(
        "# a comment\n\n0 launcher settings\n0 settings type 800x600 x\r\n"
        "  5\tminimize\n5 restore\n12 close",
        &error);
    ASSERT_TRUE(script) << error;
    ASSERT_EQ(script->actions.size(), 5u);
    EXPECT_EQ(script->actions[0].verb, "launcher");
    EXPECT_EQ(script->actions[0].args, std::vector<std::string>{"settings"});
    EXPECT_EQ(script->actions[1].args, (std::vector<std::string>{"type", "800x600", "x"}));
    EXPECT_EQ(script->actions[2].frame, 5u);
    EXPECT_EQ(script->actions[2].line, 5);
    EXPECT_EQ(script->actions[4].frame, 12u);
    EXPECT_EQ(script->actions[4].verb, "close");
    // The game clock's rate belongs to any frame, the dialogs' too.
    auto clocks = ParseSessionScript("0 clock 60\n3 clock 1\n3 clock 1000\n", &error);
    ASSERT_TRUE(clocks) << error;
    ASSERT_EQ(clocks->actions.size(), 3u);
    EXPECT_EQ(clocks->actions[0].verb, "clock");
    EXPECT_EQ(clocks->actions[0].args, std::vector<std::string>{"60"});
    EXPECT_EQ(clocks->actions[2].frame, 3u);
    EXPECT_EQ(clocks->actions[2].args, std::vector<std::string>{"1000"});
}

TEST(SessionScript, RejectsMalformedLinesWithTheirNumber) {
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"x close", "line 1: 'x' is not a frame number"},
        {"-1 close", "line 1: '-1' is not a frame number"},
        {"4294967296 close", "line 1: '4294967296' is not a frame number"},
        {"3", "line 1: an action must follow the frame number"},
        {"\n3 jump", "line 2: unknown action 'jump'"},
        {"3 close now", "line 1: wrong number of words after 'close'"},
        {"0 launcher", "line 1: wrong number of words after 'launcher'"},
        {"2 launcher start", "line 1: 'launcher' acts on a dialog and belongs to frame 0"},
        {"0 settings select two", "line 1: 'settings select' takes one list index"},
        {"0 settings type", "line 1: 'settings type' takes the text to type"},
        {"0 settings ok now", "line 1: 'settings ok' takes no further words"},
        {"0 settings close", "line 1: 'settings' takes select, type, ok or cancel"},
        {"0 launcher quit", "line 1: 'launcher' takes start, settings or exit"},
        {"5 close\n4 close", "line 2: frame 4 comes before an earlier line's frame"},
        {"0 key down Space", "line 1: 'key' belongs to a frame of the main loop (1 or later)"},
        {"1 key Space", "line 1: wrong number of words after 'key'"},
        {"1 key press Space", "line 1: 'key' takes down or up and a key name"},
        {"1 key down Spacebar", "line 1: unknown key 'Spacebar'"},
        {"1 key down space", "line 1: unknown key 'space'"},
        {"1 key down NumPad  7x", "line 1: unknown key 'NumPad 7x'"},
        {"1 key up undefined key", "line 1: unknown key 'undefined key'"},
        {"0 mouse move 1 1", "line 1: 'mouse' belongs to a frame of the main loop (1 or later)"},
        {"1 mouse move 1", "line 1: 'mouse move' takes two whole numbers"},
        {"1 mouse move 1 +2", "line 1: 'mouse move' takes two whole numbers"},
        {"1 mouse move 2147483648 0", "line 1: 'mouse move' takes two whole numbers"},
        {"1 mouse move 0 1.5", "line 1: 'mouse move' takes two whole numbers"},
        {"1 mouse move - 0", "line 1: 'mouse move' takes two whole numbers"},
        {"1 mouse down", "line 1: wrong number of words after 'mouse'"},
        {"1 mouse down fourth", "line 1: 'mouse down' takes left, right or middle"},
        {"1 mouse up left right", "line 1: 'mouse up' takes left, right or middle"},
        {"1 mouse click left", "line 1: 'mouse' takes move, down or up"},
        {"1 mouse move 1 2 3", "line 1: wrong number of words after 'mouse'"},
        {"1 clock 0", "line 1: 'clock' takes the passes a second of game time, 1 to 1000"},
        {"1 clock 1001", "line 1: 'clock' takes the passes a second of game time, 1 to 1000"},
        {"0 clock x", "line 1: 'clock' takes the passes a second of game time, 1 to 1000"},
        {"1 clock", "line 1: wrong number of words after 'clock'"},
        {"1 clock 60 fast", "line 1: wrong number of words after 'clock'"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(ParseSessionScript(c.text, &error)) << c.text;
        EXPECT_EQ(error, c.error) << c.text;
    }
}

TEST(SessionScript, InputActionsSayWhatTheyDoToKeysAndTheMouse) {
    using Kind = platform::InputAction::Kind;
    std::string error;
    auto script = ParseSessionScript(
        "1 key down Space\n1 key up NumPad\t7\n2 key down Esc\n2 key down Numpad ,\n"
        "3 mouse move 5 -3\n3 mouse move -2147483648 2147483647\n"
        "4 mouse down left\n4 mouse up right\n4 mouse down middle\n",
        &error);
    ASSERT_TRUE(script) << error;
    const struct {
        Kind kind;
        int code;
        int32_t dx, dy;
    } expected[] = {
        {Kind::KeyDown, DIK_SPACE, 0, 0},  {Kind::KeyUp, DIK_NUMPAD7, 0, 0},
        {Kind::KeyDown, DIK_ESCAPE, 0, 0}, {Kind::KeyDown, DIK_NUMPADCOMMA, 0, 0},
        {Kind::MouseMove, 0, 5, -3},       {Kind::MouseMove, 0, INT32_MIN, INT32_MAX},
        {Kind::ButtonDown, 0, 0, 0},       {Kind::ButtonUp, 1, 0, 0},
        {Kind::ButtonDown, 2, 0, 0},
    };
    ASSERT_EQ(script->actions.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(script->actions[i].line);
        const auto input = platform::ReadInputAction(script->actions[i]);
        ASSERT_TRUE(input);
        EXPECT_EQ(input->kind, expected[i].kind);
        EXPECT_EQ(input->code, expected[i].code);
        EXPECT_EQ(input->dx, expected[i].dx);
        EXPECT_EQ(input->dy, expected[i].dy);
    }
    // Other verbs are no input actions.
    EXPECT_FALSE(platform::ReadInputAction(platform::SessionAction{3, "close", {}, 1}));
}

TEST(SessionScript, PlayerHandsOutDialogActionsThenFrameActionsOnce) {
    std::string error;
    platform::SessionPlayer player;
    player.Load(*ParseSessionScript("0 launcher start\n2 minimize\n2 activate\n7 close\n", &error));
    ASSERT_NE(player.PeekDialogAction(), nullptr);
    player.PopDialogAction();
    EXPECT_EQ(player.PeekDialogAction(), nullptr);  // the next one belongs to the loop
    EXPECT_TRUE(player.TakeFrameActions(1).empty());
    EXPECT_EQ(player.TakeFrameActions(2).size(), 2u);
    EXPECT_TRUE(player.TakeFrameActions(2).empty());
    // A frame that was skipped still delivers what was due.
    EXPECT_EQ(player.TakeFrameActions(9).size(), 1u);
    EXPECT_TRUE(player.Empty());
}
