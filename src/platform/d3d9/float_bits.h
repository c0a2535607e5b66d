// D3D9 keeps float-valued states (fog range, point sizes) in DWORD slots as
// the float's bits.
#pragma once

#include "platform/win32/win32.h"

#include <bit>

namespace platform {

inline DWORD FloatToStateBits(float f) { return std::bit_cast<DWORD>(f); }
inline float StateBitsToFloat(DWORD bits) { return std::bit_cast<float>(bits); }

}  // namespace platform
