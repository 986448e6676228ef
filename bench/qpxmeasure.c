/* Runs one program under Wine the way a user would and reports its wall time and peak
   memory: qpxmeasure <results file> <working folder> <command line>. Appends one line
   "<seconds> <peak working set> <peak pagefile usage> <exit code>" to the results file. */
#include <windows.h>
#include <psapi.h>
#include <stdio.h>

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) return 2;
    STARTUPINFOW startup = {sizeof(startup)};
    PROCESS_INFORMATION process;
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    if (!CreateProcessW(NULL, argv[3], NULL, NULL, FALSE, 0, NULL, argv[2], &startup, &process)) {
        return 3;
    }
    /* The peaks only grow; sample them until the process ends, since an ended process
       reports nothing any more. */
    SIZE_T peakWorkingSet = 0, peakPagefile = 0;
    for (;;) {
        PROCESS_MEMORY_COUNTERS counters = {sizeof(counters)};
        if (GetProcessMemoryInfo(process.hProcess, &counters, sizeof(counters))) {
            if (counters.PeakWorkingSetSize > peakWorkingSet) peakWorkingSet = counters.PeakWorkingSetSize;
            if (counters.PeakPagefileUsage > peakPagefile) peakPagefile = counters.PeakPagefileUsage;
        }
        if (WaitForSingleObject(process.hProcess, 5) == WAIT_OBJECT_0) break;
    }
    QueryPerformanceCounter(&end);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    FILE* out = _wfopen(argv[1], L"a");
    if (!out) return 4;
    fprintf(out, "%.3f %lu %lu %lu\n", (double)(end.QuadPart - start.QuadPart) / frequency.QuadPart,
            (unsigned long)peakWorkingSet, (unsigned long)peakPagefile, (unsigned long)code);
    fclose(out);
    return 0;
}
