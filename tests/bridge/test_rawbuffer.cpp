// RawBuffer: round trips of every width and sign, texts and pointers, and accesses that would
// reach outside the block.
#include <gtest/gtest.h>

#include <string>

#include "bridgescript.h"

namespace {

TEST(RawBufferValues, EveryWidthAndSignRoundTrips) {
    ScriptState s;
    EXPECT_EQ(s.Run("local b = RawBuffer.New(8) "
                    "for i = 0, 7 do eq(b:OffsetGetAsUInt8(i), 0, 'zeroed') end "
                    "b:OffsetSetAsUInt32(0, 4294967295) eq(b:OffsetGetAsInt32(0), -1, 'i32') "
                    "eq(b:OffsetGetAsUInt32(0), 4294967295, 'u32') "
                    "b:OffsetSetAsInt32(0, -2) eq(b:OffsetGetAsUInt32(0), 4294967294, 'i32 as u32') "
                    "b:OffsetSetAsUInt32(0, -1) eq(b:OffsetGetAsInt32(0), -1, 'negative wraps') "
                    "b:OffsetSetAsInt16(0, -2) eq(b:OffsetGetAsUInt16(0), 65534, 'u16') "
                    "eq(b:OffsetGetAsInt16(0), -2, 'i16') eq(b:OffsetGetAsUInt16(2), 65535, 'kept') "
                    "b:OffsetSetAsUInt16(0, 65537) eq(b:OffsetGetAsUInt16(0), 1, 'low 2 bytes') "
                    "b:OffsetSetAsInt8(0, 200) eq(b:OffsetGetAsInt8(0), -56, 'i8') "
                    "eq(b:OffsetGetAsUInt8(0), 200, 'u8') eq(b:OffsetGetAsUInt8(1), 0, 'next byte') "
                    "b:OffsetSetAsUInt8(7, -1) eq(b:OffsetGetAsUInt8(7), 255, 'u8 wraps') "
                    "b:OffsetSetAsUInt32(3, 0x04030201) eq(b:OffsetGetAsUInt8(3), 1, 'little end') "
                    "eq(b:OffsetGetAsUInt8(6), 4, 'big end') eq(b:OffsetGetAsInt32(3), 0x04030201, "
                    "'unaligned') b:OffsetSetAsInt32(0, 2.5) eq(b:OffsetGetAsInt32(0), 2, 'halves') "
                    "b:OffsetSetAsBoolean(4, 'any text') eq(b:OffsetGetAsUInt32(4), 1, 'true') "
                    "eq(b:OffsetGetAsBoolean(4), true, 'read true') b:OffsetSetAsBoolean(4, nil) "
                    "eq(b:OffsetGetAsUInt32(4), 0, 'false') eq(b:OffsetGetAsBoolean(4), false, 'f')"),
              "");
    EXPECT_EQ(s.Run("eq(RawBuffer.New(0), nil, 'zero') eq(RawBuffer.New(), nil, 'none') "
                    "eq(RawBuffer.New('x'), nil, 'text') eq(kind(RawBuffer.New('3')), 'R', 'num')"),
              "");
}

TEST(RawBufferValues, TextsAndPointers) {
    ScriptState s;
    EXPECT_EQ(s.Run("local b = RawBuffer.New(32) "
                    "b:OffsetSetAsWString(2, WString.New(nil, 'héllo 中')) "
                    "eq(b:OffsetGetAsWString(2), 'héllo 中', 'wide') "
                    "eq(b:OffsetGetAsWString(4), 'éllo 中', 'wide from inside') "
                    "b:OffsetSetAsAString(20, AString.New(nil, 'narrow')) "
                    "eq(b:OffsetGetAsAString(20), 'narrow', 'narrow') "
                    "local t = RawBuffer.New(4) t:OffsetSetAsAString(0, AString.New(4, 'abc')) "
                    "t:OffsetSetAsUInt8(3, 100) eq(t:OffsetGetAsAString(0), 'abcd', 'no terminator') "
                    "eq(t:OffsetGetAsWString(2), string.char(0xE6, 0x91, 0xA3), 'last unit') "
                    "local w = pointer_size "
                    "local p, q = RawBuffer.New(2 * w), RawBuffer.New(2 * w) "
                    "p:OffsetSetAsPointer(0, b) q:OffsetSetAsPointer(0, b:OffsetGetAsPointer(0)) "
                    "eq(p:OffsetGetAsUInt32(0), q:OffsetGetAsUInt32(0), 'same address') "
                    "eq(p:OffsetGetAsUInt32(0) ~= 0, true, 'an address') "
                    "q:OffsetSetAsPointer(w, b:OffsetGetAsPointer(5)) "
                    "eq(q:OffsetGetAsUInt32(w) - q:OffsetGetAsUInt32(0), 5, 'inside') "
                    "p:OffsetSetAsPointer(w, 1234) eq(p:OffsetGetAsUInt32(w), 0, 'not a pointer') "
                    "p:OffsetSetAsWString(0, p) eq(p:OffsetGetAsUInt32(w), 0, 'copy onto itself')"),
              "");
}

TEST(RawBufferBounds, AccessesOutsideTheBlockFailAndTouchNothing) {
    ScriptState s;
    EXPECT_EQ(s.Run(R"(
        local b = RawBuffer.New(4)
        b:OffsetSetAsUInt32(0, 0x11223344)
        local function fails(what, f, ...)
            local ok, err = pcall(f, b, ...)
            eq(ok, false, what)
            eq(type(err), 'string', what)
            eq(b:OffsetGetAsUInt32(0), 0x11223344, what .. ' left the block alone')
        end
        fails('i32 at 1', b.OffsetGetAsInt32, 1)
        fails('i32 at -1', b.OffsetGetAsInt32, -1)
        fails('u16 at 3', b.OffsetGetAsUInt16, 3)
        fails('u8 at 4', b.OffsetGetAsUInt8, 4)
        fails('huge', b.OffsetGetAsUInt8, 2147483647)
        fails('set u32 at 1', b.OffsetSetAsUInt32, 1, 0)
        fails('set i8 at -1', b.OffsetSetAsInt8, -1, 0)
        fails('set bool at 2', b.OffsetSetAsBoolean, 2, true)
        fails('set ptr at 4', b.OffsetSetAsPointer, 4, b)
        fails('pointer at end', b.OffsetGetAsPointer, 4)
        fails('wide at 3', b.OffsetGetAsWString, 3)
        fails('narrow at 4', b.OffsetGetAsAString, 4)
        fails('block too long', b.OffsetSetAsWString, 0, WString.New(3))
        fails('block at 1', b.OffsetSetAsAString, 1, AString.New(4))
        fails('a Lua string', b.OffsetSetAsWString, 0, 'text')
        fails('nil value', b.OffsetSetAsAString, 0, nil)
        fails('light userdata value', b.OffsetSetAsAString, 0, b:OffsetGetAsPointer(0))
        eq(b:OffsetGetAsUInt8(3), 0x11, 'last byte')
        eq(pcall(b.OffsetGetAsInt32, 5, 0), false, 'number receiver')
        eq(pcall(b.OffsetGetAsInt32, b:OffsetGetAsPointer(0), 0), false, 'light receiver')
        eq(pcall(b.OffsetGetAsInt32), false, 'no receiver')
        local _, err = pcall(b.OffsetGetAsInt32, b, 2)
        eq(err, 'RawBuffer: 4 bytes at offset 2 reach outside the 4 bytes of the block', 'message')
    )"),
              "");
}

}  // namespace
