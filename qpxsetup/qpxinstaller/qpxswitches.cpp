// The installer's own command-line switches, for unattended runs, the log file and the language.
#include "qpxswitches.h"

#include <cwctype>

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

// The word starting at `at` (quotes group blanks into it and are dropped); `at` moves past it.
std::wstring NextWord(const std::wstring& line, size_t& at) {
    std::wstring word;
    bool quoted = false;
    for (; at < line.size() && (quoted || !IsBlank(line[at])); ++at) {
        if (line[at] == L'"') quoted = !quoted; else word += line[at];
    }
    return word;
}

// `word` is "/<name>" or "-<name>", case aside, followed by `tail` ("" or "=").
bool IsSwitch(const std::wstring& word, const wchar_t* name, size_t& valueAt) {
    if (word.size() < 2 || (word[0] != L'/' && word[0] != L'-')) return false;
    size_t i = 1;
    for (; name[i - 1]; ++i) {
        if (i >= word.size() || std::towupper(word[i]) != name[i - 1]) return false;
    }
    valueAt = i;
    return name[i - 2] == L'=' || i == word.size();
}

std::wstring Unquoted(std::wstring text) {
    while (!text.empty() && IsBlank(text.back())) text.pop_back();
    if (text.size() >= 2 && text.front() == L'"' && text.back() == L'"') text = text.substr(1, text.size() - 2);
    return text;
}

}  // namespace

InstallerSwitches ParseSwitches(const std::wstring& line) {
    InstallerSwitches switches;
    size_t at = 0;
    NextWord(line, at);  // the program
    for (;;) {
        while (at < line.size() && IsBlank(line[at])) ++at;
        if (at >= line.size()) break;
        const size_t start = at;
        const std::wstring word = NextWord(line, at);
        size_t valueAt = 0;
        if (IsSwitch(word, L"D=", valueAt)) {
            switches.hasFolder = true;
            // A switch quoted whole is one word; otherwise the folder is the rest of the line.
            switches.folder = line[start] == L'"' ? word.substr(valueAt)
                                                  : Unquoted(line.substr(start + valueAt));
            break;
        }
        if (IsSwitch(word, L"S", valueAt)) {
            switches.silent = true;
        } else if (IsSwitch(word, L"LAUNCH", valueAt)) {
            switches.launch = true;
        } else if (IsSwitch(word, L"LOG=", valueAt)) {
            switches.hasLogFile = true;
            switches.logFile = word.substr(valueAt);
        } else if (IsSwitch(word, L"LANG=", valueAt)) {
            switches.hasLanguage = true;
            switches.language = word.substr(valueAt);
        } else if (IsSwitch(word, L"ORIGIN=", valueAt)) {
            switches.hasOrigin = true;
            switches.origin = word.substr(valueAt);
        } else if (IsSwitch(word, L"STARTFOLDER=", valueAt)) {
            switches.hasStartFolder = true;
            switches.startFolder = word.substr(valueAt);
        }
    }
    return switches;
}

std::wstring CommandLineTail(const std::wstring& line) {
    size_t at = 0;
    NextWord(line, at);
    while (at < line.size() && IsBlank(line[at])) ++at;
    return line.substr(at);
}
