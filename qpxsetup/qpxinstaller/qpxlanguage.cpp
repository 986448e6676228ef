// The language of a run: its choice, the engine's texts in it and the product's file of it.
#include "qpxlanguage.h"

#include <windows.h>

#include <cwchar>

#include "qpxglobals.h"
#include "qpxlog.h"
#include "qpxresource.h"
#include "qpxscriptengine.h"
#include "qpxswitches.h"
#include "qpxtexts.h"

namespace {

// A product's language file lang/<tag>.lua is stored compiled as the script LANG_<tag>.LUAC.
constexpr wchar_t kScriptType[] = L"LUA";
constexpr wchar_t kFilePrefix[] = L"LANG_";
constexpr wchar_t kFileSuffix[] = L".LUAC";
bool Contains(const std::vector<std::wstring>& tags, const std::wstring& tag) {
    for (const std::wstring& item : tags)
        if (SameLanguageTag(item, tag)) return true;
    return false;
}

// The tags of the product's language files, as stored: in upper case.
std::vector<std::wstring> LanguageFiles() {
    const size_t prefix = std::wcslen(kFilePrefix);
    const size_t suffix = std::wcslen(kFileSuffix);
    std::vector<std::wstring> tags;
    for (const std::wstring& name : ProgramResourceNames(kScriptType)) {
        if (name.size() <= prefix + suffix || !SameLanguageTag(name.substr(0, prefix), kFilePrefix) ||
            !SameLanguageTag(name.substr(name.size() - suffix), kFileSuffix))
            continue;
        tags.push_back(name.substr(prefix, name.size() - prefix - suffix));
    }
    return tags;
}

// The product's languages: its own list, or the engine's followed by those of its files.
std::vector<std::wstring> OfferedLanguages(QPXScriptEngine& engine, const std::vector<std::wstring>& files) {
    std::vector<std::wstring> offered = engine.GetGlobalStringList(kGlobalLanguages);
    if (!offered.empty()) return offered;
    offered = EngineLanguages();
    for (const std::wstring& tag : files)
        if (!Contains(offered, tag)) offered.push_back(tag);
    return offered;
}

// The stored file of `tag`, else of its primary language; empty when the product has neither.
std::wstring LanguageFile(const std::vector<std::wstring>& files, const std::wstring& tag) {
    for (const std::wstring& wanted : {tag, PrimaryLanguage(tag)})
        for (const std::wstring& file : files)
            if (SameLanguageTag(file, wanted)) return kFilePrefix + file + kFileSuffix;
    return {};
}

}  // namespace

std::wstring ResolveLanguage(const std::wstring& asked, const std::vector<std::wstring>& user,
                             const std::vector<std::wstring>& offered) {
    if (asked.empty()) return kDefaultLanguage;
    if (!SameLanguageTag(asked, kAutomaticLanguage)) return asked;
    for (const std::wstring& wanted : user)
        if (const std::wstring* tag = MatchLanguage(offered, wanted)) return *tag;
    return offered.empty() ? kDefaultLanguage : offered.front();
}

std::vector<std::wstring> UserUiLanguages() {
    std::vector<std::wstring> tags;
    ULONG count = 0, units = 0;
    if (GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &count, nullptr, &units) && units > 0) {
        std::wstring list(units, L'\0');  // tags, each ended by a null, and a null after the last
        if (GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &count, list.data(), &units)) {
            for (size_t at = 0; at < list.size() && list[at] != L'\0'; at += std::wcslen(&list[at]) + 1)
                tags.emplace_back(&list[at]);
        }
    }
    wchar_t name[LOCALE_NAME_MAX_LENGTH];
    if (tags.empty() &&
        LCIDToLocaleName(MAKELCID(GetUserDefaultUILanguage(), SORT_DEFAULT), name, LOCALE_NAME_MAX_LENGTH, 0) > 0)
        tags.emplace_back(name);
    return tags;
}

void ChooseLanguage(QPXScriptEngine& engine, const InstallerSwitches& switches) {
    const std::wstring asked = switches.hasLanguage ? switches.language : engine.GetGlobalString(kGlobalLanguage);
    const std::vector<std::wstring> files = LanguageFiles();
    // The user's and the product's languages matter only to "auto".
    const bool automatic = SameLanguageTag(asked, kAutomaticLanguage);
    const std::wstring tag = automatic ? ResolveLanguage(asked, UserUiLanguages(), OfferedLanguages(engine, files))
                                       : ResolveLanguage(asked, {}, {});
    if (!asked.empty()) LogLine(L"language %s, asked for %s\r\n", tag.c_str(), asked.c_str());
    UseEngineTexts(tag);
    engine.SetGlobalString(kGlobalChosenLanguage, tag);
    const std::wstring file = LanguageFile(files, tag);
    if (!file.empty()) engine.DoResLua(kScriptType, file.c_str());
    for (const auto& [name, text] : engine.GetGlobalStringTable(kGlobalEngineTexts)) {
        if (!OverrideEngineText(name, text))
            LogLine(L"%S: no engine text is named %S\r\n", kGlobalEngineTexts, name.c_str());
    }
}
