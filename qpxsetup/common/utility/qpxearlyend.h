// Ending the process from a run that stops before its end: the script-error box, os.exit in a
// hook, the delete prompt's Abort. What must happen first (an unfinished installation rolled
// back, the uninstaller put back in its folder) runs once, on the thread that ends the run.
#pragma once

#include <windows.h>

// The action that runs before the process ends early; set once, before any hook runs.
void SetEarlyEndAction(void (*action)());

// Runs the action, once in the process's life; later calls do nothing.
void RunEarlyEndAction();

// Runs the action, then ends the process with `code`: on the thread that started the process
// with ExitProcess; on any other (the install worker) at once, without the exit handlers, which
// would shut down what the main thread still paints and posts with.
[[noreturn]] void EndProcessEarly(UINT code);
