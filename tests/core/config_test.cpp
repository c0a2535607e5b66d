#include "core/KConfig.h"
#include "core/KConfigVars.h"

#include "support/files.h"
#include "support/work_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

class Config : public ::testing::Test {
protected:
    void SetUp() override {
        Defaults();
        config = new CKConfig();
    }
    void TearDown() override {
        delete config;
        ShutdownMemoryManager(false);
        Defaults();
    }
    static void Defaults() {
        screenWidth = 640, screenHeight = 480, screenBPP = 16, fullScreen = 0, statistic = 0, splines = 0, bboxes = 0,
        channels = 2, frequency = 22050, bitrate = 8, soundVolume = 0.5f, musicVolume = 0.5f;
    }
    CKConfig* config = nullptr;
};

TEST_F(Config, EveryLineFormSetsItsVariable) {
    const struct {
        const char* line;
        int* variable;
        int expected;
    } ints[] = {
        {"screenWidth = 800", &screenWidth, 800},
        {"screenWidth=1024", &screenWidth, 1024},
        {"  screenHeight   =   600  ", &screenHeight, 600},
        {"+fullScreen", &fullScreen, 1},
        {"-fullScreen", &fullScreen, 0},
        {"bboxes", &bboxes, 0},
        {"+bitrate = 16", &bitrate, 16},  // a single-value dator always sets
        {"-bitrate = 4", &bitrate, 4},
        {"screenWidth = 640px", &screenWidth, 640},
        {"screenBPP = 32 // bits", &screenBPP, 32},
    };
    for (const auto& c : ints) {
        *c.variable = 77;
        config->ParseLine(c.line);
        EXPECT_EQ(*c.variable, c.expected) << c.line;
    }
    config->ParseLine("soundVolume = 0.25");
    EXPECT_FLOAT_EQ(soundVolume, 0.25f);
}

TEST_F(Config, UnusableLinesChangeNothing) {
    for (const char* line : {"", "unknownKey = 5", "ScreenWidth = 800", "screenWidth = wide",
                             "screenWidth =", "screenWidth = 0", "screenHeight = -480", "musicVolume = loud"}) {
        config->ParseLine(line);
        EXPECT_EQ(screenWidth, 640) << line;
        EXPECT_EQ(screenHeight, 480) << line;
        EXPECT_FLOAT_EQ(musicVolume, 0.5f) << line;
    }
}

TEST_F(Config, DatorsConvertBothWays) {
    float half = 0.5f;
    int negative = -3;
    CKPtr<IKDator> f = new CKDator<float>(&half);
    CKPtr<IKDator> i = new CKDator<int>(&negative);
    EXPECT_EQ(f->ToString(), "0.5");
    EXPECT_EQ(i->ToString(), "-3");
    EXPECT_TRUE(i->Equals("-3"));
    EXPECT_TRUE(i->NotEquals("-3.0"));
    i->Add("10");
    i->Sub("2");
    EXPECT_EQ(negative, 5);
    EXPECT_FALSE(i->IsList());
    EXPECT_EQ(i->GetClassName(), "CKDator");
    half = 1.0f / 3.0f;
    EXPECT_EQ(f->ToString(), "0.333333");
}

// A value that is not finite, as a damaged config.cfg may hold, or a sum
// beyond the variable's range, keeps the value as it was.
TEST_F(Config, ValuesNoVariableHoldsKeepTheOldOne) {
    for (const char* value : {"nan", "-nan", "inf", "-inf", "infinity", "1e39", "-1e39"}) {
        config->ParseLine(std::string("soundVolume = ") + value);
        EXPECT_EQ(soundVolume, 0.5f) << value;
    }
    float big = 3e38f;
    int top = 2147483647, bottom = -2147483647 - 1;
    CKPtr<IKDator> f = new CKDator<float>(&big);
    CKPtr<IKDator> up = new CKDator<int>(&top);
    CKPtr<IKDator> down = new CKDator<int>(&bottom);
    f->Add("3e38");
    f->Sub("-3e38");
    up->Add("1");
    down->Sub("1");
    EXPECT_EQ(big, 3e38f);
    EXPECT_EQ(top, 2147483647);
    EXPECT_EQ(bottom, -2147483647 - 1);
    f->Sub("1e38");
    EXPECT_FLOAT_EQ(big, 2e38f);
}

TEST_F(Config, ReleaseDefaultsLeavesTheMapHolding) {
    IKDator* width = config->Find("screenWidth");
    ASSERT_NE(width, nullptr);
    EXPECT_EQ(width->GetRefCount(), 2);
    config->ReleaseDefaults();
    EXPECT_EQ(width->GetRefCount(), 1);
    config->ParseLine("screenWidth = 800");
    EXPECT_EQ(screenWidth, 800);
}

class ConfigFile : public Config {
protected:
    ScopedWorkDir workDir;
};

TEST_F(ConfigFile, ReadsEveryLineIncludingTheLastWithoutALineFeed) {
    test_files::WriteText("config.cfg", "screenWidth = 800\r\n\n+statistic\nmusicVolume = 0.75");
    config->LoadFile("config.cfg");
    EXPECT_EQ(screenWidth, 800);
    EXPECT_EQ(statistic, 1);
    EXPECT_FLOAT_EQ(musicVolume, 0.75f);
}

TEST_F(ConfigFile, OverlongLinesAreCutAndReadingGoesOn) {
    test_files::WriteText("config.cfg", "screenWidth = 1024" + std::string(2000, ' ') + "x\n" +
                                            "screenHeight = " + std::string(1500, '7') + "\n" + "screenBPP = 32\n");
    config->LoadFile("config.cfg");
    EXPECT_EQ(screenWidth, 1024);
    EXPECT_EQ(screenHeight, 480);  // no int holds that many sevens: kept
    EXPECT_EQ(screenBPP, 32);
}

TEST_F(ConfigFile, MissingFileKeepsTheDefaultsAndNamesMatchOnDiskInAnyCase) {
    config->LoadFile("config.cfg");
    EXPECT_EQ(screenWidth, 640);
    test_files::WriteText("CONFIG.CFG", "screenWidth = 800\n");
    config->LoadFile("config.cfg");
    EXPECT_EQ(screenWidth, 800);
}

}  // namespace
