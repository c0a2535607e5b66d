// Windows-1251, the game's code page: its data files and scripts spell text
// in it, and its fonts index glyphs by its bytes. Each byte as Unicode and
// back, and its text as UTF-8.
#pragma once

#include <string>

namespace platform {

// The one byte 1251 leaves undefined, 0x98, stands for U+0098.
char16_t UnicodeOfCp1251(unsigned char byte);
// The byte of a character, or -1 for one that 1251 does not have.
int Cp1251OfUnicode(char32_t c);
std::string Utf8OfCp1251(const std::string& text);
// One character, U+0000 to U+10FFFF, appended in UTF-8.
void AppendUtf8(std::string& out, char32_t c);

}  // namespace platform
