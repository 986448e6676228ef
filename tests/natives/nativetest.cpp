// Shared by the native function tests: running Lua in-process or in a probe process of its
// own, and starting copies of the test program.
#include "nativetest.h"

#include "qpxscriptengine.h"
#include "qpxtext.h"

bool RunLua(const std::string& code) {
    return QPXScriptEngine::Instance().RunChunk(code.data(), code.size(), "test");
}

std::string LuaText(const std::wstring& text) { return "[==[" + WideToUtf8(text) + "]==]"; }

bool GlobalBoolean(const char* name) { return QPXScriptEngine::Instance().GetGlobalBoolean(name); }

std::wstring GlobalText(const char* name) { return QPXScriptEngine::Instance().GetGlobalString(name); }

double GlobalNumber(const char* name) {
    lua_State* state = QPXScriptEngine::Instance().GetState();
    lua_getglobal(state, name);
    const double value = lua_tonumberx(state, -1, nullptr);
    lua_pop(state, 1);
    return value;
}

std::unique_ptr<LoggedProcess> RunProbe(const std::string& code, const std::wstring& extra) {
    static int serial = 0;
    const std::wstring chunk = FreshTempPath(L"qpx_probe_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                                             std::to_wstring(++serial) + L".lua");
    WriteFileBytes(chunk, code);
    auto probe = std::make_unique<LoggedProcess>();
    probe->Start(L"\"" + ProgramFolder() + L"scriptprobe.exe\" chunk \"" + chunk + L"\"" + extra);
    probe->Wait(120000);
    DeleteFileW(chunk.c_str());
    return probe;
}

std::wstring CopyTestProgram(const std::wstring& exeName) {
    const std::wstring copy = FreshTempPath(exeName);
    CopyFileW((ProgramFolder() + L"qpxtestprog.exe").c_str(), copy.c_str(), FALSE);
    return copy;
}

StartedProgram::~StartedProgram() {
    if (!info_.hProcess) return;
    if (!WaitEnded(0)) {
        TerminateProcess(info_.hProcess, 0);
        WaitEnded(5000);
    }
    CloseHandle(info_.hProcess);
    CloseHandle(info_.hThread);
}

bool StartedProgram::Start(const std::wstring& program, const std::wstring& arguments) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    return CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &info_) != FALSE;
}

bool StartedProgram::WaitEnded(DWORD timeoutMs) const {
    return WaitForSingleObject(info_.hProcess, timeoutMs) == WAIT_OBJECT_0;
}

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool WaitForFile(const std::wstring& path, DWORD timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (!FileExists(path)) {
        if (GetTickCount64() >= end) return false;
        Sleep(50);
    }
    return true;
}

std::wstring ReadUtf8File(const std::wstring& path) {
    const std::string bytes = ReadFileBytes(path);
    return Utf8ToWide(bytes.c_str(), bytes.size());
}
