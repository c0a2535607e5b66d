// MultiByteToWideChar for the game's code page: Windows-1251 (CP_ACP here)
// to UTF-16. The one byte 1251 leaves undefined, 0x98, becomes U+0098.
#include "platform/dshow/dshow.h"

#include <cstring>

namespace {

constexpr UINT kCyrillicCodePage = 1251;

// 0x80 to 0xBF; 0xC0 to 0xFF are U+0410 to U+044F, below 0x80 is ASCII.
constexpr char16_t kHighHalf[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  //
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  //
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  //
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  //
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  //
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  //
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  //
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
};

char16_t FromCyrillic(unsigned char c) {
    if (c < 0x80) return c;
    if (c < 0xC0) return kHighHalf[c - 0x80];
    return static_cast<char16_t>(0x0410 + (c - 0xC0));
}

}  // namespace

int MultiByteToWideChar(UINT codePage, DWORD, LPCSTR text, int length, LPWSTR out, int outLength) {
    if (codePage != CP_ACP && codePage != kCyrillicCodePage) return 0;
    if (!text || length == 0 || length < -1 || outLength < 0 || (outLength > 0 && !out)) return 0;
    const size_t count = length == -1 ? std::strlen(text) + 1 : static_cast<size_t>(length);
    // No room given: the count of characters it would take.
    if (outLength == 0) return static_cast<int>(count);
    if (count > static_cast<size_t>(outLength)) return 0;
    for (size_t i = 0; i < count; ++i) out[i] = FromCyrillic(static_cast<unsigned char>(text[i]));
    return static_cast<int>(count);
}
