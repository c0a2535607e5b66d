// The engine's functions that every script can call, in their registration
// order. They drive the subsystems above the scripts, so this table is its
// own library, installed into every new script state at start-up.
#pragma once

#include "script/KLuaSupport.h"

#include <cstddef>

constexpr size_t kEngineLuaFunctionCount = 34;
extern const SKLuaFunction g_EngineLuaFunctions[kEngineLuaFunctionCount];

// Makes every script state made from now on register the engine's table.
void InstallEngineLuaFunctions();
