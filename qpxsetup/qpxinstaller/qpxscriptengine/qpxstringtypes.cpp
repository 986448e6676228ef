// The script string types: AString (narrow text in the thread's ANSI code page) and WString
// (UTF-16), each a userdata block that is nothing but its characters.
#include "qpxstringtypes.h"

#include <windows.h>

#include <cstring>
#include <string>

#include "lauxlib.h"
#include "qpxluaargs.h"
#include "qpxtext.h"

namespace {

// Both types share every algorithm; `Char` is char for AString and wchar_t for WString.
template <typename Char>
using Text = std::basic_string<Char>;

template <typename Char>
const char* MetaTableName();
template <>
const char* MetaTableName<char>() { return "AStringMetaTable"; }
template <>
const char* MetaTableName<wchar_t>() { return "WStringMetaTable"; }

// Narrow text never meets UTF-8 directly: it goes through UTF-16 with the thread's code page.
std::wstring Widen(const std::string& ansi) { return CodePageToWide(CP_THREAD_ACP, ansi.c_str()); }
std::string Narrow(const std::wstring& wide) {
    return WideToCodePage(CP_THREAD_ACP, wide.c_str());
}

template <typename Char>
Text<Char> FromWide(const std::wstring& wide);
template <>
std::string FromWide<char>(const std::wstring& wide) { return Narrow(wide); }
template <>
std::wstring FromWide<wchar_t>(const std::wstring& wide) { return wide; }

template <typename Char>
Text<Char> FromAnsi(const std::string& ansi);
template <>
std::string FromAnsi<char>(const std::string& ansi) { return ansi; }
template <>
std::wstring FromAnsi<wchar_t>(const std::string& ansi) { return Widen(ansi); }

std::wstring ToWide(const std::string& ansi) { return Widen(ansi); }
std::wstring ToWide(const std::wstring& wide) { return wide; }

// The characters of an object. Native code may have filled the block without a terminator,
// so every scan stops at the block's end.
template <typename Char>
struct Block {
    Char* data;
    size_t capacity;  // in characters

