// The uninstaller's own pages: the first asks for the reasons and hands them, with the user's
// words, to the script before the product is removed; the last ends the run. "$global$" in
// their texts names a script global.
#pragma once

#include "qpxdialogframe.h"

// What follows the product's name in the title of every uninstaller window.
constexpr wchar_t kUninstallTitleSuffix[] = L"卸载";

class QPXUninstallDlg : public QPXDialogFrame {
public:
    explicit QPXUninstallDlg(pugi::xml_node dlgElement);

protected:
    bool OnSetup() override;
    bool OnAction(UINT action, WPARAM wParam, LPARAM lParam) override;
};
