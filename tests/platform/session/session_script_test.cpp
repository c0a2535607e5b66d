#include "platform/session/session_script.h"

#include <gtest/gtest.h>

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
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(ParseSessionScript(c.text, &error)) << c.text;
        EXPECT_EQ(error, c.error) << c.text;
    }
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
