// The installer's own command-line switches, for unattended runs, the log file and the
// language. Every other word is the scripts' (they read the whole command line themselves).
#pragma once

#include <string>

struct InstallerSwitches {
    bool silent = false;        // /S: no window; every choice is the layout's default
    bool launch = false;        // /LAUNCH: start the product at the end of a silent run
    bool hasFolder = false;     // /D=<folder>: the install folder, before any other
    std::wstring folder;
    bool hasLogFile = false;    // /LOG=<file>: the log lines also go to this file
    std::wstring logFile;
    bool hasLanguage = false;   // /LANG=<tag>: the language, over the product's global_language
    std::wstring language;
    bool hasOrigin = false;     // /ORIGIN=<program>: this uninstaller is the temporary copy of it
    std::wstring origin;
    bool hasStartFolder = false;  // /STARTFOLDER=<folder>: the original's working folder, which a
    std::wstring startFolder;     // relative /LOG= names its file in
};

// Reads the switches from a whole command line, program name first. Switches start with "/" or
// "-" and are matched without regard to case. "/D=" takes the rest of the line, blanks
// included, so it comes last; a folder or file in quotes loses them.
InstallerSwitches ParseSwitches(const std::wstring& commandLine);

// The command line after the program's name, as it stands.
std::wstring CommandLineTail(const std::wstring& commandLine);
