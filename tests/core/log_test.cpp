#include "core/KLog.h"

#include "support/test_objects.h"

#include <gtest/gtest.h>

TEST(Log, SilentWithoutASinkAndFormatsForOne) {
    CKLog::Print(0, "nobody hears %s", "this");  // must simply return
    LogCapture capture;
    CKLog::Print(3, "%s - ошибка!\n", "fonts\\a.fnt");
    CKLog::Print(1, "Vertices size - %d", 1234);
    ASSERT_EQ(capture.lines.size(), 2u);
    EXPECT_EQ(capture.lines[0], "fonts\\a.fnt - ошибка!\n");
    EXPECT_EQ(capture.levels[0], 3);
    EXPECT_EQ(capture.lines[1], "Vertices size - 1234");
    EXPECT_TRUE(CKLog::Init());
}
