// Native functions for services, processes, system queries, message boxes, the script's own
// log, privileges and shutting Windows down.
#pragma once

#include <windows.h>

#include "lua.h"

int Lua_SCM(lua_State* state);
int Lua_TaskKill(lua_State* state);
int Lua_KillAllTaskByName(lua_State* state);
int Lua_GetProcessId(lua_State* state);
int Lua_GetImagePathByPid(lua_State* state);
int Lua_GetOSVersion(lua_State* state);
int Lua_IsWow64(lua_State* state);
int Lua_Logout(lua_State* state);
int Lua_MsgBox(lua_State* state);
int Lua_ExitWindows(lua_State* state);
int Lua_GetModuleFileName(lua_State* state);
int Lua_GetCommandLineArgv(lua_State* state);
int Lua_EnablePrivilege(lua_State* state);
int Lua_GetDriverInstallPath(lua_State* state);

// How long Lua_SCM waits at most for a service to reach the requested state: a service that
// stops again while starting would otherwise hold the script for ever.
constexpr DWORD kServiceWaitLimitMs = 60000;

// Polls the service until it is in `state` (true) or `limitMs` have passed (false).
bool WaitForServiceState(SC_HANDLE service, DWORD state, DWORD limitMs);
