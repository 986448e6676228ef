// Ending the process from a run that stops before its end.
#include "qpxearlyend.h"

#include <cstdio>

namespace {

void (*earlyEndAction)() = nullptr;
LONG actionStarted = 0;
// Static initialisation runs on the thread that starts the process.
const DWORD mainThread = GetCurrentThreadId();

bool OnMainThread() { return GetCurrentThreadId() == mainThread; }

}  // namespace

void SetEarlyEndAction(void (*action)()) { earlyEndAction = action; }

void RunEarlyEndAction() {
    if (earlyEndAction && InterlockedExchange(&actionStarted, 1) == 0) earlyEndAction();
}

void EndProcessEarly(UINT code) {
    RunEarlyEndAction();
    if (OnMainThread()) ExitProcess(code);
    fflush(nullptr);
    TerminateProcess(GetCurrentProcess(), code);
    ExitProcess(code);  // not reached: TerminateProcess of the own process does not return
}
