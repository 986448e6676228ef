// The language of a run: asked for with /LANG= or the product's `global_language` (a tag, or
// "auto" for the user's UI language among the product's languages), the engine's texts in it,
// the product's own file of it and the tag handed to the scripts.
#pragma once

#include <string>
#include <vector>

class QPXScriptEngine;
struct InstallerSwitches;

// What a product asks for to have the user's UI language chosen.
constexpr wchar_t kAutomaticLanguage[] = L"auto";

// The language `asked` stands for. "auto" takes, for the first of the user's UI languages
// `user` (the most preferred first) that one of `offered` (the product's languages) matches,
// that one of them: the same tag, else the same primary language (en-GB takes en); when none
// matches, the product's first. Any other tag stands for itself; none for the default.
std::wstring ResolveLanguage(const std::wstring& asked, const std::vector<std::wstring>& user,
                             const std::vector<std::wstring>& offered);

// The user's UI languages, the most preferred first.
std::vector<std::wstring> UserUiLanguages();

// After the globals script, before the script that follows it: chooses the run's language,
// puts the engine's texts of it in place, runs the product's language file of it (a product's
// `global_engine_texts` then replace engine texts by name) and sets `global_chosen_language`.
// A run that asks for no language gets the default one, as runs always had.
void ChooseLanguage(QPXScriptEngine& engine, const InstallerSwitches& switches);
