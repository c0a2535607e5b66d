// A parameterised case's test name from its description, so a failure says
// which case it was: "min linear, no mip" becomes "MinLinearNoMip".
#pragma once

#include <cctype>
#include <string>

inline std::string CaseName(const char* description) {
    std::string name;
    bool wordStart = true;
    for (const char* p = description; *p; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c == '\'') continue;  // "driver's" stays one word
        if (!std::isalnum(c)) {
            wordStart = true;
            continue;
        }
        name += wordStart ? static_cast<char>(std::toupper(c)) : static_cast<char>(c);
        wordStart = false;
    }
    return name;
}
