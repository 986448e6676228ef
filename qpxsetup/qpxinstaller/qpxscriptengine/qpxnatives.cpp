// The registration table of the script library: one place, in the engine's fixed order.
#include "qpxnatives.h"

#include "lauxlib.h"
#include "qpxarchive.h"

namespace {

// Value types are modules that are also globals.
const luaL_Reg kValueTypes[] = {
    {nullptr, nullptr},
};

// Native functions, each a plain global host function, registered in this order.
const luaL_Reg kNativeFunctions[] = {
    {"Lua_UnCompress7z", Lua_UnCompress7z},
    {"Lua_ExtractResource", Lua_ExtractResource},
    {nullptr, nullptr},
};

}  // namespace

void RegisterScriptLibrary(lua_State* state) {
    for (const luaL_Reg* type = kValueTypes; type->name; ++type) {
        luaL_requiref(state, type->name, type->func, 1);
        lua_pop(state, 1);
    }
    for (const luaL_Reg* native = kNativeFunctions; native->name; ++native) {
        lua_pushcfunction(state, native->func);
        lua_setglobal(state, native->name);
    }
}
