// An installation without a window: every page takes the layout's defaults, the options are
// checked as the dialog checks them, and the install hook runs on the main thread.
#pragma once

#include "qpxpages.h"

class UnattendedPages : public InstallationPages {
public:
    // `launch`: start the product at the end, as the completion page's start button would.
    explicit UnattendedPages(bool launch) : launch_(launch) {}

    bool Options(pugi::xml_node dlgElement) override;
    bool Progress(pugi::xml_node dlgElement) override;
    bool Completion(pugi::xml_node dlgElement) override;

private:
    bool launch_;
};
