// The enemy table: how data\enemies.dat lines become records (fields,
// quotes, names given twice, short and odd lines), a file that cannot be
// read, and the one process-wide table.
#include "game/KEnemyDatabase.h"

#include "support/files.h"
#include "support/work_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

// A record as "n1|t1|n2|t2|t3|i", in the order of the file's fields.
std::string Fields(const SKEnemyInfo& info) {
    const auto number = [](float v) {
        std::string text = std::to_string(v);
        text.erase(text.find_last_not_of('0') + 1);
        if (text.back() == '.') text.pop_back();
        return text;
    };
    return number(info.firstNumber) + "|" + info.firstText + "|" + number(info.secondNumber) + "|" + info.secondText +
           "|" + info.thirdText + "|" + std::to_string(info.integer);
}

class EnemyTable : public ::testing::Test {
protected:
    // The table after loading a file of that text.
    CKEnemyDatabase& Loaded(const std::string& text) {
        test_files::WriteText(std::filesystem::path("data") / "enemies.dat", text);
        EXPECT_TRUE(enemies.Load("data\\enemies.dat"));
        return enemies;
    }
    std::string Record(const std::string& name) {
        const auto found = enemies.m_table.find(name);
        return found == enemies.m_table.end() ? "none" : Fields(found->second);
    }

    ScopedWorkDir workDir;
    CKEnemyDatabase enemies;
};

TEST_F(EnemyTable, LinesBecomeRecordsOfSixFields) {
    const struct {
        const char* what;
        const char* line;
        const char* record;  // of the type "ship"
    } cases[] = {
        {"all six", "ship 20;laser;2.5;debris;hurt;100", "20|laser|2.5|debris|hurt|100"},
        {"a name only", "ship", "0||0|||0"},
        {"fewer than six", "ship 7;laser", "7|laser|0|||0"},
        {"empty fields", "ship ;;;;;", "0||0|||0"},
        {"text in the numbers", "ship abc;x;12abc;y;z;-7 shots", "0|x|12|y|z|-7"},
        {"a leading number only", "ship 1e2x;x;.5.5;y;z;3.9", "100|x|0.5|y|z|3"},
        {"an integer beyond int32 stops at its ends", "ship 1;a;2;b;c;4294967297", "1|a|2|b|c|2147483647"},
        {"and so below", "ship 1;a;2;b;c;-4294967297", "1|a|2|b|c|-2147483648"},
        {"a blank in quotes", "ship 1;\"big gun\";2;\"a b\";c;3", "1|big gun|2|a b|c|3"},
        {"a blank without quotes ends the data", "ship 1;big gun;2;b;c;3", "1|big|0|||0"},
        {"more than six", "ship 1;a;2;b;c;3;4;d", "1|a|2|b|c|3"},
        // The blank's split unquotes once: a ";" stays in its field only
        // inside quotes that outlive it.
        {"a \";\" in doubled quotes", "ship 1;\"\"\"a;b\"\"\";2;b;c;3", "1|a;b|2|b|c|3"},
        {"a \";\" in plain quotes splits", "ship 1;\"a;b\";2;b;c;3", "1|a|0|2|b|0"},
        {"the whole data quoted", "ship \"1;a b;2;\"\"x;y\"\";c;3\"", "1|a b|2|x;y|c|3"},
        {"what follows the data", "ship 1;a;2;b;c;3 tail 9;9", "1|a|2|b|c|3"},
        {"a section line", "[ship]", "0||0|||0"},
        {"the line's own blanks", "  ship 1;a;2;b;c;3\t\r", "1|a|2|b|c|3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        enemies.m_table.clear();
        Loaded(std::string(c.line) + "\n");
        EXPECT_EQ(Record("ship"), c.record);
        EXPECT_EQ(enemies.m_table.size(), 1u);
    }
}

TEST_F(EnemyTable, ANameGivenAgainReplacesTheWholeRecordAndCapitalsCount) {
    Loaded(
        "// the types\n"
        "ship 20;laser;2.5;debris;hurt;100\n"
        "Ship 1;a;2;b;c;3\n"
        "/* a block\n"
        "ship 99;hidden;9;9;9;9\n"
        "*/\n"
        "SHIP\n"
        "ship 5;rocket\n");
    EXPECT_EQ(Record("ship"), "5|rocket|0|||0");  // nothing left of the first line
    EXPECT_EQ(Record("Ship"), "1|a|2|b|c|3");
    EXPECT_EQ(Record("SHIP"), "0||0|||0");
    EXPECT_EQ(enemies.m_table.size(), 3u);
    EXPECT_EQ(Record("shiP"), "none");
}

TEST_F(EnemyTable, AFileThatCannotBeReadLeavesTheTableAsItWas) {
    EXPECT_FALSE(enemies.Load("data\\enemies.dat"));
    EXPECT_TRUE(enemies.m_table.empty());
    Loaded("ship 1;a;2;b;c;3\n");
    std::filesystem::remove(std::filesystem::path("data") / "enemies.dat");
    EXPECT_FALSE(enemies.Load("data\\enemies.dat"));
    EXPECT_EQ(Record("ship"), "1|a|2|b|c|3");
    EXPECT_EQ(enemies.m_table.size(), 1u);
    // An empty file is read: there is just nothing in it.
    test_files::WriteText(std::filesystem::path("data") / "other.dat", "");
    EXPECT_TRUE(enemies.Load("data\\other.dat"));
}

TEST_F(EnemyTable, FindAddsAnEmptyRecordForAnUnknownName) {
    Loaded("ship 1;a;2;b;c;3\n");
    EXPECT_EQ(Fields(enemies.Find("ship")), "1|a|2|b|c|3");
    SKEnemyInfo& unknown = enemies.Find("rock");
    EXPECT_EQ(Fields(unknown), "0||0|||0");
    EXPECT_EQ(&enemies.Find("rock"), &unknown);
    EXPECT_EQ(enemies.m_table.size(), 2u);
}

TEST(EnemyTableInstance, TheLatestTableIsTheProcesssUntilItGoes) {
    EXPECT_EQ(GetEnemyDatabase(), nullptr);
    {
        CKEnemyDatabase first;
        EXPECT_EQ(GetEnemyDatabase(), &first);
        {
            CKEnemyDatabase second;
            EXPECT_EQ(GetEnemyDatabase(), &second);
        }
        EXPECT_EQ(GetEnemyDatabase(), nullptr);
    }
    EXPECT_EQ(GetEnemyDatabase(), nullptr);
}

}  // namespace
