// The completion dialog: offers to start the installed product and hands the state of its
// check boxes to the script when it closes.
#pragma once

#include "qpxdialogframe.h"

class QPXCompleteDlg : public QPXDialogFrame {
public:
    explicit QPXCompleteDlg(pugi::xml_node dlgElement);

protected:
    bool OnSetup() override;
    void OnCleanup() override;
    bool OnAction(UINT action, WPARAM wParam, LPARAM lParam) override;

private:
    void ShowOffers(QPXUE::ContainerUIObjectImpl* body);
};

// Starts the installed product (global_main_app_name in global_install_path, with
// global_start_parameter), with the desktop shell's user token when the scripts ask for it.
void LaunchInstalledProduct();