    size_t Length() const {
        size_t length = 0;
        while (length < capacity && data[length] != 0) ++length;
        return length;
    }
    Text<Char> Contents() const { return Text<Char>(data, Length()); }
};

// The object at `index` when it is of this type (its metatable is the registry's entry).
template <typename Char>
bool TestBlock(lua_State* state, int index, Block<Char>* block) {
    void* data = luaL_testudata(state, index, MetaTableName<Char>());
    if (!data) return false;
    *block = {static_cast<Char*>(data), lua_rawlen(state, index) / sizeof(Char)};
    return true;
}

template <typename Char>
Block<Char> CheckBlock(lua_State* state, int index) {
    void* data = luaL_checkudata(state, index, MetaTableName<Char>());
    return {static_cast<Char*>(data), lua_rawlen(state, index) / sizeof(Char)};
}

// The text of any script value in this type's encoding: strings and numbers are UTF-8, the
// two string objects give their contents, everything else (absent included) is empty.
template <typename Char>
Text<Char> ValueText(lua_State* state, int index) {
    switch (lua_type(state, index)) {
    case LUA_TSTRING:
    case LUA_TNUMBER:
        return FromWide<Char>(Utf8ToWide(lua_tostring(state, index)));
    case LUA_TUSERDATA: {
        Block<char> ansi;
        if (TestBlock(state, index, &ansi)) return FromAnsi<Char>(ansi.Contents());
        Block<wchar_t> wide;
        if (TestBlock(state, index, &wide)) return FromWide<Char>(wide.Contents());
        return {};
    }
    default:
        return {};
    }
}

// A new object of `capacity` characters holding `text` and its terminator. The whole block
// starts zeroed, so nothing of the allocator's old memory reaches scripts or native code.
template <typename Char>
void PushObject(lua_State* state, const Text<Char>& text, size_t capacity) {
    void* data = lua_newuserdata(state, capacity * sizeof(Char));
    std::memset(data, 0, capacity * sizeof(Char));
    std::memcpy(data, text.data(), text.size() * sizeof(Char));
    luaL_setmetatable(state, MetaTableName<Char>());
}

// New(size [, init]): `size` counts characters with the terminator; a text longer than that
// wins. Two or more arguments mean an initial text is given, even when it is nil.
template <typename Char>
int New(lua_State* state) {
    const lua_Integer size = lua_tointegerx(state, 1, nullptr);
    Text<Char> text;
    if (lua_gettop(state) >= 2) {
        text = ValueText<Char>(state, 2);
    } else if (size <= 0) {
        lua_pushnil(state);
        return 1;
    }
    const size_t length = text.size();
    const size_t capacity =
        size > 0 && static_cast<size_t>(size) > length ? static_cast<size_t>(size) : length + 1;
    PushObject(state, text, capacity);
    return 1;
}

// s[i]: the character at 0-based i; nil before the block and at or beyond its end.
template <typename Char>
int Index(lua_State* state) {
    const Block<Char> block = CheckBlock<Char>(state, 1);
    const lua_Integer position = lua_tointegerx(state, 2, nullptr);
    if (position < 0 || static_cast<size_t>(position) >= block.capacity) {
        lua_pushnil(state);
        return 1;
    }
    const Char character = block.data[position];
    const Text<Char> one = character ? Text<Char>(1, character) : Text<Char>();
    lua_pushstring(state, WideToUtf8(ToWide(one)).c_str());
    return 1;
}

// s[i] = v: replaces one character inside the text; position 0, the terminator and what lies
// beyond are never written, so the length never changes.
template <typename Char>
int NewIndex(lua_State* state) {
    const Block<Char> block = CheckBlock<Char>(state, 1);
    const lua_Integer position = lua_tointegerx(state, 2, nullptr);
    const int valueType = lua_type(state, 3);
    const Text<Char> value = valueType == LUA_TSTRING || valueType == LUA_TNUMBER
                                 ? FromWide<Char>(Utf8ToWide(lua_tostring(state, 3)))
                                 : Text<Char>();
    if (position >= 1 && static_cast<size_t>(position) < block.Length() && !value.empty())
        block.data[position] = value[0];
    return 0;
}

template <typename Char>
int Length(lua_State* state) {
    lua_pushunsigned(state, static_cast<lua_Unsigned>(CheckBlock<Char>(state, 1).Length()));
    return 1;
}

template <typename Char>
int ToString(lua_State* state) {
    lua_pushstring(state, WideToUtf8(ToWide(CheckBlock<Char>(state, 1).Contents())).c_str());
    return 1;
}

// a .. b: a new object of this type, exactly as long as the joined text. Lua runs the first
// operand's metamethod if it has one, so this object may be either operand.
template <typename Char>
int Concat(lua_State* state) {
    const Text<Char> joined = ValueText<Char>(state, 1) + ValueText<Char>(state, 2);
    PushObject(state, joined, joined.size() + 1);
    return 1;
}

template <typename Char>
int Equal(lua_State* state) {
    Block<Char> a, b;
    const bool equal =
        TestBlock(state, 1, &a) && TestBlock(state, 2, &b) && a.Contents() == b.Contents();
    lua_pushboolean(state, equal);
    return 1;
}

template <typename Char>
int OpenStringType(lua_State* state) {
    const luaL_Reg library[] = {{"New", New<Char>}, {nullptr, nullptr}};
    const luaL_Reg metamethods[] = {
        {"__index", Index<Char>},   {"__newindex", NewIndex<Char>}, {"__len", Length<Char>},
        {"__tostring", ToString<Char>}, {"__concat", Concat<Char>}, {"__eq", Equal<Char>},
        {nullptr, nullptr},
    };
    return OpenValueType(state, library, MetaTableName<Char>(), metamethods);
}

}  // namespace

int OpenAString(lua_State* state) { return OpenStringType<char>(state); }
int OpenWString(lua_State* state) { return OpenStringType<wchar_t>(state); }
