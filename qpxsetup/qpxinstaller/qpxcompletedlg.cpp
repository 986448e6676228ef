// The completion dialog: offers to start the installed product and hands the state of its
// check boxes to the script when it closes.
#include "qpxcompletedlg.h"

#include <shellapi.h>

#include <string>

#include "qpxcontrols.h"
#include "qpxdlgtext.h"
#include "qpxglobals.h"
#include "qpxlaunch.h"
#include "qpxlog.h"
#include "qpxpath.h"
#include "qpxscriptengine.h"

using QPXUE::CheckBoxUIObjectImpl;
using QPXUE::ContainerUIObjectImpl;

namespace {

enum Action : UINT { kClose = 100, kStartProduct = 106 };
constexpr int kResultDone = 1;

QPXScriptEngine& Engine() { return QPXScriptEngine::Instance(); }

}  // namespace

QPXCompleteDlg::QPXCompleteDlg(pugi::xml_node dlgElement)
    : QPXDialogFrame(dlgElement, QPXFrameTraits()) {}

bool QPXCompleteDlg::OnSetup() {
    ContainerUIObjectImpl* body = Body();
    if (!body) return true;
    ApplyStartupCheck(FindControlOf<CheckBoxUIObjectImpl>(body, L"StartupChk"));
    ShowOffers(body);
    return true;
}

// Each row of BindVertCon opens with a check box whose "$global$" names the offer; a row
// whose global is set shows, with the value in its text.
void QPXCompleteDlg::ShowOffers(ContainerUIObjectImpl* body) {
    ContainerUIObjectImpl* bind = body->FindContainer(L"Bind");
    ContainerUIObjectImpl* rows = bind ? bind->FindContainer(L"BindVertCon") : nullptr;
    if (!rows) return;
    for (const auto& row : rows->GetContainers()) {
        if (row->GetControls().empty()) continue;
        auto* box = dynamic_cast<CheckBoxUIObjectImpl*>(row->GetControls().front().get());
        std::wstring name;
        if (!box || !FirstDollarToken(box->GetText(), name)) continue;
        LogLine(L"%s", name.c_str());
        const std::wstring value = Engine().GetGlobalString(GlobalName(name).c_str());
        LogLine(L"%s", value.c_str());
        if (value.empty()) continue;
        box->SetText(ReplaceAll(box->GetText(), L"$" + name + L"$", value));
        row->SetVisible(true);
    }
}

bool QPXCompleteDlg::OnAction(UINT action, WPARAM, LPARAM) {
    switch (action) {
        case kClose:
            EndWith(kResultDone);
            return true;
        case kStartProduct:
            LaunchInstalledProduct();
            EndWith(kResultDone);
            return true;
        default:
            return false;
    }
}

void LaunchInstalledProduct() {
    const std::wstring folder = ExpandPath(Engine().GetGlobalString(kGlobalInstallPath));
    const std::wstring program = folder + L"\\" + Engine().GetGlobalString(kGlobalMainAppName);
    const std::wstring parameters = Engine().GetGlobalString(kGlobalStartParameter);
    if (Engine().GetGlobalBoolean(kGlobalStartUseExplorerLevel)) {
        LaunchAsShellUser(program, parameters, folder);
    } else {
        ShellExecuteW(nullptr, nullptr, program.c_str(), parameters.c_str(), nullptr, SW_SHOWNORMAL);
    }
}

void QPXCompleteDlg::OnCleanup() {
    if (!Root()) return;
    for (CheckBoxUIObjectImpl* box : Root()->CollectControlsOfType<CheckBoxUIObjectImpl>())
        Engine().SetGlobalBoolean(GlobalName(box->GetName()).c_str(), box->IsChecked());
}
