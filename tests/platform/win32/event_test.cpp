// Event handles: valid from CreateEventA until CloseHandle, recorded, and
// failing on request.
#include "platform/headless/headless_backend.h"
#include "platform/table/backend_table.h"
#include "platform/win32/win32.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(Events, AHandleWorksUntilClosedAndEveryCallIsRecorded) {
    std::string error;
    ASSERT_TRUE(platform::Startup("headless", &error)) << error;
    HANDLE first = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE second = CreateEventA(nullptr, TRUE, TRUE, "named");
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    EXPECT_TRUE(SetEvent(first));
    EXPECT_TRUE(CloseHandle(first));
    EXPECT_FALSE(SetEvent(first));
    EXPECT_FALSE(CloseHandle(first));
    EXPECT_FALSE(SetEvent(nullptr));
    EXPECT_FALSE(CloseHandle(nullptr));
    EXPECT_TRUE(SetEvent(second));
    EXPECT_TRUE(CloseHandle(second));
    EXPECT_EQ(platform::Headless()->calls,
              (std::vector<std::string>{"CreateEventA", "CreateEventA", "SetEvent", "CloseHandle", "SetEvent",
                                        "CloseHandle", "SetEvent", "CloseHandle", "SetEvent", "CloseHandle"}));

    platform::Headless()->failing = {"CreateEventA"};
    EXPECT_EQ(CreateEventA(nullptr, FALSE, FALSE, nullptr), nullptr);
    platform::Shutdown();
}

}  // namespace
