// Loading system DLLs that are not always taken from the system directory by Windows.
#pragma once

#include <windows.h>

#include <string>

// <system directory>\<name>; empty when the system directory cannot be read. For a 32-bit
// program on 64-bit Windows this is the 32-bit system folder.
std::wstring SystemFilePath(const wchar_t* name);

// Loads <system directory>\<name> by its full path; null when it cannot.
HMODULE LoadSystemLibrary(const wchar_t* name);
