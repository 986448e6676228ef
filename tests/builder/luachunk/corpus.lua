-- Compiled by tests/builder/test_luachunk.py: every part of a chunk that a size_t touches or
-- passes by (strings of every length, constants of every type, nested functions, upvalues,
-- locals, line info). Changing this file means making corpus32*.luac again (see the test).

-- Constants of every type: nil, booleans and the number forms, including those the compiler
-- keeps by their bytes (negative zero) and infinite literals.
local t = {}
t.none, t[true], t[false] = nil, false, true
local numbers = { 0, 1, -1, 42, 255, 256, 65535, 65536, 2147483647, -2147483648, 4294967296,
  9007199254740993, 1e308, 1.7976931348623157e308, 5e-324, 2.2250738585072014e-308,
  0.1, 3.14159, 1e-10, -0.0, 0x7fffffff, 0xffffffffffffffff, 0x1p4, 1e999, -1e999 }
-- Folded by the compiler. Each result is exact in double: an inexact fold such as 1e17 % 3 or
-- 1 + (2^-53 + 2^-64) comes out differently from a compiler built for x87 arithmetic.
local folded = { 2^10, 7 % 3, -(2^63), 1 / 4, 3 * 1.5, 10 - 0.5, -(-3), -7.5 % 2, 2^-1074 }
if t.none == nil and t[true] ~= false then t.x = nil end

-- Strings: empty, with NULs, long brackets, escapes and UTF-8.
local strings = { "", "a", "a\0b", "\0", "tab\tnewline\n", "\255\254\1", "\x41\66",
  [[long
bracket string]], [==[with ]] inside]==], "Grüße, 日本語, Ελληνικά, emoji 🎉",
  "skipped \z
   space" }

-- Varargs, fixed parameters and both kinds of upvalue: `b` and `c` are captured from the
-- enclosing function's stack, the deeper ones through the enclosing function's upvalues.
local function outer(a, ...)
  local b, rest = a, select("#", ...)
  return function(c)
    local function middle(d, ...)
      local packed = table.pack(...)
      return function(e)
        return function(...)
          local deepest = { a, b, c, d, e, rest, packed.n, ... }
          return #deepest, string.format("%s:%s", tostring(b), tostring(c))
        end
      end
    end
    return middle(c, b, a)
  end
end

-- Locals in nested blocks, loops, goto and methods.
local Counter = {}
Counter.__index = Counter
function Counter.new(start) return setmetatable({ value = start or 0 }, Counter) end
function Counter:add(n)
  for i = 1, n do
    local odd = i % 2 == 1
    if odd then goto continue end
    self.value = self.value + i
    ::continue::
  end
  for key, value in pairs({ x = 1, y = 2 }) do
    local pair = key .. "=" .. tostring(value)
    self.last = pair
  end
  return self
end

-- A string whose size needs more than one byte. A string enters the chunk only as a literal,
-- so it is written out.
local medium = [[
00 the quick brown fox jumps over the lazy dog, Grüße 日本
01 the quick brown fox jumps over the lazy dog, Grüße 日本
02 the quick brown fox jumps over the lazy dog, Grüße 日本
03 the quick brown fox jumps over the lazy dog, Grüße 日本
04 the quick brown fox jumps over the lazy dog, Grüße 日本]]
return outer(1, 2, 3)(4)(5)(6, 7), Counter.new(1):add(10).value, #medium,
  #strings, #numbers, #folded
