// The script-visible library: value types, the global library table and the native functions.
#pragma once

#include "lua.h"

// Registers everything scripts can call, in the one order the engine defines.
void RegisterScriptLibrary(lua_State* state);
