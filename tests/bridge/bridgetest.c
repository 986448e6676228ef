/* A DLL for the bridge tests: exports of both conventions with 0 to 8 arguments that record
   what they receive and set a last error, plus text and buffer helpers. Words are as wide as a
   pointer, as the bridge passes them. */
#include <windows.h>

#include <stdint.h>
#include <string.h>

static uintptr_t recorded[8];
static int recordedCount = -1;

static uintptr_t Record(int count, const uintptr_t* words) {
    recordedCount = count;
    for (int i = 0; i < count; ++i) recorded[i] = words[i];
    SetLastError(1000 + count);
    return 0x1000 + (uintptr_t)count;
}

#define WORDS1 uintptr_t a1
#define WORDS2 WORDS1, uintptr_t a2
#define WORDS3 WORDS2, uintptr_t a3
#define WORDS4 WORDS3, uintptr_t a4
#define WORDS5 WORDS4, uintptr_t a5
#define WORDS6 WORDS5, uintptr_t a6
#define WORDS7 WORDS6, uintptr_t a7
#define WORDS8 WORDS7, uintptr_t a8
#define LIST1 a1
#define LIST2 LIST1, a2
#define LIST3 LIST2, a3
#define LIST4 LIST3, a4
#define LIST5 LIST4, a5
#define LIST6 LIST5, a6
#define LIST7 LIST6, a7
#define LIST8 LIST7, a8

#define EXPORTS(n)                                                              \
    __declspec(dllexport) uintptr_t __stdcall Std##n(WORDS##n) {                 \
        const uintptr_t words[] = {LIST##n};                                     \
        return Record(n, words);                                                \
    }                                                                           \
    __declspec(dllexport) uintptr_t __cdecl Cdecl##n(WORDS##n) {                 \
        const uintptr_t words[] = {LIST##n};                                     \
        return Record(n, words);                                                \
    }

__declspec(dllexport) uintptr_t __stdcall Std0(void) { return Record(0, recorded); }
__declspec(dllexport) uintptr_t __cdecl Cdecl0(void) { return Record(0, recorded); }
EXPORTS(1)
EXPORTS(2)
EXPORTS(3)
EXPORTS(4)
EXPORTS(5)
EXPORTS(6)
EXPORTS(7)
EXPORTS(8)

/* What the last call received: its word count, and each word (1-based), whole or the upper
   32 bits of it. */
__declspec(dllexport) int __cdecl RecordedCount(void) { return recordedCount; }
__declspec(dllexport) uintptr_t __cdecl RecordedWord(int position) {
    return position >= 1 && position <= 8 ? recorded[position - 1] : 0xDEADBEEF;
}
__declspec(dllexport) uint32_t __cdecl RecordedHigh(int position) {
    return (uint32_t)((unsigned long long)RecordedWord(position) >> 32);
}

/* Returns its argument unchanged, for every result type. */
__declspec(dllexport) uintptr_t __stdcall Echo(uintptr_t value) { return value; }

/* Text helpers: the length of narrow and wide text, and writers that fill a caller's buffer. */
__declspec(dllexport) int __stdcall TextLengthA(const char* text) { return (int)strlen(text); }
__declspec(dllexport) int __stdcall TextLengthW(const wchar_t* text) { return (int)wcslen(text); }

/* Fills `size` bytes with 1, 2, 3...; returns how many it wrote. */
__declspec(dllexport) int __stdcall FillBytes(unsigned char* block, int size) {
    for (int i = 0; i < size; ++i) block[i] = (unsigned char)(i + 1);
    return size;
}

__declspec(dllexport) BOOL __stdcall WriteWide(wchar_t* buffer, int capacity) {
    static const wchar_t text[] = L"\x5199\x5165 ok";
    if (capacity < (int)(sizeof text / sizeof text[0])) return FALSE;
    memcpy(buffer, text, sizeof text);
    return TRUE;
}
