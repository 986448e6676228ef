// Corvane's statistics DLL in the sample product: instead of sending anything over the network,
// every call appends one line naming itself and its arguments to CorvaneStat.log beside the DLL,
// or to the file CORVANE_STAT_LOG names (the uninstaller loads a copy from a folder it removes).
#include <windows.h>

#include <initializer_list>
#include <string>

#include "corvanemodule.h"
#include "qpxhandle.h"

namespace {

constexpr wchar_t kReportName[] = L"CorvaneStat.log";

std::wstring ReportPath() {
    wchar_t named[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"CORVANE_STAT_LOG", named, MAX_PATH);
    if (length > 0 && length < MAX_PATH) return named;
    std::wstring path = ModulePath(ThisModule());
    size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return L"";
    return path.substr(0, slash + 1) + kReportName;
}

std::string Number(int value) { return std::to_string(value); }

std::string Text(const char* text) { return text ? text : "nil"; }

std::string Flag(BOOL value) { return value ? "1" : "0"; }

// Appends "<name>(<arguments>)" and a line end (UTF-8, the strings as the caller gave them).
void Record(const char* name, std::initializer_list<std::string> arguments = {}) {
    std::string line = std::string(name) + "(";
    const char* separator = "";
    for (const std::string& argument : arguments) {
        line += separator + argument;
        separator = ",";
    }
    line += ")\r\n";
    const std::wstring path = ReportPath();
    if (path.empty()) return;
    // Appending in one write keeps lines whole even if two processes report at once.
    UniqueKernelHandle file(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written;
    if (file) WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

}  // namespace

#define STAT_EXPORT extern "C" __declspec(dllexport)

STAT_EXPORT void WINAPI stat_unionid(int channel) { Record("stat_unionid", {Number(channel)}); }

STAT_EXPORT void WINAPI stat_appid(int appId) { Record("stat_appid", {Number(appId)}); }

STAT_EXPORT void WINAPI stat_level(int level) { Record("stat_level", {Number(level)}); }

STAT_EXPORT void WINAPI stat_version_ex(int a, int b, int c, int d) {
    Record("stat_version_ex", {Number(a), Number(b), Number(c), Number(d)});
}

STAT_EXPORT void WINAPI stat_install_addr(const char* host, int port) {
    Record("stat_install_addr", {Text(host), Number(port)});
}

STAT_EXPORT BOOL WINAPI stat_init() {
    Record("stat_init");
    return TRUE;
}

// 1 means "recorded", as for the post below.
STAT_EXPORT int WINAPI stat_install(int kind) {
    Record("stat_install", {Number(kind)});
    return 1;
}

// 1 means "posted": the report file stands in for the server.
STAT_EXPORT int WINAPI stat_http_post(const char* url, const char* body, int length, BOOL wait) {
    Record("stat_http_post", {Text(url), Text(body), Number(length), Flag(wait)});
    return 1;
}

// The uninstaller's report: the reasons ticked ("1,3") and the two texts the user wrote.
STAT_EXPORT void WINAPI stat_uninstall_reason(const char* votes, const char* suggestion, const char* contact) {
    Record("stat_uninstall_reason", {Text(votes), Text(suggestion), Text(contact)});
}

STAT_EXPORT void WINAPI stat_close() { Record("stat_close"); }
