#include "core/KTextReader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

struct ReadLine {
    std::string text;
    bool plain;
};

std::vector<ReadLine> ReadAll(const std::string& text, bool* lastResult = nullptr) {
    CKTextReader reader(text.data(), static_cast<int32_t>(text.size()));
    std::vector<ReadLine> lines;
    std::string line;
    while (reader.ReadLine(line)) lines.push_back({line, reader.IsPlainLine()});
    if (lastResult) *lastResult = !line.empty();
    return lines;
}

std::vector<std::string> Split(const std::string& text, const std::string& delimiter, bool quotes = true) {
    CKTokenizer tokenizer(text, delimiter, quotes);
    std::vector<std::string> fields;
    std::string field;
    while (tokenizer.NextToken(field)) fields.push_back(field);
    return fields;
}

TEST(TextReader, DropsEmptyAndCommentLines) {
    const struct {
        std::string text;
        std::vector<std::string> lines;
    } cases[] = {
        {"a\r\n\r\n// only a comment\r\nb\r\n", {"a", "b"}},
        {"/* start\nskipped\nend */\nc", {"c"}},
        {"x = 1 // trailing comment drops the line\ny", {"y"}},
        {"/* open and */ closed\nd", {"d"}},
        {"// /* opens nothing\ne", {"e"}},
        {"  f  \t\n", {"f"}},
        {std::string("g\0h\ni", 5), {"g", "h", "i"}},  // a zero byte ends a line
        {"", {}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> got;
        for (auto& l : ReadAll(c.text)) got.push_back(l.text);
        EXPECT_EQ(got, c.lines) << c.text;
    }
}

TEST(TextReader, SectionHeadersAreNotPlainLinesAndAnEmptyOneStopsReaders) {
    auto lines = ReadAll("[Node]\n[\nvalue\n[]\nafter\n");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].text, "Node");
    EXPECT_FALSE(lines[0].plain);
    EXPECT_EQ(lines[1].text, "[");
    EXPECT_TRUE(lines[1].plain);
    EXPECT_TRUE(lines[2].plain);

    // "[ x ]" keeps its inner spaces.
    EXPECT_EQ(ReadAll("[ x ]")[0].text, " x ");
}

TEST(TextReader, CountsLineFeeds) {
    const std::string text = "a\n\nb\n";
    CKTextReader reader(text.data(), static_cast<int32_t>(text.size()));
    reader.NextLine();
    EXPECT_EQ(reader.LineCount(), 1);
    reader.NextLine();
    EXPECT_EQ(reader.Line(), "b");
    EXPECT_EQ(reader.LineCount(), 3);
    EXPECT_FALSE(reader.NextLine());
}

TEST(Tokenizer, SplitsOnWholeDelimitersWithQuotes) {
    const struct {
        std::string text, delimiter;
        bool quotes;
        std::vector<std::string> fields;
    } cases[] = {
        {"a b  c", " ", true, {"a", "b", "", "c"}},
        {"x=1", "=", true, {"x", "1"}},
        {"  x  =  1  ", "=", true, {"x", "1"}},
        {"\"a,b\",c", ",", true, {"a,b", "c"}},
        {"\"\"\"hi\"\"\"", ",", true, {"\"hi\""}},
        {"\"a,b\",c", ",", false, {"\"a", "b\"", "c"}},
        {"axay", "ab", true, {"axay"}},
        {"a--b", "--", true, {"a", "b"}},
        {"a,", ",", true, {"a"}},
        {"\" padded \",\" \"", ",", true, {"padded", " "}},
        {"", ",", true, {}},
        {"   ", ",", true, {}},
    };
    for (const auto& c : cases) EXPECT_EQ(Split(c.text, c.delimiter, c.quotes), c.fields) << c.text;
}

TEST(StringHelpers, ClassifyTrimAndLowerCase) {
    for (const char* yes : {"-1.5", "...", "", "0"}) EXPECT_TRUE(IsNumberString(yes)) << yes;
    for (const char* no : {"1e5", " 1", "+1"}) EXPECT_FALSE(IsNumberString(no)) << no;
    std::string s = " \t\r\nx y\n ";
    EXPECT_EQ(TrimString(s), "x y");
    std::string path = "Data\\Meshes\\Ship.RDF";
    EXPECT_EQ(ToLowerString(path), "data\\meshes\\ship.rdf");
    std::string high = "\xC0\xC1Zz";  // bytes above 0x7F stay as they are
    EXPECT_EQ(ToLowerString(high), "\xC0\xC1zz");
    for (char c : {' ', '\t', '\r', '\n'}) EXPECT_TRUE(IsSpaceChar(c));
    EXPECT_FALSE(IsSpaceChar('\v'));
}

TEST(StringHelpers, ReadsIntegersAsAtoiButSaturates) {
    const struct {
        const char* text;
        int32_t value;
    } cases[] = {
        {"42", 42},
        {" \t-17xyz", -17},
        {"+8 9", 8},
        {"3.9", 3},
        {"", 0},
        {"abc", 0},
        {"- 5", 0},
        {"2147483647", INT32_MAX},
        {"-2147483648", INT32_MIN},
        {"2147483648", INT32_MAX},
        {"-2147483649", INT32_MIN},
        {"99999999999999999999999", INT32_MAX},
        {"-99999999999999999999999", INT32_MIN},
    };
    for (const auto& c : cases) EXPECT_EQ(ReadSaturatedInt(c.text), c.value) << c.text;
}

}  // namespace
