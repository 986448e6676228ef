// File-system functions of the script library: folders, copies, moves, renames, deletions,
// temporary files and environment variables.
#pragma once

#include <string>

#include "lua.h"

// Each reads its arguments with the shared readers (paths expanded) and never raises a
// script error; the results are those the install script relies on.
int Lua_CreateDirectory(lua_State* state);
int Lua_CopyFile(lua_State* state);
int Lua_MoveFile(lua_State* state);
int Lua_RenameFile(lua_State* state);
int Lua_DeleteFile(lua_State* state);
int Lua_RegVarByCSIDL(lua_State* state);
int Lua_DelFileRecursive(lua_State* state);
int Lua_DeleteFileAfterReboot(lua_State* state);
int Lua_GetTempFileName(lua_State* state);
int Lua_ExpandEnv(lua_State* state);

// Deletes a folder tree (depth first, read-only files included) or the files matching a
// path or pattern; failures are skipped. Linked folders lose only their link. Moves the
// current directory to the parent when it is the folder removed.
void DeleteDirectories(const std::wstring& path);
// The same without its log line for `path` (folders below it still log theirs).
void DeleteTree(const std::wstring& path);
