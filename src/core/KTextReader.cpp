#include "core/KTextReader.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

CKTextReader::CKTextReader(const void* data, int32_t size)
    : m_data(static_cast<const char*>(data)), m_size(data && size > 0 ? size : 0) {}

bool CKTextReader::ReadLine(std::string& out) {
    const bool result = NextLine();
    out = m_line;
    return result;
}

bool CKTextReader::NextLine() {
    m_line.clear();
    for (;;) {
        while (m_position < m_size) {
            const char c = m_data[m_position++];
            if (c == '\0') break;
            if (c == '\n') {
                ++m_lineCount;
                break;
            }
            m_line += c;
        }
        if (m_line.find("//") != std::string::npos) m_line.clear();
        if (m_line.find("/*") != std::string::npos) m_inComment = 1;
        if (m_line.find("*/") != std::string::npos) {
            m_inComment = 0;
            m_line.clear();
        }
        if (m_inComment) m_line.clear();
        TrimString(m_line);
        if (!m_line.empty() || m_position >= m_size) break;
    }
    if (m_line.size() >= 2 && m_line.front() == '[' && m_line.back() == ']') {
        m_line = m_line.substr(1, m_line.size() - 2);
        m_plainLine = 0;
    } else {
        m_plainLine = 1;
    }
    return !m_line.empty();
}

CKTokenizer::CKTokenizer(std::string_view text, std::string_view delimiter, bool quotes)
    : m_text(text), m_delimiter(delimiter), m_quotes(quotes ? 1 : 0) {
    while (!m_text.empty() && IsSpaceChar(m_text.front())) m_text.remove_prefix(1);
    while (!m_text.empty() && IsSpaceChar(m_text.back())) m_text.remove_suffix(1);
}

std::vector<std::string> SplitTokens(const std::string& text, const std::string& delimiter) {
    std::vector<std::string> tokens;
    CKTokenizer tokenizer(text, delimiter, true);
    std::string token;
    while (tokenizer.NextToken(token)) tokens.push_back(token);
    return tokens;
}

bool CKTokenizer::NextToken(std::string& out) {
    out.clear();
    if (m_text.empty() || m_position >= m_text.size()) return false;
    bool inQuote = false;
    size_t matched = 0;
    std::string partial;
    while (m_position < m_text.size()) {
        const char c = m_text[m_position++];
        if (c == '"' && m_quotes) {
            if (!inQuote) {
                inQuote = true;
            } else if (m_position < m_text.size() && m_text[m_position] == '"') {
                out += '"';
                ++m_position;
            } else {
                inQuote = false;
            }
            continue;
        }
        if (inQuote) {
            out += c;
            continue;
        }
        if (matched < m_delimiter.size() && c == m_delimiter[matched]) {
            if (++matched == m_delimiter.size()) break;
            partial += c;
            continue;
        }
        if (matched > 0) {
            out += partial;
            partial.clear();
            matched = 0;
        }
        out += c;
    }
    if (out != " ") TrimString(out);
    return true;
}

bool IsSpaceChar(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string& TrimString(std::string& s) {
    size_t begin = 0;
    while (begin < s.size() && IsSpaceChar(s[begin])) ++begin;
    s.erase(0, begin);
    size_t end = s.size();
    while (end > 0 && IsSpaceChar(s[end - 1])) --end;
    s.erase(end);
    return s;
}

bool IsNumberString(const std::string& s) {
    for (char c : s)
        if (!((c >= '0' && c <= '9') || c == '.' || c == '-')) return false;
    return true;
}

int32_t ReadSaturatedInt(const std::string& text) {
    // strtoll itself saturates at long long's ends, so clamping its result
    // covers every length of digits.
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    return static_cast<int32_t>(
        std::clamp<long long>(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

std::string& ToLowerString(std::string& s) {
    // Only ASCII letters change, as the runtime's default locale does; bytes
    // of 0x80 and above stay as they are.
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}
