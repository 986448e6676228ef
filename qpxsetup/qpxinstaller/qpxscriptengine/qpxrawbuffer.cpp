// RawBuffer: byte blocks for native calls, with typed reads and writes at byte offsets. Every
// access is checked against the block, so a script can never reach memory outside it.
#include "qpxrawbuffer.h"

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "lauxlib.h"
#include "qpxluaargs.h"
#include "qpxtext.h"

namespace {

constexpr char kMetaTable[] = "RawBufferMetaTable";

// Methods take their operands by position from the top of the stack: a getter has the
// receiver second-to-last and the offset last; a setter has receiver, offset, value.
constexpr int kGetterOperands = 2;
constexpr int kSetterOperands = 3;

struct Place {
    unsigned char* data;   // the byte at the offset
    size_t available;      // bytes from there to the end of the block
};

// The place `width` bytes wide at the offset, or a script error when any byte of it would lie
// outside the block. The receiver may be any full userdata (buffers, string objects): only
// those have a known size, so a light userdata is refused.
Place Access(lua_State* state, int operands, size_t width) {
    const int receiver = lua_gettop(state) - operands + 1;
    if (receiver < 1 || lua_type(state, receiver) != LUA_TUSERDATA)
        luaL_error(state, "RawBuffer: the receiver is not a buffer");
    const size_t size = lua_rawlen(state, receiver);
    const lua_Integer offset = lua_tointegerx(state, receiver + 1, nullptr);
    if (offset < 0 || width > size || static_cast<size_t>(offset) > size - width) {
        luaL_error(state, "RawBuffer: %d bytes at offset %d reach outside the %d bytes of the block",
                   static_cast<int>(width), static_cast<int>(offset), static_cast<int>(size));
    }
    auto* block = static_cast<unsigned char*>(lua_touserdata(state, receiver));
    return {block + offset, size - static_cast<size_t>(offset)};
}

template <typename T>
int GetNumber(lua_State* state) {
    T value;
    std::memcpy(&value, Access(state, kGetterOperands, sizeof value).data, sizeof value);
    lua_pushnumber(state, static_cast<lua_Number>(value));
    return 1;
}

// Writes the low bytes of the value read as a signed or an unsigned 32-bit integer.
template <typename T, bool Unsigned>
int SetNumber(lua_State* state) {
    const int top = lua_gettop(state);
    const uint32_t word = Unsigned ? lua_tounsignedx(state, top, nullptr)
                                   : static_cast<uint32_t>(lua_tointegerx(state, top, nullptr));
    const T value = static_cast<T>(word);
    std::memcpy(Access(state, kSetterOperands, sizeof value).data, &value, sizeof value);
    return 0;
}

int GetBoolean(lua_State* state) {
    uint32_t value;
    std::memcpy(&value, Access(state, kGetterOperands, sizeof value).data, sizeof value);
    lua_pushboolean(state, value != 0);
    return 1;
}

// Text from the offset up to its terminator, or up to the block's end when it has none.
template <typename Char>
std::basic_string<Char> TextAt(lua_State* state) {
    const Place place = Access(state, kGetterOperands, sizeof(Char));
    std::basic_string<Char> text;
    for (size_t at = 0; at + sizeof(Char) <= place.available; at += sizeof(Char)) {
        Char character;  // no alignment is required of the offset
        std::memcpy(&character, place.data + at, sizeof character);
        if (character == 0) break;
        text.push_back(character);
    }
    return text;
}

int GetWString(lua_State* state) {
    lua_pushstring(state, WideToUtf8(TextAt<wchar_t>(state)).c_str());
    return 1;
}

int GetAString(lua_State* state) {
    const std::wstring wide = CodePageToWide(CP_THREAD_ACP, TextAt<char>(state).c_str());
    lua_pushstring(state, WideToUtf8(wide).c_str());
    return 1;
}

// The address of the byte at the offset, for native functions that fill a part of the block.
int GetPointer(lua_State* state) {
    lua_pushlightuserdata(state, Access(state, kGetterOperands, 1).data);
    return 1;
}

// Copies the whole block of a string object or another buffer to the offset.
int SetBlock(lua_State* state) {
    const int top = lua_gettop(state);
    if (lua_type(state, top) != LUA_TUSERDATA)
        luaL_error(state, "RawBuffer: the value is not a string object or a buffer");
    const size_t size = lua_rawlen(state, top);
    const void* source = lua_touserdata(state, top);
    std::memmove(Access(state, kSetterOperands, size).data, source, size);
    return 0;
}

int SetBoolean(lua_State* state) {
    const uint32_t value = lua_toboolean(state, lua_gettop(state)) ? 1 : 0;
    std::memcpy(Access(state, kSetterOperands, sizeof value).data, &value, sizeof value);
    return 0;
}

int SetPointer(lua_State* state) {
    const int top = lua_gettop(state);
    const int type = lua_type(state, top);
    const void* pointer =
        type == LUA_TLIGHTUSERDATA || type == LUA_TUSERDATA ? lua_touserdata(state, top) : nullptr;
    std::memcpy(Access(state, kSetterOperands, sizeof pointer).data, &pointer, sizeof pointer);
    return 0;
}

// New(size): `size` zero bytes, or nil for 0 (a missing or non-numeric size included).
int New(lua_State* state) {
    const lua_Unsigned size = lua_tounsignedx(state, 1, nullptr);
    if (size == 0) {
        lua_pushnil(state);
        return 1;
    }
    std::memset(lua_newuserdata(state, size), 0, size);
    luaL_setmetatable(state, kMetaTable);
    return 1;
}

const luaL_Reg kMethods[] = {
    {"OffsetGetAsInt32", GetNumber<int32_t>},
    {"OffsetGetAsUInt32", GetNumber<uint32_t>},
    {"OffsetGetAsInt16", GetNumber<int16_t>},
    {"OffsetGetAsUInt16", GetNumber<uint16_t>},
    {"OffsetGetAsInt8", GetNumber<int8_t>},
    {"OffsetGetAsUInt8", GetNumber<uint8_t>},
    {"OffsetGetAsWString", GetWString},
    {"OffsetGetAsAString", GetAString},
    {"OffsetGetAsBoolean", GetBoolean},
    {"OffsetGetAsPointer", GetPointer},
    {"OffsetSetAsInt32", SetNumber<int32_t, false>},
    {"OffsetSetAsUInt32", SetNumber<uint32_t, true>},
    {"OffsetSetAsInt16", SetNumber<int16_t, false>},
    {"OffsetSetAsUInt16", SetNumber<uint16_t, true>},
    {"OffsetSetAsInt8", SetNumber<int8_t, false>},
    {"OffsetSetAsUInt8", SetNumber<uint8_t, true>},
    {"OffsetSetAsWString", SetBlock},
    {"OffsetSetAsAString", SetBlock},
    {"OffsetSetAsBoolean", SetBoolean},
    {"OffsetSetAsPointer", SetPointer},
    {nullptr, nullptr},
};

}  // namespace

int OpenRawBuffer(lua_State* state) {
    const luaL_Reg library[] = {{"New", New}, {nullptr, nullptr}};
    return OpenValueType(state, library, kMetaTable, kMethods);
}
