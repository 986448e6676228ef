// The common utilities: the program's resources and path expansion.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "qpxpath.h"
#include "qpxresource.h"
#include "testsupport.h"

namespace {

std::string Bytes(const ProgramResource& resource) {
    return std::string(static_cast<const char*>(resource.Data()), resource.Size());
}

TEST(ProgramResource, FoundByNameWithoutRegardToCaseOrByTheLowBitsOfANumber) {
    const std::string expected = ReadFileBytes(ProgramFolder() + L"archives\\plain.bin");
    const ProgramResource byName(L"TXT", L"note.bin");  // stored as NOTE.BIN
    EXPECT_TRUE(byName.Loaded());
    EXPECT_EQ(Bytes(byName), expected);
    const ProgramResource byNumber(L"TXT", 0x10007u);  // stored as number 7
    EXPECT_EQ(Bytes(byNumber), expected);
}

TEST(ProgramResource, AMissingOneHasNoBytesAndLeavesTheSystemsReason) {
    SetLastError(ERROR_SUCCESS);
    const ProgramResource missing(L"TXT", L"NOPE");
    EXPECT_NE(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_FALSE(missing.Loaded());
    EXPECT_EQ(missing.Data(), nullptr);
    EXPECT_EQ(missing.Size(), 0u);
    EXPECT_EQ(ProgramResource(L"NOTYPE", 7u).Data(), nullptr);
}

TEST(ExpandPath, LongExpansionsAreExpandedWhole) {
    const std::wstring longValue(400, L'd');
    SetEnvironmentVariableW(L"QPX_LONG", longValue.c_str());
    EXPECT_EQ(ExpandPath(L"%QPX_LONG%\\file.txt"), longValue + L"\\file.txt");
    SetEnvironmentVariableW(L"QPX_SHORT", L"C:\\short");
    EXPECT_EQ(ExpandPath(L"%QPX_SHORT%\\a"), L"C:\\short\\a");
    EXPECT_EQ(ExpandPath(L"%QPX_UNDEFINED%\\a"), L"%QPX_UNDEFINED%\\a");
    EXPECT_EQ(ExpandPath(L""), L"");
}

}  // namespace
