// MultiByteToWideChar for the game's code page: Windows-1251 (CP_ACP here)
// to UTF-16. The one byte 1251 leaves undefined, 0x98, becomes U+0098.
#include "platform/dshow/dshow.h"

#include "platform/win32/codepage.h"

#include <cstring>

namespace {

constexpr UINT kCyrillicCodePage = 1251;

}  // namespace

int MultiByteToWideChar(UINT codePage, DWORD, LPCSTR text, int length, LPWSTR out, int outLength) {
    if (codePage != CP_ACP && codePage != kCyrillicCodePage) return 0;
    if (!text || length == 0 || length < -1 || outLength < 0 || (outLength > 0 && !out)) return 0;
    const size_t count = length == -1 ? std::strlen(text) + 1 : static_cast<size_t>(length);
    // No room given: the count of characters it would take.
    if (outLength == 0) return static_cast<int>(count);
    if (count > static_cast<size_t>(outLength)) return 0;
    for (size_t i = 0; i < count; ++i) out[i] = platform::UnicodeOfCp1251(static_cast<unsigned char>(text[i]));
    return static_cast<int>(count);
}
