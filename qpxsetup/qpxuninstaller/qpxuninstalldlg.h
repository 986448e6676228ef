// The uninstaller's own pages: the first asks for the reasons and hands them, with the user's
// words, to the script before the product is removed; the last ends the run. "$global$" in
// their texts names a script global.
#pragma once

#include "qpxdialogframe.h"

class QPXUninstallDlg : public QPXDialogFrame {
public:
    explicit QPXUninstallDlg(pugi::xml_node dlgElement);

protected:
    bool OnSetup() override;
    bool OnAction(UINT action, WPARAM wParam, LPARAM lParam) override;
};
