// The user's choices on a page, by control name, read from a page's object tree or from the
// layout's defaults, and handed to the scripts as globals of the controls' names.
#include "qpxchoices.h"

#include "qpxcontainer.h"
#include "qpxcontrols.h"
#include "qpxdlgtext.h"
#include "qpxglobals.h"
#include "qpxlog.h"
#include "qpxscriptengine.h"
#include "qpxtextbox.h"

namespace {

QPXScriptEngine& Engine() { return QPXScriptEngine::Instance(); }

// The boxes the dialogs set from global_startup_check instead of the layout.
bool IsStartupCheck(const std::wstring& name) { return name == L"SelfStartChk" || name == L"StartupChk"; }

void CollectDefaults(pugi::xml_node element, PageChoices& choices) {
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
            choices.texts.emplace_back(name, text);
        } else if (kind == L"CheckBox") {
            const bool checked = IsStartupCheck(name) ? Engine().GetGlobalBoolean(kGlobalStartupCheck)
                                                      : child.attribute(L"checked").as_bool(false);
            choices.checks.emplace_back(name, checked);
        }
        CollectDefaults(child, choices);
    }
}

}  // namespace

PageChoices CurrentChoices(QPXUE::ContainerUIObjectImpl* root) {
    PageChoices choices;
    if (!root) return choices;
    for (QPXUE::TextBoxUIObjectImpl* box : root->CollectControlsOfType<QPXUE::TextBoxUIObjectImpl>())
        choices.texts.emplace_back(box->GetName(), box->GetText());
    for (QPXUE::CheckBoxUIObjectImpl* box : root->CollectControlsOfType<QPXUE::CheckBoxUIObjectImpl>())
        choices.checks.emplace_back(box->GetName(), box->IsChecked());
    return choices;
}

PageChoices DefaultChoices(pugi::xml_node dlgElement) {
    PageChoices choices;
    CollectDefaults(dlgElement, choices);
    return choices;
}

void WriteChoices(const PageChoices& choices) {
    for (const auto& [name, text] : choices.texts) Engine().SetGlobalString(GlobalName(name).c_str(), text);
    for (const auto& [control, checked] : choices.checks) {
        const std::string name = GlobalName(control);
        Engine().SetGlobalBoolean(name.c_str(), checked);
        if (checked) LogLine(L"check Name = %S", name.c_str());
    }
}
