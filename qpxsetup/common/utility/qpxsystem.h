// Loading system DLLs that are not always taken from the system directory by Windows, and
// DLLs that scripts name, never from the installer's folder or the current directory.
#pragma once

#include <windows.h>

#include <string>

// <system directory>\<name>; empty when the system directory cannot be read. For a 32-bit
// program on 64-bit Windows this is the 32-bit system folder.
std::wstring SystemFilePath(const wchar_t* name);

// Loads <system directory>\<name> by its full path; null when it cannot.
HMODULE LoadSystemLibrary(const wchar_t* name);

// A bare module name ("kernel32") from the system directory only; a path as the file it
// names, whose own imports are found beside it and in the system directory. Null when it
// cannot be loaded.
HMODULE LoadModuleFromSafePlaces(const std::wstring& name);
