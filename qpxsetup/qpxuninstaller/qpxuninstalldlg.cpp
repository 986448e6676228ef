// The uninstaller's own pages: the first asks for the reasons and hands them, with the user's
// words, to the script before the product is removed; the last ends the run.
#include "qpxuninstalldlg.h"

#include <string>

#include "qpxchoices.h"
#include "qpxcontrols.h"
#include "qpxdlgtext.h"
#include "qpxscriptengine.h"

using QPXUE::CheckBoxUIObjectImpl;
using QPXUE::LabelUIObjectImpl;

namespace {

enum Action : UINT { kKeep = 100, kUninstall = 101, kDone = 102 };
constexpr int kResultGoOn = 1;
constexpr int kResultKeep = 2;

// The text with its first "$global$" replaced by that global's value.
template <typename Control>
void FillToken(Control* control) {
    std::wstring name;
    if (!FirstDollarToken(control->GetText(), name)) return;
    const std::wstring value = QPXScriptEngine::Instance().GetGlobalString(GlobalName(name).c_str());
    control->SetText(ReplaceAll(control->GetText(), L"$" + name + L"$", value));
}

QPXFrameTraits FrameTraits() {
    QPXFrameTraits traits = TextInputFrameTraits();
    traits.titleSuffix = TextId::kUninstallTitleSuffix;
    return traits;
}

}  // namespace

QPXUninstallDlg::QPXUninstallDlg(pugi::xml_node dlgElement)
    : QPXDialogFrame(dlgElement, FrameTraits()) {}

bool QPXUninstallDlg::OnSetup() {
    for (LabelUIObjectImpl* label : Root()->CollectControlsOfType<LabelUIObjectImpl>()) FillToken(label);
    for (CheckBoxUIObjectImpl* box : Root()->CollectControlsOfType<CheckBoxUIObjectImpl>()) FillToken(box);
    return true;
}

bool QPXUninstallDlg::OnAction(UINT action, WPARAM, LPARAM) {
    switch (action) {
        case kKeep:
            EndWith(kResultKeep);
            return true;
        case kUninstall:
            WriteChoices(CurrentChoices(Root()));
            EndWith(kResultGoOn);
            return true;
        case kDone:
            EndWith(kResultGoOn);
            return true;
        default:
            return false;
    }
}
