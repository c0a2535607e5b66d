// The key table and Actions.cfg: exact names, quoted fields, the last line
// for a key winning, several keys for one action, and lines that bind
// nothing.
#include "Input/QInput.h"
#include "Input/QKeyNames.h"
#include "core/KFile.h"

#include "support/files.h"
#include "support/work_dir.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

TEST(KeyNames, EveryCodeUpToDelHasItsNameAndTheRestAreUndefined) {
    ASSERT_EQ(KeyNames.size(), 212u);
    const std::map<int, std::string> samples = {{0x00, "undefined key"},
                                                {0x01, "Esc"},
                                                {0x1D, "LCtrl"},
                                                {0x27, ";"},
                                                {0x2B, "\\"},
                                                {0x39, "Space"},
                                                {0x47, "NumPad 7"},
                                                {0x54, "undefined key"},
                                                {0x8D, "Numpad ="},
                                                {0x9C, "NumPad Enter"},
                                                {0xB5, "Numpad /"},
                                                {0xD3, "Del"}};
    for (const auto& [code, name] : samples) EXPECT_EQ(KeyNames[static_cast<size_t>(code)], name) << code;
    int named = 0;
    for (const std::string& name : KeyNames) named += name != "undefined key";
    EXPECT_EQ(named, 118);
}

TEST(KeyNames, LookupIsExactAndTakesTheFirstCode) {
    const std::map<std::string, int> cases = {
        {"Space", 0x39},    {"space", -1},     {"SPACE", -1}, {"Numpad =", 0x8D},      {"NumPad =", -1},
        {"NumPad 7", 0x47}, {"NumPad 7 ", -1}, {"", -1},      {"undefined key", 0x00}, {"Del", 0xD3}};
    for (const auto& [name, code] : cases) EXPECT_EQ(FindKeyCode(name), code) << "'" << name << "'";
}

class Actions : public ::testing::Test {
protected:
    // The bound entries as "code=action", ascending.
    std::string Load(const std::string& text, HRESULT expected = S_OK) {
        test_files::WriteText("Actions.cfg", text);
        CKPtr<CQInput> input(new CQInput());
        EXPECT_EQ(input->LoadActions("Actions.cfg"), expected);
        std::string bound;
        for (size_t code = 0; code < input->m_bindings.size(); ++code) {
            const SKKeyBinding& b = input->m_bindings[code];
            if (!b.bound) continue;
            EXPECT_EQ(b.scanCode, code);
            EXPECT_EQ(FindKeyCode(b.keyName), static_cast<int>(code));
            if (!bound.empty()) bound += " ";
            char prefix[8];
            std::snprintf(prefix, sizeof prefix, "%02X=", static_cast<unsigned>(code));
            bound += prefix + b.action;
        }
        return bound;
    }
    void TearDown() override { CollectGarbage(); }
    ScopedWorkDir m_dir;
};

TEST_F(Actions, FileFormsBindWhatTheyName) {
    struct Case {
        const char* text;
        const char* bound;
    };
    const Case cases[] = {
        {"fire; Fire; Space\n", "39=fire"},
        // Fields are trimmed; the second is read and not used.
        {"  fire ;anything at all;  Space  \n", "39=fire"},
        // The last line for a key wins; one action may have several keys.
        {"fire;;Space\njump;;Space\n", "39=jump"},
        {"up;;Up\nup;;W\n", "11=up C8=up"},
        // ";" is a key only in quotes; quotes double inside quotes.
        {"semi;;\";\"\n", "27=semi"},
        {"\"a;b\";;Q\n", "10=a;b"},
        {"\"say \"\"hi\"\"\";;Q\n", "10=say \"hi\""},
        // "undefined key" names code 0, which no key reports.
        {"none;;undefined key\n", "00=none"},
        // A name the table does not know, or none, binds nothing and keeps the rest.
        {"fire;;Space\nbad;;space\nworse;;\nworst\nup;;Up\n", "39=fire C8=up"},
        // A section line reads as a line like any other; comments never arrive.
        {"// fire;;Space\n[menu;;Esc]\n/* up;;Up */\n", "01=menu"},
        {"", ""},
        {"// only a comment\n", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(Load(c.text), c.bound) << c.text;
}

TEST_F(Actions, AFileThatCannotBeReadIsAFailureAndBindsNothing) {
    CKPtr<CQInput> input(new CQInput());
    EXPECT_TRUE(FAILED(input->LoadActions("Actions.cfg")));
    for (const SKKeyBinding& b : input->m_bindings) EXPECT_FALSE(b.bound);
}

}  // namespace
