// DirectInput's keyboard scan codes (DIK_), and the short name of each named
// code, as the game's key table shows them ("Esc", "NumPad 7"): the one list
// of key names, used by the input task's table and by session scripts.
#pragma once

#include <cstddef>

constexpr unsigned char DIK_ESCAPE = 0x01;
constexpr unsigned char DIK_1 = 0x02;
constexpr unsigned char DIK_2 = 0x03;
constexpr unsigned char DIK_3 = 0x04;
constexpr unsigned char DIK_4 = 0x05;
constexpr unsigned char DIK_5 = 0x06;
constexpr unsigned char DIK_6 = 0x07;
constexpr unsigned char DIK_7 = 0x08;
constexpr unsigned char DIK_8 = 0x09;
constexpr unsigned char DIK_9 = 0x0A;
constexpr unsigned char DIK_0 = 0x0B;
constexpr unsigned char DIK_MINUS = 0x0C;
constexpr unsigned char DIK_EQUALS = 0x0D;
constexpr unsigned char DIK_BACK = 0x0E;
constexpr unsigned char DIK_TAB = 0x0F;
constexpr unsigned char DIK_Q = 0x10;
constexpr unsigned char DIK_W = 0x11;
constexpr unsigned char DIK_E = 0x12;
constexpr unsigned char DIK_R = 0x13;
constexpr unsigned char DIK_T = 0x14;
constexpr unsigned char DIK_Y = 0x15;
constexpr unsigned char DIK_U = 0x16;
constexpr unsigned char DIK_I = 0x17;
constexpr unsigned char DIK_O = 0x18;
constexpr unsigned char DIK_P = 0x19;
constexpr unsigned char DIK_LBRACKET = 0x1A;
constexpr unsigned char DIK_RBRACKET = 0x1B;
constexpr unsigned char DIK_RETURN = 0x1C;
constexpr unsigned char DIK_LCONTROL = 0x1D;
constexpr unsigned char DIK_A = 0x1E;
constexpr unsigned char DIK_S = 0x1F;
constexpr unsigned char DIK_D = 0x20;
constexpr unsigned char DIK_F = 0x21;
constexpr unsigned char DIK_G = 0x22;
constexpr unsigned char DIK_H = 0x23;
constexpr unsigned char DIK_J = 0x24;
constexpr unsigned char DIK_K = 0x25;
constexpr unsigned char DIK_L = 0x26;
constexpr unsigned char DIK_SEMICOLON = 0x27;
constexpr unsigned char DIK_APOSTROPHE = 0x28;
constexpr unsigned char DIK_GRAVE = 0x29;
constexpr unsigned char DIK_LSHIFT = 0x2A;
constexpr unsigned char DIK_BACKSLASH = 0x2B;
constexpr unsigned char DIK_Z = 0x2C;
constexpr unsigned char DIK_X = 0x2D;
constexpr unsigned char DIK_C = 0x2E;
constexpr unsigned char DIK_V = 0x2F;
constexpr unsigned char DIK_B = 0x30;
constexpr unsigned char DIK_N = 0x31;
constexpr unsigned char DIK_M = 0x32;
constexpr unsigned char DIK_COMMA = 0x33;
constexpr unsigned char DIK_PERIOD = 0x34;
constexpr unsigned char DIK_SLASH = 0x35;
constexpr unsigned char DIK_RSHIFT = 0x36;
constexpr unsigned char DIK_MULTIPLY = 0x37;
constexpr unsigned char DIK_LMENU = 0x38;
constexpr unsigned char DIK_SPACE = 0x39;
constexpr unsigned char DIK_CAPITAL = 0x3A;
constexpr unsigned char DIK_F1 = 0x3B;
constexpr unsigned char DIK_F2 = 0x3C;
constexpr unsigned char DIK_F3 = 0x3D;
constexpr unsigned char DIK_F4 = 0x3E;
constexpr unsigned char DIK_F5 = 0x3F;
constexpr unsigned char DIK_F6 = 0x40;
constexpr unsigned char DIK_F7 = 0x41;
constexpr unsigned char DIK_F8 = 0x42;
constexpr unsigned char DIK_F9 = 0x43;
constexpr unsigned char DIK_F10 = 0x44;
constexpr unsigned char DIK_NUMLOCK = 0x45;
constexpr unsigned char DIK_SCROLL = 0x46;
constexpr unsigned char DIK_NUMPAD7 = 0x47;
constexpr unsigned char DIK_NUMPAD8 = 0x48;
constexpr unsigned char DIK_NUMPAD9 = 0x49;
constexpr unsigned char DIK_SUBTRACT = 0x4A;
constexpr unsigned char DIK_NUMPAD4 = 0x4B;
constexpr unsigned char DIK_NUMPAD5 = 0x4C;
constexpr unsigned char DIK_NUMPAD6 = 0x4D;
constexpr unsigned char DIK_ADD = 0x4E;
constexpr unsigned char DIK_NUMPAD1 = 0x4F;
constexpr unsigned char DIK_NUMPAD2 = 0x50;
constexpr unsigned char DIK_NUMPAD3 = 0x51;
constexpr unsigned char DIK_NUMPAD0 = 0x52;
constexpr unsigned char DIK_DECIMAL = 0x53;
constexpr unsigned char DIK_F11 = 0x57;
constexpr unsigned char DIK_F12 = 0x58;
constexpr unsigned char DIK_F13 = 0x64;
constexpr unsigned char DIK_F14 = 0x65;
constexpr unsigned char DIK_F15 = 0x66;
constexpr unsigned char DIK_KANA = 0x70;
constexpr unsigned char DIK_CONVERT = 0x79;
constexpr unsigned char DIK_NOCONVERT = 0x7B;
constexpr unsigned char DIK_YEN = 0x7D;
constexpr unsigned char DIK_NUMPADEQUALS = 0x8D;
constexpr unsigned char DIK_CIRCUMFLEX = 0x90;
constexpr unsigned char DIK_AT = 0x91;
constexpr unsigned char DIK_COLON = 0x92;
constexpr unsigned char DIK_UNDERLINE = 0x93;
constexpr unsigned char DIK_KANJI = 0x94;
constexpr unsigned char DIK_STOP = 0x95;
constexpr unsigned char DIK_AX = 0x96;
constexpr unsigned char DIK_UNLABELED = 0x97;
constexpr unsigned char DIK_NUMPADENTER = 0x9C;
constexpr unsigned char DIK_RCONTROL = 0x9D;
constexpr unsigned char DIK_NUMPADCOMMA = 0xB3;
constexpr unsigned char DIK_DIVIDE = 0xB5;
constexpr unsigned char DIK_SYSRQ = 0xB7;
constexpr unsigned char DIK_RMENU = 0xB8;
constexpr unsigned char DIK_PAUSE = 0xC5;
constexpr unsigned char DIK_HOME = 0xC7;
constexpr unsigned char DIK_UP = 0xC8;
constexpr unsigned char DIK_PRIOR = 0xC9;
constexpr unsigned char DIK_LEFT = 0xCB;
constexpr unsigned char DIK_RIGHT = 0xCD;
constexpr unsigned char DIK_END = 0xCF;
constexpr unsigned char DIK_DOWN = 0xD0;
constexpr unsigned char DIK_NEXT = 0xD1;
constexpr unsigned char DIK_INSERT = 0xD2;
constexpr unsigned char DIK_DELETE = 0xD3;

namespace platform {

// Codes 0x00 to 0xD3 have an entry; the ones without a name read as this.
inline constexpr size_t kKeyNameCount = 0xD4;
inline constexpr const char* kUndefinedKeyName = "undefined key";

// The name of a code below kKeyNameCount ("undefined key" for one without a
// name, and for codes past the table).
const char* KeyNameOfCode(unsigned code);
// The first code, ascending, whose name equals the text exactly; -1 for none.
int KeyCodeOfName(const char* name, size_t length);

}  // namespace platform
