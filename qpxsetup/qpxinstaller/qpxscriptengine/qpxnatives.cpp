// The registration table of the script library: one place, in the engine's fixed order.
#include "qpxnatives.h"

#include "lauxlib.h"
#include "qpxarchive.h"
#include "qpxdllbridge.h"
#include "qpxfilesystem.h"
#include "qpxrawbuffer.h"
#include "qpxregistry.h"
#include "qpxshell.h"
#include "qpxstringtypes.h"
#include "qpxsysfuncs.h"

namespace {

// Value types are modules that are also globals.
const luaL_Reg kValueTypes[] = {
    {"AString", OpenAString},
    {"WString", OpenWString},
    {"RawBuffer", OpenRawBuffer},
    {"DllManager", OpenDllManager},
    {nullptr, nullptr},
};

// Native functions, each a plain global host function, registered in this order; the last is
// for uninstall scripts.
const luaL_Reg kNativeFunctions[] = {
    {"Lua_UnCompress7z", Lua_UnCompress7z},
    {"Lua_RegSvr32", Lua_RegSvr32},
    {"Lua_RegistDll", Lua_RegistDll},
    {"Lua_RegQuery", Lua_RegQuery},
    {"Lua_RegAdd", Lua_RegAdd},
    {"Lua_RegDel", Lua_RegDel},
    {"Lua_CreateShortcut", Lua_CreateShortcut},
    {"Lua_CreateDirectory", Lua_CreateDirectory},
    {"Lua_CopyFile", Lua_CopyFile},
    {"Lua_MoveFile", Lua_MoveFile},
    {"Lua_RenameFile", Lua_RenameFile},
    {"Lua_DeleteFile", Lua_DeleteFile},
    {"Lua_Exec", Lua_Exec},
    {"Lua_TaskKill", Lua_TaskKill},
    {"Lua_SCM", Lua_SCM},
    {"Lua_RegVarByCSIDL", Lua_RegVarByCSIDL},
    {"Lua_ExtractResource", Lua_ExtractResource},
    {"Lua_GetOSVersion", Lua_GetOSVersion},
    {"Lua_Logout", Lua_Logout},
    {"Lua_MsgBox", Lua_MsgBox},
    {"Lua_DelFileRecursive", Lua_DelFileRecursive},
    {"Lua_DeleteFileAfterReboot", Lua_DeleteFileAfterReboot},
    {"Lua_IsWow64", Lua_IsWow64},
    {"Lua_GetProcessId", Lua_GetProcessId},
    {"Lua_ExitWindows", Lua_ExitWindows},
    {"Lua_GetModuleFileName", Lua_GetModuleFileName},
    {"Lua_GetCommandLineArgv", Lua_GetCommandLineArgv},
    {"Lua_EnablePrivilege", Lua_EnablePrivilege},
    {"Lua_GetTempFileName", Lua_GetTempFileName},
    {"Lua_ExpandEnv", Lua_ExpandEnv},
    {"Lua_GetImagePathByPid", Lua_GetImagePathByPid},
    {"Lua_GetDriverInstallPath", Lua_GetDriverInstallPath},
    {"Lua_KillAllTaskByName", Lua_KillAllTaskByName},
    {"Lua_RemoveInstalled", Lua_RemoveInstalled},
    {nullptr, nullptr},
};

}  // namespace

void RegisterScriptLibrary(lua_State* state) {
    for (const luaL_Reg* type = kValueTypes; type->name; ++type) {
        luaL_requiref(state, type->name, type->func, 1);
        lua_pop(state, 1);
    }
    RegisterGlobalLibTable(state);
    for (const luaL_Reg* native = kNativeFunctions; native->name; ++native) {
        lua_pushcfunction(state, native->func);
        lua_setglobal(state, native->name);
    }
}
