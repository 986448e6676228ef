// Archive and resource extraction: the payload's 7z archive (from a resource or a file) into
// a folder, and any resource of the program into a file.
#pragma once

#include <windows.h>

#include <string>

#include "lua.h"
#include "qpxscriptcall.h"

// Resource type of 7z archives; the payload is the one named "APP.7Z". Archive resources store
// their first two bytes exchanged.
constexpr wchar_t kResourceType7z[] = L"_7Z";
constexpr wchar_t kPayloadResourceName[] = L"APP.7Z";

// Extraction status: 0 on success, otherwise the decoder's SZ_ERROR_* code, SZ_ERROR_FAIL (11)
// for an output failure, or the system error of a file skipped last.
using ArchiveStatus = DWORD;

// Extracts from the bytes as they are (they are never written); with `exchangedHead` the
// first two bytes are read in exchanged order, as archive resources store them.
ArchiveStatus ExtractArchiveMemory(const void* data, size_t size, bool exchangedHead,
                                   const std::wstring& folder, const ScriptCallback& onFileDone,
                                   const ScriptCallback& onCreateError);
ArchiveStatus ExtractArchiveFile(const std::wstring& archive, const std::wstring& folder,
                                 const ScriptCallback& onFileDone,
                                 const ScriptCallback& onCreateError);

// Lua_UnCompress7z(source, folder [, sourceIsFile [, onFileDone [, onCreateError]]]) -> boolean
int Lua_UnCompress7z(lua_State* state);
// Lua_ExtractResource(type, name or id, destination file) -> boolean
int Lua_ExtractResource(lua_State* state);
