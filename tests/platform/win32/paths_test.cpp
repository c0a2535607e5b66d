// Names from the game's data on the disk: Windows-1251 names found under
// their UTF-8 spelling, then under their bytes, and written where a reader
// will find them; and the code page's conversions.
#include "platform/win32/paths.h"
#include "platform/win32/codepage.h"

#include "support/files.h"
#include "support/work_dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

// "звук", "шум", "эхо" and "мир" in Windows-1251 and in UTF-8.
const std::string kSound1251 = "\xE7\xE2\xF3\xEA", kSoundUtf8 = "\xD0\xB7\xD0\xB2\xD1\x83\xD0\xBA";
const std::string kNoise1251 = "\xF8\xF3\xEC";
const std::string kEcho1251 = "\xFD\xF5\xEE", kEchoUtf8 = "\xD1\x8D\xD1\x85\xD0\xBE";
const std::string kWorld1251 = "\xEC\xE8\xF0", kWorldUtf8 = "\xD0\xBC\xD0\xB8\xD1\x80";

class Cp1251Names : public ::testing::Test {
protected:
    void SetUp() override {
        Put(kSoundUtf8 + ".wav", "utf-8");
        Put(kNoise1251 + ".wav", "raw");  // a name a Windows copy left in its bytes
        Put(kEchoUtf8 + ".wav", "utf-8 echo");
        Put(kEcho1251 + ".wav", "raw echo");
        Put("Plain.wav", "plain");
    }
    void Put(const std::string& name, const std::string& text) {
        test_files::WriteText(dir.Path() / "Data" / "Sounds" / name, text);
    }
    static std::string Read(const std::string& name) {
        FILE* f = platform::OpenCp1251File("Data\\Sounds\\" + name, "rb");
        if (!f) return "(none)";
        char text[64] = {};
        const size_t n = std::fread(text, 1, sizeof text, f);
        std::fclose(f);
        return std::string(text, n);
    }
    ScopedWorkDir dir;
};

TEST_F(Cp1251Names, AreFoundUnderTheirUtf8SpellingThenUnderTheirBytes) {
    const struct {
        const char* what;
        std::string name;
        std::string text;
    } cases[] = {
        {"ASCII in any case", "PLAIN.wav", "plain"},
        {"on the disk in UTF-8", kSound1251 + ".wav", "utf-8"},
        {"on the disk in its bytes", kNoise1251 + ".wav", "raw"},
        {"both: UTF-8 first", kEcho1251 + ".wav", "utf-8 echo"},
        {"a UTF-8 name, as its bytes", kSoundUtf8 + ".wav", "utf-8"},
        {"missing", kWorld1251 + ".wav", "(none)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Read(c.name), c.text);
        EXPECT_EQ(platform::ResolveExistingCp1251File("data\\sounds\\" + c.name).empty(), c.text == "(none)");
    }
}

TEST_F(Cp1251Names, AreWrittenWhereTheyWillBeReadBack) {
    for (const std::string& name : {kSound1251, kNoise1251, kWorld1251}) {
        FILE* f = platform::OpenCp1251File("Data\\Sounds\\" + name + ".wav", "wb");
        ASSERT_NE(f, nullptr);
        std::fputs(("new " + name).c_str(), f);
        std::fclose(f);
        EXPECT_EQ(Read(name + ".wav"), "new " + name);
    }
    // An existing file is replaced under its own spelling; a new one takes UTF-8.
    const std::filesystem::path sounds = dir.Path() / "Data" / "Sounds";
    EXPECT_EQ(test_files::ReadText(sounds / (kNoise1251 + ".wav")), "new " + kNoise1251);
    EXPECT_EQ(test_files::ReadText(sounds / (kWorldUtf8 + ".wav")), "new " + kWorld1251);
    EXPECT_FALSE(std::filesystem::exists(sounds / (kWorld1251 + ".wav")));
}

TEST(Cp1251, EveryByteGoesToUnicodeAndBackAndToUtf8) {
    for (int byte = 0; byte < 256; ++byte)
        EXPECT_EQ(platform::Cp1251OfUnicode(platform::UnicodeOfCp1251(static_cast<unsigned char>(byte))), byte);
    EXPECT_EQ(platform::Cp1251OfUnicode(U'\u4E2D'), -1);
    EXPECT_EQ(platform::Utf8OfCp1251("a\xC0\xFF\x88\x98"), "a\xD0\x90\xD1\x8F\xE2\x82\xAC\xC2\x98");
}

}  // namespace
