/* A DLL that imports from bridgetest.dll: loading it shows where a loaded module's own
   imports are looked for. */
#include <windows.h>

__declspec(dllimport) int __cdecl RecordedCount(void);

__declspec(dllexport) int __stdcall DependentCount(void) { return RecordedCount() + 100; }
