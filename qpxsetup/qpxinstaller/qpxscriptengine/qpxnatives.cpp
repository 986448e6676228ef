// The registration table of the script library: one place, in the engine's fixed order.
#include "qpxnatives.h"

#include "lauxlib.h"
#include "qpxshell.h"
#include "qpxsysfuncs.h"

namespace {

// Value types are modules that are also globals.
const luaL_Reg kValueTypes[] = {
    {nullptr, nullptr},
};

// Native functions, each a plain global host function, registered in this order.
const luaL_Reg kNativeFunctions[] = {
    {"Lua_RegSvr32", Lua_RegSvr32},
    {"Lua_RegistDll", Lua_RegistDll},
    {"Lua_CreateShortcut", Lua_CreateShortcut},
    {"Lua_Exec", Lua_Exec},
    {"Lua_TaskKill", Lua_TaskKill},
    {"Lua_SCM", Lua_SCM},
    {"Lua_GetOSVersion", Lua_GetOSVersion},
    {"Lua_Logout", Lua_Logout},
    {"Lua_MsgBox", Lua_MsgBox},
    {"Lua_IsWow64", Lua_IsWow64},
    {"Lua_GetProcessId", Lua_GetProcessId},
    {"Lua_ExitWindows", Lua_ExitWindows},
    {"Lua_GetModuleFileName", Lua_GetModuleFileName},
    {"Lua_GetCommandLineArgv", Lua_GetCommandLineArgv},
    {"Lua_EnablePrivilege", Lua_EnablePrivilege},
    {"Lua_GetImagePathByPid", Lua_GetImagePathByPid},
    {"Lua_GetDriverInstallPath", Lua_GetDriverInstallPath},
    {"Lua_KillAllTaskByName", Lua_KillAllTaskByName},
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
