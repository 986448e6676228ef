// Feeds the hostile archives of mutate_archives.py, one after another, to the script's
// extraction (Lua_UnCompress7z) and checks each outcome: false with its log line, or true
// with the very files 7-Zip extracts; false whenever 7-Zip's test refuses the archive; never
// a write outside the destination, never longer than a bound. A crash ends the process: the
// runner (run_fuzz.py) sees which case it was.
//   fuzz_extract <folder of the mutants> <first case>
// Prints "begin <n>" before a case and "<verdict> <n> [detail]" after it, verdicts "refused",
// "accepted", "escape", "corrupt" (true with other files, or for an archive 7-Zip refuses),
// "silent" (false without its log line) and "hang"; "done" at the end.
#include <windows.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "7zCrc.h"
#include "archivetest.h"
#include "fuzzsupport.h"
#include "qpxhandle.h"
#include "qpxlog.h"
#include "qpxscriptengine.h"
#include "qpxtext.h"
#include "testsupport.h"

namespace {

constexpr DWORD kCaseTimeoutMs = 30000;

// The manifest's tree of an archive 7-Zip's test refuses.
const wchar_t kRefused[] = L"REFUSED";

struct Case {
    std::wstring file;
    std::wstring tree;
};

std::vector<Case> ReadManifest(const std::wstring& folder) {
    std::istringstream manifest(ReadFileBytes(folder + L"\\manifest.txt"));
    std::vector<Case> cases;
    std::string line;
    while (std::getline(manifest, line)) {
        std::istringstream fields(line);
        std::string file, tree;
        std::getline(fields, file, '\t');
        std::getline(fields, tree, '\t');
        cases.push_back({Utf8ToWide(file.data(), file.size()), Utf8ToWide(tree.data(), tree.size())});
    }
    return cases;
}

// The files below `folder` as mutate_archives.py lists them: lower-case name, size, CRC-32.
void ListTree(const std::wstring& folder, const std::wstring& prefix, std::vector<std::string>& lines) {
    WIN32_FIND_DATAW found;
    const UniqueFindHandle find(FindFirstFileW((folder + L"\\*").c_str(), &found));
    if (!find) return;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring path = folder + L"\\" + name;
        std::wstring relative = prefix + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            ListTree(path, relative + L"/", lines);
            continue;
        }
        CharLowerW(relative.data());
        const std::string bytes = ReadFileBytes(path);
        char digest[32];
        wsprintfA(digest, "\t%u\t%08x", static_cast<unsigned>(bytes.size()),
                  static_cast<unsigned>(CrcCalc(bytes.data(), bytes.size())));
        lines.push_back(WideToUtf8(relative) + digest);
    } while (FindNextFileW(find.get(), &found));
}

std::string TreeText(const std::wstring& folder) {
    std::vector<std::string> lines;
    ListTree(folder, L"", lines);
    std::sort(lines.begin(), lines.end());
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) return 2;
    const std::wstring folder = argv[1];
    const std::vector<Case> cases = ReadManifest(folder);
    const size_t first = wcstoul(argv[2], nullptr, 10);
    CrcGenerateTable();

    // Everything happens in a sandbox of the run's own: the destination is its only child.
    const std::wstring sandbox = FuzzSandbox(L"qpx_fuzz_extract");
    const std::wstring destination = sandbox + L"\\dest";
    const std::wstring log = FuzzLogFile(L"qpx_fuzz_extract.log");
    QPXScriptEngine& engine = QPXScriptEngine::Instance();
    engine.SetGlobalString("fuzz_destination", destination);

    for (size_t n = first; n < cases.size(); ++n) {
        const Case& c = cases[n];
        Report("begin", n);
        RemoveTree(sandbox);
        CreateDirectoryW(sandbox.c_str(), nullptr);
        CreateDirectoryW(destination.c_str(), nullptr);
        engine.SetGlobalString("fuzz_archive", folder + L"\\mutants\\" + c.file);
        engine.SetGlobalBoolean("fuzz_ok", false);
        const size_t logStart = LogSize(log);
        const std::string chunk = "fuzz_ok = Lua_UnCompress7z(fuzz_archive, fuzz_destination, true)";
        if (!RunBounded(kCaseTimeoutMs, [&] { engine.RunChunk(chunk.data(), chunk.size(), "fuzz"); })) {
            Report("hang", n);
            return 3;
        }
        const std::string lines = LogTail(log, logStart);
        if (OnlyChildIs(sandbox, L"dest") == false) {
            Report("escape", n);
            continue;
        }
        if (!engine.GetGlobalBoolean("fuzz_ok")) {
            Report(lines.find("UnCompress failed") != std::string::npos ? "refused" : "silent", n);
            continue;
        }
        if (c.tree == kRefused) {
            Report("corrupt", n);
            continue;
        }
        const std::string expected = ReadFileBytes(folder + L"\\trees\\" + c.tree + L".tree");
        Report(TreeText(destination) == expected ? "accepted" : "corrupt", n);
    }
    RemoveTree(sandbox);
    Report("done", cases.size());
    return 0;
}
