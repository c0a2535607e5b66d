// The game's functions that every script can call, in their registration
// order, registered after the engine's.
#pragma once

#include "script/KLuaSupport.h"

#include <cstddef>

constexpr size_t kGameLuaFunctionCount = 37;
extern const SKLuaFunction g_GameLuaFunctions[kGameLuaFunctionCount];

// Makes every script state made from now on register the game's table.
void InstallGameLuaFunctions();
