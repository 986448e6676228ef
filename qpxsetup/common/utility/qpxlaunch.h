// Starting a program with the desktop shell's user token instead of the installer's own.
#pragma once

#include <string>

// Result codes of LaunchAsShellUser.
enum LaunchResult : int {
    kLaunchStarted = 0,
    kLaunchNoShellWindow = -101,
    kLaunchNoShellProcessId = -102,
    kLaunchShellProcessNotOpened = -103,
    kLaunchShellTokenNotOpened = -104,
    kLaunchTokenNotDuplicated = -105,
    kLaunchNotCreated = -106,  // also when the system cannot create processes with a token
};

// Starts `application` (full path) with `parameters` in `directory`, with the token of the
// process that owns the shell's desktop window, so the program does not inherit the
// installer's rights. Waits for nothing and keeps no handle of the new process.
int LaunchAsShellUser(const std::wstring& application, const std::wstring& parameters,
                      const std::wstring& directory);
