// The native library bridge: DllManager (a loaded module as a script object), native function
// objects that call exports with 32-bit argument words, and the GLibTab module cache.
#pragma once

#include "lua.h"

// Opener for luaL_requiref: returns the library table holding `Load`.
int OpenDllManager(lua_State* state);
// Makes the global GLibTab, which loads a module on first use of its name and keeps it.
void RegisterGlobalLibTable(lua_State* state);
