// The registration table of the script library: one place, in the engine's fixed order.
#include "qpxnatives.h"

#include "lauxlib.h"
#include "qpxfilesystem.h"
#include "qpxregistry.h"

namespace {

// Value types are modules that are also globals.
const luaL_Reg kValueTypes[] = {
    {nullptr, nullptr},
};

// Native functions, each a plain global host function, registered in this order.
const luaL_Reg kNativeFunctions[] = {
    {"Lua_RegQuery", Lua_RegQuery},
    {"Lua_RegAdd", Lua_RegAdd},
    {"Lua_RegDel", Lua_RegDel},
    {"Lua_CreateDirectory", Lua_CreateDirectory},
    {"Lua_CopyFile", Lua_CopyFile},
    {"Lua_MoveFile", Lua_MoveFile},
    {"Lua_RenameFile", Lua_RenameFile},
    {"Lua_DeleteFile", Lua_DeleteFile},
    {"Lua_RegVarByCSIDL", Lua_RegVarByCSIDL},
    {"Lua_DelFileRecursive", Lua_DelFileRecursive},
    {"Lua_DeleteFileAfterReboot", Lua_DeleteFileAfterReboot},
    {"Lua_GetTempFileName", Lua_GetTempFileName},
    {"Lua_ExpandEnv", Lua_ExpandEnv},
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
