// The line reader and tokenizer behind every text data file: one record per
// line, comment lines dropped, [sections], fields split on a delimiter.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class CKTextReader {
public:
    CKTextReader(const void* data, int32_t size);
    virtual ~CKTextReader() = default;

    // The next non-empty line; false at the end of the text and for an empty
    // section header "[]".
    bool ReadLine(std::string& out);
    bool NextLine();
    bool IsPlainLine() const { return m_plainLine != 0; }
    const std::string& Line() const { return m_line; }
    int32_t LineCount() const { return m_lineCount; }

private:
    const char* m_data;
    int32_t m_size;
    int32_t m_position = 0;
    std::string m_line;
    int32_t m_lineCount = 0;
    uint8_t m_inComment = 0;
    uint8_t m_plainLine = 1;
};

// Reads the text in place, without a copy: the text and the delimiter must
// outlive the tokenizer.
class CKTokenizer {
public:
    CKTokenizer(std::string_view text, std::string_view delimiter, bool quotes);
    virtual ~CKTokenizer() = default;

    bool NextToken(std::string& out);

private:
    std::string_view m_text;
    std::string_view m_delimiter;
    uint32_t m_position = 0;
    uint8_t m_quotes;
};

// Every token of the text, as the tokenizer gives them with quote handling on.
std::vector<std::string> SplitTokens(const std::string& text, const std::string& delimiter);

bool IsSpaceChar(char c);
std::string& TrimString(std::string& s);
bool IsNumberString(const std::string& s);
// Reads a number as atoi does (leading white space, a sign, digits up to the
// first other character; 0 without digits), but a value beyond int32 stops at
// its ends instead of being undefined.
int32_t ReadSaturatedInt(const std::string& text);
std::string& ToLowerString(std::string& s);
