// Archive and resource extraction: the payload's 7z archive (from a resource or a file) into
// a folder, and any resource of the program into a file.
#pragma once

#include "lua.h"

// Resource type of 7z archives; the payload is the one named "APP.7Z". Archive resources store
// their first two bytes exchanged.
constexpr wchar_t kResourceType7z[] = L"_7Z";
constexpr wchar_t kPayloadResourceName[] = L"APP.7Z";

// Lua_UnCompress7z(source, folder [, sourceIsFile [, onFileDone [, onCreateError]]]) -> boolean
int Lua_UnCompress7z(lua_State* state);
// Lua_ExtractResource(type, name or id, destination file) -> boolean
int Lua_ExtractResource(lua_State* state);
