// Loading system DLLs that are not always taken from the system directory by Windows.
#pragma once

#include <windows.h>

// Loads <system directory>\<name> by its full path; null when it cannot.
HMODULE LoadSystemLibrary(const wchar_t* name);
