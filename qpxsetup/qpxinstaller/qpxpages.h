// The three pages of an installation, between the hooks: the wizard's dialogs, or their
// defaults in an unattended run. Each returns whether the installation goes on.
#pragma once

#include "pugixml.hpp"

class InstallationPages {
public:
    virtual ~InstallationPages() = default;
    // The options; the choices are in the globals when it returns true.
    virtual bool Options(pugi::xml_node dlgElement) = 0;
    // The install hook, run to its end.
    virtual bool Progress(pugi::xml_node dlgElement) = 0;
    // The completion choices, in the globals when it returns true.
    virtual bool Completion(pugi::xml_node dlgElement) = 0;
};
