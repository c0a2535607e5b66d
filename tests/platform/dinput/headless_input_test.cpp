// The headless input area: session-script input actions reach the next
// reads of their frame, motion adds up until read, and reads fail on the
// frames a test names.
#include "platform/headless/headless_input.h"
#include "platform/backend/backend.h"
#include "platform/dinput/dinput.h"
#include "platform/table/backend_table.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class HeadlessInputTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(platform::Startup("headless", &error)) << error;
        ASSERT_NE(platform::HeadlessInputArea(), nullptr);
    }
    void TearDown() override { platform::Shutdown(); }

    static platform::HeadlessInput& In() { return *platform::HeadlessInputArea(); }

    static void Load(const std::string& text) {
        std::string error;
        auto script = platform::ParseSessionScript(text, &error);
        ASSERT_TRUE(script) << error;
        platform::Session().Load(std::move(*script));
    }
};

TEST_F(HeadlessInputTest, ScriptedActionsAreSeenByTheReadsOfTheirFrame) {
    Load(
        "2 key down NumPad 7\n2 key down Space\n2 mouse move 5 -3\n2 mouse move 1 1\n2 mouse down left\n"
        "4 key up Space\n4 mouse up left\n4 mouse down middle\n4 mouse move -2147483648 0\n"
        "4 mouse move -1 0\n");
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);
    EXPECT_EQ(In().keys[DIK_SPACE], 0);
    PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);
    EXPECT_EQ(In().keys[DIK_NUMPAD7], 0x80);
    EXPECT_EQ(In().keys[DIK_SPACE], 0x80);
    EXPECT_EQ(In().mouse.dx, 6);
    EXPECT_EQ(In().mouse.dy, -2);
    EXPECT_EQ(In().mouse.buttons[0], 0x80);

    // A read takes the motion; keys and buttons stay until released.
    platform::input::MouseSample sample;
    ASSERT_EQ(In().ReadMouse(&sample), S_OK);
    EXPECT_EQ(sample.dx, 6);
    EXPECT_EQ(In().mouse.dx, 0);
    PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);
    EXPECT_EQ(In().keys[DIK_SPACE], 0x80);
    EXPECT_EQ(In().mouse.buttons[0], 0x80);

    PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);
    EXPECT_EQ(In().keys[DIK_SPACE], 0);
    EXPECT_EQ(In().keys[DIK_NUMPAD7], 0x80);
    EXPECT_EQ(In().mouse.buttons[0], 0);
    EXPECT_EQ(In().mouse.buttons[2], 0x80);
    // Motion piles up at the end of the range instead of wrapping.
    EXPECT_EQ(In().mouse.dx, INT32_MIN);
}

TEST_F(HeadlessInputTest, AReadFailsOnlyInTheFrameNamedAndLeavesItsBuffer) {
    In().keyboardFailures[2] = DIERR_INPUTLOST;
    In().mouseFailures[1] = DIERR_NOTACQUIRED;
    In().keys[DIK_ESCAPE] = 0x80;
    In().mouse.dx = 3;
    MSG msg;
    BYTE keys[platform::input::kKeyCount];
    for (uint32_t frame = 1; frame <= 3; ++frame) {
        SCOPED_TRACE(frame);
        PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);
        keys[DIK_ESCAPE] = 0x11;
        platform::input::MouseSample sample;
        sample.dx = 99;
        const HRESULT keyboard = In().ReadKeyboard(keys), mouse = In().ReadMouse(&sample);
        EXPECT_EQ(keyboard, frame == 2 ? DIERR_INPUTLOST : S_OK);
        EXPECT_EQ(keys[DIK_ESCAPE], frame == 2 ? 0x11 : 0x80);
        EXPECT_EQ(mouse, frame == 1 ? DIERR_NOTACQUIRED : S_OK);
        // The motion a failed read did not take comes with the next one.
        EXPECT_EQ(sample.dx, frame == 1 ? 99 : frame == 2 ? 3 : 0);
    }
}

}  // namespace
