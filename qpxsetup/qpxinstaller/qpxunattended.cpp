// A run without a window: every page takes the layout's defaults and the work hook runs on the
// main thread.
#include "qpxunattended.h"

#include "qpxchoices.h"
#include "qpxcompletedlg.h"
#include "qpxglobals.h"
#include "qpxinitdlg.h"
#include "qpxinstalldlg.h"
#include "qpxlog.h"
#include "qpxscriptengine.h"

namespace {

constexpr int kFull = 100;

QPXScriptEngine& Engine() { return QPXScriptEngine::Instance(); }

}  // namespace

bool UnattendedPages::Options(pugi::xml_node dlgElement) {
    const PageChoices choices = DefaultChoices(dlgElement);
    if (!run_.checkOptions) {
        WriteChoices(choices);
        return true;
    }
    const auto refusal = InitDlgRules::ConfirmChoices(choices);
    if (!refusal) return true;
    LogLine(L"unattended installation stopped: %s\r\n", refusal->text.c_str());
    return false;
}

bool UnattendedPages::Progress(pugi::xml_node) {
    Engine().SetGlobalNumber(kGlobalInstallProgressElapse, QPXInstallDlg::PayloadProgressElapse());
    Engine().CallHook(run_.workHook);
    Engine().SetGlobalNumber(kGlobalInstallProgressPos, kFull);
    return true;
}

bool UnattendedPages::Completion(pugi::xml_node dlgElement) {
    PageChoices choices = DefaultChoices(dlgElement);
    choices.texts.clear();  // the completion page hands over its check boxes only
    WriteChoices(choices);
    if (run_.launch) LaunchInstalledProduct();
    return true;
}
