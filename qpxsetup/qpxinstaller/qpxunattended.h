// A run without a window: every page takes the layout's defaults and the work hook runs on the
// main thread. The installer's and the uninstaller's unattended runs differ only as said here.
#pragma once

#include "qpxpages.h"

struct UnattendedRun {
    const char* workHook;  // the hook the progress page runs
    bool checkOptions;     // the options are checked as the installer's options dialog checks them
    bool launch;           // the product is started at the end, as the completion page could
};

class UnattendedPages : public InstallationPages {
public:
    explicit UnattendedPages(const UnattendedRun& run) : run_(run) {}

    bool Options(pugi::xml_node dlgElement) override;
    bool Progress(pugi::xml_node dlgElement) override;
    bool Completion(pugi::xml_node dlgElement) override;

private:
    UnattendedRun run_;
};
