// The run's language: which tag a product's request stands for, the engine's texts in it and a
// product's texts over them, the /LANG= switch, the string tables scripts hand over and the
// "$global_...$" texts of layouts.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "qpxdlgtext.h"
#include "qpxlanguage.h"
#include "qpxscriptengine.h"
#include "qpxswitches.h"
#include "qpxtexts.h"

namespace {

using Tags = std::vector<std::wstring>;

TEST(Language, AutoTakesTheUsersLanguageAmongTheProductsAndElseTheProductsFirst) {
    const Tags offered{L"zh-CN", L"en"};
    EXPECT_EQ(ResolveLanguage(L"auto", {L"en-US"}, offered), L"en");
    EXPECT_EQ(ResolveLanguage(L"AUTO", {L"zh-CN"}, offered), L"zh-CN");
    EXPECT_EQ(ResolveLanguage(L"auto", {L"zh-TW"}, offered), L"zh-CN");  // its primary language
    // Never an unrelated language: the product's first.
    EXPECT_EQ(ResolveLanguage(L"auto", {L"de-DE"}, offered), L"zh-CN");
    EXPECT_EQ(ResolveLanguage(L"auto", {L"de-DE"}, {L"en", L"zh-CN"}), L"en");
    EXPECT_EQ(ResolveLanguage(L"auto", {}, {L"en", L"zh-CN"}), L"en");
    // The user's languages in their order: the first that matches wins, even by its primary
    // language over an exact match further down; the product's own spelling of the tag.
    EXPECT_EQ(ResolveLanguage(L"auto", {L"en-GB", L"zh-CN"}, {L"zh-CN", L"en-US"}), L"en-US");
    EXPECT_EQ(ResolveLanguage(L"auto", {L"fr-FR", L"EN-us"}, {L"de", L"en-US", L"en"}), L"en-US");
    EXPECT_EQ(ResolveLanguage(L"auto", {L"en"}, {}), kDefaultLanguage);
}

TEST(Language, ATagStandsForItselfAndNoneForTheDefault) {
    EXPECT_EQ(ResolveLanguage(L"", {L"en-US"}, {L"en"}), kDefaultLanguage);
    EXPECT_EQ(ResolveLanguage(L"de", {L"en-US"}, {L"en"}), L"de");
    EXPECT_EQ(ParseSwitches(L"setup.exe /S /lang=en-GB /LOG=x.log").language, L"en-GB");
    EXPECT_TRUE(ParseSwitches(L"setup.exe -LANG=auto").hasLanguage);
    EXPECT_FALSE(ParseSwitches(L"setup.exe /LANGUAGE=en /LANG").hasLanguage);
    EXPECT_FALSE(UserUiLanguages().empty());
}

TEST(EngineTexts, ChineseUntilAnotherLanguageIsChosenAndEnglishForEveryOther) {
    // The texts the engine has always shown, byte for byte.
    EXPECT_EQ(EngineText(TextId::kQuitQuestion), L"您确定要退出安装程序？");
    EXPECT_EQ(EngineText(TextId::kSetupTitleSuffix), L"安装");
    EXPECT_EQ(EngineText(TextId::kDeleteFailed, L"C:\\a\\b.dll"),
              L"无法删除\"C:\\a\\b.dll\"，可能是被占用，请关闭占用程序后点击重试或者点击忽略在卸载完成之后手动删除！");
    EXPECT_EQ(EngineText(TextId::kNotInstalled, L"Corvane {1}"), L"Corvane {1} 未安装或已被卸载。");
    const std::map<std::wstring, std::wstring> quitQuestion = {
        {L"en", L"Are you sure you want to quit setup?"}, {L"EN-gb", L"Are you sure you want to quit setup?"},
        {L"de", L"Are you sure you want to quit setup?"}, {L"zh-TW", L"您确定要退出安装程序？"},
        {L"zh-CN", L"您确定要退出安装程序？"}};
    for (const auto& [tag, text] : quitQuestion) {
        UseEngineTexts(tag);
        EXPECT_EQ(EngineText(TextId::kQuitQuestion), text) << tag.c_str();
    }
    UseEngineTexts(L"en");
    EXPECT_EQ(EngineText(TextId::kSetupTitleSuffix), L" Setup");
    UseEngineTexts(kDefaultLanguage);
}

TEST(EngineTexts, AProductReplacesTextsByNameUntilTheLanguageIsChosenAgain) {
    EXPECT_TRUE(OverrideEngineText("quit_question", L"Wirklich beenden?"));
    EXPECT_FALSE(OverrideEngineText("quit", L"unknown names change nothing"));
    EXPECT_EQ(EngineText(TextId::kQuitQuestion), L"Wirklich beenden?");
    EXPECT_EQ(EngineText(TextId::kQuitCaption), L"提醒");
    for (int id = 0; id < static_cast<int>(TextId::kCount); ++id)
        EXPECT_NE(EngineTextName(static_cast<TextId>(id)), nullptr);
    UseEngineTexts(kDefaultLanguage);
    EXPECT_EQ(EngineText(TextId::kQuitQuestion), L"您确定要退出安装程序？");
}

TEST(ScriptGlobals, ListsAndTablesOfStrings) {
    QPXScriptEngine& engine = QPXScriptEngine::Instance();
    const char script[] =
        "qpx_list = { 'en', 'zh-CN', 3, 'after a number' }\n"
        "qpx_table = { quit_question = 'Quit?', [1] = 'numbered', other = 4 }\n"
        "qpx_text = 'no table'\n";
    ASSERT_TRUE(engine.RunChunk(script, sizeof script - 1, "test"));
    EXPECT_EQ(engine.GetGlobalStringList("qpx_list"), (Tags{L"en", L"zh-CN"}));
    EXPECT_TRUE(engine.GetGlobalStringList("qpx_text").empty());
    EXPECT_TRUE(engine.GetGlobalStringList("qpx_unset").empty());
    const auto table = engine.GetGlobalStringTable("qpx_table");
    ASSERT_EQ(table.size(), 1u);
    EXPECT_EQ(table[0].first, "quit_question");
    EXPECT_EQ(table[0].second, L"Quit?");
    EXPECT_TRUE(engine.GetGlobalStringTable("qpx_text").empty());
}

TEST(DialogTexts, GlobalTokensShowTheirGlobalsTextWhereItHasOne) {
    const std::map<std::string, std::wstring> globals = {{"global_welcome", L"Welcome"}, {"global_x", L"$y$"}};
    const auto valueOf = [&globals](const std::string& name) {
        const auto found = globals.find(name);
        return found == globals.end() ? std::wstring() : found->second;
    };
    EXPECT_EQ(FillGlobalTokens(L"$global_welcome$!", valueOf), L"Welcome!");
    EXPECT_EQ(FillGlobalTokens(L"$global_welcome$ $global_welcome$", valueOf), L"Welcome Welcome");
    // Unset globals and other dollar signs stay; what a value brings is not read again.
    EXPECT_EQ(FillGlobalTokens(L"$5 and $global_unset$", valueOf), L"$5 and $global_unset$");
    EXPECT_EQ(FillGlobalTokens(L"$5 $global_welcome$", valueOf), L"$5 Welcome");
    EXPECT_EQ(FillGlobalTokens(L"$other$ $global_x$ $", valueOf), L"$other$ $y$ $");
}

}  // namespace
