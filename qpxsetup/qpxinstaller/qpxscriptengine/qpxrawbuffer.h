// RawBuffer: zeroed byte blocks owned by scripts, read and written with typed accesses at
// byte offsets; out-parameters and structures of native calls.
#pragma once

#include "lua.h"

// Opener for luaL_requiref: returns the library table holding `New`.
int OpenRawBuffer(lua_State* state);
