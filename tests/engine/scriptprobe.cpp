// Runs engine operations in a process of its own, so tests can read the debug lines they
// write:  scriptprobe chunk <file> [hook [worker]] | journaled <folder> <file> | missing-resource |
//         long-log | format-log | api-fail
// With "worker" the hook runs on a thread of its own while this thread posts progress, as the
// progress dialog does. "journaled" records the chunk's changes in the install journal of
// <folder>, as an installation that can be rolled back does, and exits with 1 when the chunk
// ran and left the global `result` true.
#include <windows.h>

#include <atomic>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "qpxjournal.h"
#include "qpxlog.h"
#include "qpxluaargs.h"
#include "qpxscriptengine.h"

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    const std::wstring command = argv[1];
    QPXScriptEngine& engine = QPXScriptEngine::Instance();
    if (command == L"chunk" && argc >= 3) {
        std::ifstream file(argv[2], std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        if (!engine.RunChunk(bytes.data(), bytes.size(), "probe")) return 0;
        if (argc < 4) return 1;
        const std::string hook(argv[3], argv[3] + wcslen(argv[3]));
        if (argc < 5) {
            engine.CallHook(hook.c_str());
            return 1;
        }
        std::atomic<bool> done{false};
        std::thread worker([&] {
            engine.CallHook(hook.c_str());
            done = true;
        });
        for (int position = 0; !done; position = (position + 1) % 100) {
            engine.PostGlobalNumber("global_install_progress_pos", position);
            Sleep(1);
        }
        worker.join();
        return 1;
    }
    if (command == L"journaled" && argc == 4) {
        InstallJournal& journal = InstallJournal::Instance();
        journal.Arm();
        journal.Begin(argv[2], true);
        std::ifstream file(argv[3], std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        const bool ran = engine.RunChunk(bytes.data(), bytes.size(), "probe");
        journal.Complete();
        return ran && engine.GetGlobalBoolean("result") ? 1 : 0;
    }
    if (command == L"missing-resource") return engine.DoResLua(L"LUA", L"NOPE.LUAC") ? 1 : 0;
    if (command == L"long-log") {
        LogLine(L"%s\r\n", std::wstring(3000, L'a').c_str());
        return 1;
    }
    if (command == L"format-log") {
        LogLine(L"%s\r\n", L"100%s %d %n");
        return 1;
    }
    if (command == L"api-fail") {
        SetLastError(ERROR_ACCESS_DENIED);
        LogApiFailureJoined(L"OpenSCManager failed!", kScriptEngineLogFile, 42);
        SetLastError(ERROR_FILE_NOT_FOUND);
        LogLine(L"a free line\r\n");
        SetLastError(ERROR_FILE_NOT_FOUND);
        LogApiFailure(kScriptEngineLogFile, 43);
        return 1;
    }
    return 2;
}
