// The engine's own texts (its message boxes, the folder browser's titles, the window-title
// suffixes) in the language of the run: a table of the engine's own per language, over which a
// product's language file may put texts of its own; and the language tags that name them.
#pragma once

#include <string>
#include <vector>

enum class TextId {
    kFolderRefused,          // the options' install folder is one the uninstaller must not remove
    kInstallPathInvalid,
    kBackupPathInvalid,
    kDiskSpaceShort,         // {1}: the megabytes needed, two decimals
    kErrorCaption,
    kNoticeCaption,
    kQuitQuestion,
    kQuitCaption,
    kBrowseInstallTitle,
    kBrowseBackupTitle,
    kScriptErrorCaption,
    kScriptErrorFeedback,    // the sentence below the script error and its call stack
    kDeleteFailed,           // {1}: the file Lua_DeleteFile could not delete
    kDeleteFailedCaption,
    kUninstallCopyFailed,
    kUninstallCaption,
    kNotInstalled,           // {1}: the product's name
    kUninstallFolderRefused, // {1}: the folder
    kUninstallScriptsBroken,
    kSetupTitleSuffix,       // after the product's name in the installer's window titles
    kUninstallTitleSuffix,   // after the product's name in the uninstaller's window titles
    kCount
};

// The language of a run that chooses none: the engine's texts as they have always been.
constexpr wchar_t kDefaultLanguage[] = L"zh-CN";

// The text in the run's language. Set on the main thread before any other thread runs; read
// from any thread afterwards.
const std::wstring& EngineText(TextId id);
// The text with every "{1}" replaced by `argument`, which is not searched again.
std::wstring EngineText(TextId id, const std::wstring& argument);
// The name a product's language file gives the text: "quit_question" and so on.
const char* EngineTextName(TextId id);

// From now on the engine's own texts of `tag`: its table for the tag, else for the tag's
// primary language (zh-TW: zh-CN's), else English. Texts overridden before are replaced too.
void UseEngineTexts(const std::wstring& tag);
// Puts `text` in place of the text named `name` for the rest of the run; false when no engine
// text has that name.
bool OverrideEngineText(const std::string& name, const std::wstring& text);

// Language tags ("zh-CN", "en") compared as the standard compares them: without regard to case.
bool SameLanguageTag(const std::wstring& a, const std::wstring& b);
// The tag's first subtag, its language: "zh" of "zh-Hans-CN".
std::wstring PrimaryLanguage(const std::wstring& tag);
// The first of `tags` that is `wanted`, else the first of the same language; null for none.
const std::wstring* MatchLanguage(const std::vector<std::wstring>& tags, const std::wstring& wanted);
// The languages the engine has texts of, its default first.
const std::vector<std::wstring>& EngineLanguages();
