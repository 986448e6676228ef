// An installation without a window: every page takes the layout's defaults, the options are
// checked as the dialog checks them, and the install hook runs on the main thread.
#include "qpxunattended.h"

#include <string>

#include "qpxcompletedlg.h"
#include "qpxdlgtext.h"
#include "qpxglobals.h"
#include "qpxinitdlg.h"
#include "qpxinstalldlg.h"
#include "qpxlog.h"
#include "qpxscriptengine.h"

namespace {

constexpr int kFull = 100;

QPXScriptEngine& Engine() { return QPXScriptEngine::Instance(); }

// The check box whose first state comes from global_startup_check, as the dialogs set it.
bool IsStartupCheck(const std::wstring& name) { return name == L"SelfStartChk" || name == L"StartupChk"; }

// The text boxes and check boxes of a page as the dialog shows them first: a text box's
// "$global$" replaced by that global when it is set, a check box's `checked` attribute.
void CollectDefaults(pugi::xml_node element, InitDlgRules::TextChoices& texts,
                     InitDlgRules::CheckChoices& checks) {
    for (pugi::xml_node child : element.children()) {
        const std::wstring kind = child.name();
        const std::wstring name = child.attribute(L"name").value();
        if (kind == L"TextBox") {
            std::wstring text = child.text().get();
            std::wstring token;
            if (FirstDollarToken(text, token)) {
                const std::wstring value = Engine().GetGlobalString(GlobalName(token).c_str());
                if (!value.empty()) text = ReplaceAll(text, L"$" + token + L"$", value);
            }
            texts.emplace_back(name, text);
        } else if (kind == L"CheckBox") {
            const bool checked = IsStartupCheck(name) ? Engine().GetGlobalBoolean(kGlobalStartupCheck)
                                                      : child.attribute(L"checked").as_bool(false);
            checks.emplace_back(name, checked);
        }
        CollectDefaults(child, texts, checks);
    }
}

}  // namespace

bool UnattendedPages::Options(pugi::xml_node dlgElement) {
    InitDlgRules::TextChoices texts;
    InitDlgRules::CheckChoices checks;
    CollectDefaults(dlgElement, texts, checks);
    const auto refusal = InitDlgRules::ConfirmChoices(texts, checks);
    if (!refusal) return true;
    LogLine(L"unattended installation stopped: %s\r\n", refusal->text.c_str());
    return false;
}

bool UnattendedPages::Progress(pugi::xml_node) {
    Engine().SetGlobalNumber(kGlobalInstallProgressElapse, QPXInstallDlg::PayloadProgressElapse());
    Engine().CallHook(kHookOnInstall);
    Engine().SetGlobalNumber(kGlobalInstallProgressPos, kFull);
    return true;
}

bool UnattendedPages::Completion(pugi::xml_node dlgElement) {
    InitDlgRules::TextChoices texts;
    InitDlgRules::CheckChoices checks;
    CollectDefaults(dlgElement, texts, checks);
    for (const auto& [name, checked] : checks) Engine().SetGlobalBoolean(GlobalName(name).c_str(), checked);
    if (launch_) LaunchInstalledProduct();
    return true;
}
