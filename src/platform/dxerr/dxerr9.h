// The DirectX error library: the name and description of a result code.
#pragma once

#include "platform/win32/win32.h"

#include <string>

// The constant's name ("D3DERR_DEVICELOST"); an unknown code gives "Unknown".
const char* DXGetErrorString9(HRESULT hr);
// A sentence on what the code means; an unknown code gives "n/a".
const char* DXGetErrorDescription9(HRESULT hr);

namespace platform {
// The engine's line for a failed DirectX call:
// "DXError if <file> on line <line>\n<name>\n<description>\n".
inline constexpr const char* kDXErrorFormat = "DXError if %s on line %d\n%s\n%s\n";
std::string FormatDXError(const char* file, int line, HRESULT hr);
}  // namespace platform
