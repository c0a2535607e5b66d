#include "platform/table/backend_table.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

bool InTable(const char* name) {
    size_t count = 0;
    const platform::BackendEntry* table = platform::BackendTable(&count);
    for (size_t i = 0; i < count; ++i)
        if (std::strcmp(table[i].name, name) == 0) return true;
    return false;
}

TEST(BackendTable, ThePlayersDefaultIsARealBackendOfTheTable) {
    EXPECT_TRUE(InTable(platform::kDefaultBackend));
    EXPECT_STRNE(platform::kDefaultBackend, "headless");
}

TEST(BackendTable, EveryEntryMakesItsBaseAndEveryArea) {
    size_t count = 0;
    const platform::BackendEntry* table = platform::BackendTable(&count);
    ASSERT_GE(count, 2u);
    for (size_t i = 0; i < count; ++i) {
        EXPECT_NE(table[i].createBase, nullptr) << table[i].name;
        EXPECT_NE(table[i].createGraphics, nullptr) << table[i].name;
        EXPECT_NE(table[i].createInput, nullptr) << table[i].name;
        EXPECT_NE(table[i].createAudio, nullptr) << table[i].name;
        EXPECT_NE(table[i].createMedia, nullptr) << table[i].name;
    }
    EXPECT_TRUE(InTable("headless"));
}

TEST(BackendTable, AnUnknownNameIsRefusedWithTheKnownOnes) {
    std::string error;
    EXPECT_FALSE(platform::Startup("nonesuch", &error));
    EXPECT_NE(error.find("nonesuch"), std::string::npos);
    EXPECT_NE(error.find("headless"), std::string::npos);
    EXPECT_EQ(platform::Backend(), nullptr);
}

TEST(BackendTable, StartingHeadlessInstallsEveryArea) {
    std::string error;
    ASSERT_TRUE(platform::Startup("headless", &error)) << error;
    ASSERT_NE(platform::Backend(), nullptr);
    EXPECT_STREQ(platform::Backend()->Name(), "headless");
    EXPECT_NE(platform::GraphicsBackend(), nullptr);
    EXPECT_NE(platform::InputBackend(), nullptr);
    EXPECT_NE(platform::AudioBackend(), nullptr);
    EXPECT_NE(platform::MediaBackend(), nullptr);
    platform::Shutdown();
    EXPECT_EQ(platform::Backend(), nullptr);
    EXPECT_EQ(platform::GraphicsBackend(), nullptr);
    EXPECT_EQ(platform::InputBackend(), nullptr);
    EXPECT_EQ(platform::AudioBackend(), nullptr);
    EXPECT_EQ(platform::MediaBackend(), nullptr);
}

}  // namespace
