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
// Lua_RemoveInstalled(folder) -> boolean: removes what the install journal in `folder` lists and
// is still there (RemoveRecorded), never a folder that must not be removed.
int Lua_RemoveInstalled(lua_State* state);

// Deletes a folder tree (depth first, read-only files included) or the files matching a
// path or pattern, with a log line for each folder; failures are skipped. Linked folders lose
// only their link; a folder that must never be removed stays (RemoveTree). Moves the current
// directory to the parent when it is the folder removed.
void DeleteDirectories(const std::wstring& path);

// Creates every missing folder of `path`; while an installation is recorded, each folder it
// made goes into the journal.
void CreateFolderPath(const std::wstring& path);
