// AString and WString: capacities, character access and assignment, concatenation, equality
// and the code-page conversions of narrow text.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

#include "bridgescript.h"

namespace {

// The block of the userdata held by a global: its bytes, all of them.
std::string BlockOf(ScriptState& script, const char* global) {
    lua_getglobal(script.get(), global);
    const std::string bytes(static_cast<const char*>(lua_touserdata(script.get(), -1)),
                            lua_rawlen(script.get(), -1));
    lua_pop(script.get(), 1);
    return bytes;
}

char* WritableBlock(ScriptState& script, const char* global) {
    lua_getglobal(script.get(), global);
    char* block = static_cast<char*>(lua_touserdata(script.get(), -1));
    lua_pop(script.get(), 1);
    return block;
}

std::string GlobalText(ScriptState& script, const char* global) {
    lua_getglobal(script.get(), global);
    const char* text = lua_tostring(script.get(), -1);
    const std::string result = text ? text : "(not text)";
    lua_pop(script.get(), 1);
    return result;
}

TEST(StringCapacity, SizeCountsTheTerminatorAndALongerTextWins) {
    ScriptState s;
    ASSERT_EQ(s.Run("w10 = WString.New(10) eq(#w10, 0, 'len') eq(tostring(w10), '', 'text') "
                    "a2 = AString.New(2, 'abcde') a10 = AString.New(10, 'ab') "
                    "a0 = AString.New(0, '') wnil = WString.New(nil, nil) "
                    "wnum = WString.New('3', 12.5) wstr = WString.New('12')"),
              "");
    EXPECT_EQ(BlockOf(s, "w10"), std::string(20, '\0'));
    EXPECT_EQ(BlockOf(s, "a2"), std::string("abcde\0", 6));
    // The rest of a block past the text is zeroed as well.
    EXPECT_EQ(BlockOf(s, "a10"), std::string("ab\0\0\0\0\0\0\0\0", 10));
    EXPECT_EQ(BlockOf(s, "a0"), std::string(1, '\0'));
    EXPECT_EQ(BlockOf(s, "wnil"), std::string(2, '\0'));
    EXPECT_EQ(BlockOf(s, "wnum"), std::string("1\0002\000.\0005\0\0\0", 10));  // "12.5" wins
    EXPECT_EQ(BlockOf(s, "wstr").size(), 24u);  // a numeric text is a size

    EXPECT_EQ(s.Run("eq(AString.New(), nil, 'none') eq(AString.New(0), nil, 'zero') "
                    "eq(WString.New(-3), nil, 'negative') eq(WString.New('x'), nil, 'text size') "
                    "eq(#AString.New(-7, 'xy'), 2, 'negative size with text') "
                    "eq(#WString.New(4, {}), 0, 'table text') "
                    "eq(tostring(WString.New(1, AString.New(nil, 'from a'))), 'from a', 'a to w') "
                    "eq(tostring(AString.New(1, WString.New(nil, 'from w'))), 'from w', 'w to a')"),
              "");
}

TEST(StringIndex, ReadsWithinTheBlockAndWritesOnlyInsideTheText) {
    ScriptState s;
    EXPECT_EQ(s.Run("local w = WString.New(nil, 'abc') "
                    "eq(w[0], 'a', '0') eq(w[2], 'c', '2') eq(w[3], '', 'terminator') "
                    "eq(w[4], nil, 'past capacity') eq(w[100000], nil, 'far') eq(w[-1], nil, '-1') "
                    "eq(w.anything, 'a', 'non-numeric key') "
                    "w[1] = 'Z' eq(tostring(w), 'aZc', 'set 1') "
                    "w[3] = 'Q' eq(tostring(w), 'aZc', 'set terminator') "
                    "w[1] = '' eq(tostring(w), 'aZc', 'set empty') "
                    "w[1] = 'xy' eq(tostring(w), 'axc', 'two characters') "
                    "w[0] = 'q' eq(tostring(w), 'axc', 'position 0') "
                    "w[2] = 7 eq(tostring(w), 'ax7', 'number value') "
                    "w[2] = {} eq(tostring(w), 'ax7', 'table value') "
                    "w[1] = '中' eq(tostring(w), 'a中7', 'wide') eq(w[1], '中', 'wide read') "
                    "local a = AString.New(5) a[0] = 'x' a[1] = 'y' "
                    "eq(#a, 0, 'empty stays empty') eq(tostring(a), '', 'empty text') "
                    "eq(a[4], '', 'last byte') eq(a[5], nil, 'past capacity')"),
              "");
}

TEST(StringIndex, NarrowBytesComeBackThroughTheCodePageAndScansStopAtTheBlockEnd) {
    ScriptState s;
    ASSERT_EQ(s.Run("high = AString.New(4) full = AString.New(4) fullw = WString.New(2)"), "");
    std::memcpy(WritableBlock(s, "high"), "x\xE9\0", 3);
    std::memcpy(WritableBlock(s, "full"), "wxyz", 4);  // native code left no terminator
    std::memcpy(WritableBlock(s, "fullw"), L"uv", 4);
    ASSERT_EQ(s.Run("high1 = high[1] eq(high[0], 'x', 'ascii') "
                    "eq(#full, 4, 'len') eq(tostring(full), 'wxyz', 'text') eq(full[4], nil, 'end') "
                    "eq(#fullw, 2, 'wide len') eq(tostring(fullw), 'uv', 'wide text') "
                    "eq(tostring(full .. '!'), 'wxyz!', 'concat') "
                    "eq(full == AString.New(nil, 'wxyz'), true, 'equal')"),
              "");
    const std::string expected = WideToUtf8(CodePageToWide(CP_THREAD_ACP, "\xE9"));
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(GlobalText(s, "high1"), expected);
}

TEST(StringConcat, TheTypeOfTheRunningMetamethodDecides) {
    ScriptState s;
    ASSERT_EQ(s.Run("wa = WString.New(nil, 'x') .. AString.New(nil, 'y') "
                    "eq(kind(wa), 'W', 'W..A') eq(tostring(wa), 'xy', 'W..A text') "
                    "local a5 = AString.New(9, 'y') .. 5 "
                    "eq(kind(a5), 'A', 'A..5') eq(tostring(a5), 'y5', 'A..5 text') "
                    "local aw = AString.New(nil, 'p') .. WString.New(nil, 'q') "
                    "eq(kind(aw), 'A', 'A..W') eq(tostring(aw), 'pq', 'A..W text') "
                    "sw = 'lua ' .. WString.New(nil, 'w') "
                    "eq(kind(sw), 'W', 's..W') eq(tostring(sw), 'lua w', 's..W text') "
                    "local odd = AString.New(nil, 'o') .. {} "
                    "eq(tostring(odd), 'o', 'table operand') "
                    "empty = WString.New(1) .. WString.New(1) eq(#empty, 0, 'empty')"),
              "");
    EXPECT_EQ(BlockOf(s, "wa"), std::string("x\0y\0\0\0", 6));  // exactly joined + 1
    EXPECT_EQ(BlockOf(s, "sw").size(), 12u);
    EXPECT_EQ(BlockOf(s, "empty"), std::string(2, '\0'));
}

TEST(StringEquality, SameTypeAndSameTextOnly) {
    ScriptState s;
    EXPECT_EQ(s.Run("local w1, w2 = WString.New(nil, 'same'), WString.New(50, 'same') "
                    "local a1, a2 = AString.New(nil, 'same'), AString.New(9, 'same') "
                    "eq(w1 == w2, true, 'W==W') eq(a1 == a2, true, 'A==A') "
                    "eq(w1 == a1, false, 'W==A') eq(a1 == 'same', false, 'A==string') "
                    "eq(w1 == WString.New(nil, 'Same'), false, 'case') "
                    "eq(w1 ~= WString.New(nil, 'other'), true, 'different')"),
              "");
}

TEST(StringText, WideKeepsEverythingNarrowKeepsWhatTheCodePageHas) {
    ScriptState s;
    const std::string text = "Grüße 中文 😀";
    lua_pushstring(s.get(), text.c_str());
    lua_setglobal(s.get(), "t");
    ASSERT_EQ(s.Run("wide = tostring(WString.New(nil, t)) narrow = tostring(AString.New(nil, t)) "
                    "eq(#WString.New(nil, t), 11, 'units')"),
              "");
    EXPECT_EQ(GlobalText(s, "wide"), text);
    const std::wstring wide = Utf8ToWide(text.c_str());
    const std::string viaCodePage = WideToUtf8(
        CodePageToWide(CP_THREAD_ACP, WideToCodePage(CP_THREAD_ACP, wide.c_str()).c_str()));
    EXPECT_EQ(GlobalText(s, "narrow"), viaCodePage);
}

TEST(StringMetamethods, CalledWithAnotherValueTheyRaiseAScriptError) {
    ScriptState s;
    EXPECT_EQ(s.Run("local m = getmetatable(WString.New(2)) "
                    "eq(pcall(m.__len, 5), false, 'len') eq(pcall(m.__index, {}, 1), false, 'index') "
                    "eq(pcall(m.__tostring, AString.New(2)), false, 'other type') "
                    "eq(m.__eq(5, 6), false, 'eq')"),
              "");
}

}  // namespace
