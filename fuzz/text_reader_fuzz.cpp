// The line reader, with every line split by the tokenizer as the data readers do.
#include "core/KTextReader.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    // The first byte picks the delimiter, the second the quote handling.
    static const char* const kDelimiters[] = {" ", ";", ",", "_", "-", "=", "\t", "--"};
    const std::string delimiter = kDelimiters[data[0] % 8];
    const bool quotes = data[1] & 1;
    CKTextReader reader(data + 2, static_cast<int32_t>(size - 2));
    std::string line, field;
    int guard = 0;
    while (reader.ReadLine(line) && ++guard < 100000) {
        CKTokenizer tokenizer(line, delimiter, quotes);
        while (tokenizer.NextToken(field)) {
        }
        IsNumberString(line);
        ToLowerString(line);
    }
    return 0;
}
