// The user's choices on a page, by control name: what the page's text boxes hold and its check
// boxes show, read from a page's object tree or, for a run without windows, from the layout's
// defaults, and handed to the scripts as globals of the controls' names.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "pugixml.hpp"

namespace QPXUE {
class ContainerUIObjectImpl;
}

struct PageChoices {
    std::vector<std::pair<std::wstring, std::wstring>> texts;
    std::vector<std::pair<std::wstring, bool>> checks;
};

// Every text box and check box of the tree, as they are now.
PageChoices CurrentChoices(QPXUE::ContainerUIObjectImpl* root);

// Every text box and check box of a `Dlg` element as its dialog shows them first: a text
// box's "$global$" replaced by that global when it is set, a check box's `checked`, the
// self-start boxes' state from global_startup_check.
PageChoices DefaultChoices(pugi::xml_node dlgElement);

// Each text box's text as a string global and each check box's state as a boolean global of
// the control's name; "check Name = <name>" is logged for each ticked box.
void WriteChoices(const PageChoices& choices);
