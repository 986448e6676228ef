// What every native function shares: argument readers, result pushers, the opener of the
// value types and the file name of its failure logs. Native functions never raise script
// errors: a bad argument reads as empty text, 0 or false.
#pragma once

#include <string>

#include "lauxlib.h"
#include "lua.h"

// Source file name that this subsystem's failure logs carry.
constexpr wchar_t kScriptEngineLogFile[] = L"qpxscriptengine";

// Text: a string or number in UTF-8; anything else (nil, absent, tables...) is empty.
std::wstring ArgText(lua_State* state, int index);
// A text argument passed through ExpandPath.
std::wstring ArgPath(lua_State* state, int index);
// Numbers round to the nearest integer, halves to even; non-numbers read as 0.
int ArgInt(lua_State* state, int index);
// As ArgInt, negative values wrap modulo 2^32.
unsigned ArgUInt(lua_State* state, int index);
// nil, false and absent are false; everything else is true.
bool ArgFlag(lua_State* state, int index);

void PushText(lua_State* state, const std::wstring& text);
// Pushes one boolean and returns 1, the result count of a function that gives only it.
int PushBoolean(lua_State* state, bool value);
// Logs that `path`, which `function` needs, does not exist, and pushes false; returns 1.
int PushMissingPath(lua_State* state, const wchar_t* function, const std::wstring& path);

// Pushes a new module of the `library` functions whose objects carry the metatable
// `metaTable` (created here): `methods` are its entries, and a key it lacks is looked up in
// the metatable itself unless `methods` gives an __index of its own. Returns 1.
int OpenValueType(lua_State* state, const luaL_Reg* library, const char* metaTable,
                  const luaL_Reg* methods);
