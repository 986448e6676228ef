// Registry functions of the script library: read, write and delete values and key trees,
// always in the installer's own view (the 32-bit one for a 32-bit installer: no view flag).
// While an installation is recorded, each key made, value written and deletion goes into the
// install journal with what it replaced.
#include "qpxregistry.h"

#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

#include "qpxhandle.h"
#include "qpxjournal.h"
#include "qpxlog.h"
#include "qpxluaargs.h"
#include "qpxtext.h"

namespace {

constexpr DWORD kMaxKeyNameUnits = 256;  // 255 and the terminator
constexpr DWORD kMaxValueNameUnits = 16384;

InstallJournal& Journal() { return InstallJournal::Instance(); }

int PushNil(lua_State* state) {
    lua_pushnil(state);
    return 1;
}

// A text value up to its first terminator; stored texts need not carry one, so the buffer
// keeps a terminator of its own after the data.
bool ReadText(HKEY key, const wchar_t* name, DWORD size, std::wstring& text) {
    std::vector<wchar_t> buffer(size / 2 + size % 2 + 1, L'\0');
    if (RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer.data()),
                         &size) != ERROR_SUCCESS) {
        return false;
    }
    text.assign(buffer.data(), wcsnlen(buffer.data(), size / 2));
    return true;
}

// One byte per pair of hexadecimal digits; an odd last digit is a byte of its own value.
// A pair that does not start with a digit repeats the byte before it (0 for the first).
std::vector<BYTE> PackHexBytes(const std::wstring& text) {
    std::vector<BYTE> bytes((text.size() + 1) / 2, 0);
    unsigned value = 0;
    for (size_t i = 0; i < text.size(); i += 2) {
        const int high = HexDigit(text[i]);
        if (high >= 0) {
            const int low = i + 1 < text.size() ? HexDigit(text[i + 1]) : -1;
            value = low >= 0 ? static_cast<unsigned>(high * 16 + low) : static_cast<unsigned>(high);
        }
        bytes[i / 2] = static_cast<BYTE>(value);
    }
    return bytes;
}

LONG SetText(HKEY key, const wchar_t* name, DWORD type, const std::wstring& text) {
    const DWORD size = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(text.c_str()), size);
}

// Writes argument 5 as the named type; any other type name writes nothing (and says so with
// ERROR_INVALID_PARAMETER).
LONG WriteValue(lua_State* state, HKEY key, const wchar_t* name, const std::wstring& typeName) {
    if (typeName == L"REG_SZ") {
        return SetText(key, name, REG_SZ, ArgPath(state, 5));  // expanded whole, whatever its length
    } else if (typeName == L"REG_EXPAND_SZ") {
        return SetText(key, name, REG_EXPAND_SZ, ArgText(state, 5));
    } else if (typeName == L"REG_DWORD") {
        const DWORD value = ArgUInt(state, 5);
        return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
    } else if (typeName == L"REG_BINARY") {
        const std::vector<BYTE> bytes = PackHexBytes(ArgText(state, 5));
        return RegSetValueExW(key, name, 0, REG_BINARY, bytes.data(), static_cast<DWORD>(bytes.size()));
    }
    return ERROR_INVALID_PARAMETER;
}

// The levels of `key` below `root` that do not exist yet, outermost first.
std::vector<std::wstring> MissingKeys(HKEY root, const std::wstring& key) {
    std::vector<std::wstring> missing;
    for (std::wstring at = key; !at.empty();) {
        UniqueRegKey opened;
        if (RegOpenKeyExW(root, at.c_str(), 0, KEY_READ, opened.put()) == ERROR_SUCCESS) break;
        missing.insert(missing.begin(), at);
        const size_t slash = at.find_last_of(L'\\');
        at = slash == std::wstring::npos ? std::wstring() : at.substr(0, slash);
    }
    return missing;
}

// The values of an open key as they are, for the records of its deletion.
std::vector<std::pair<std::wstring, RegistryData>> ValuesOf(HKEY key) {
    std::vector<std::pair<std::wstring, RegistryData>> values;
    std::vector<wchar_t> name(kMaxValueNameUnits);
    for (DWORD index = 0;; ++index) {
        DWORD length = kMaxValueNameUnits;
        if (RegEnumValueW(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        const std::wstring valueName(name.data(), length);
        values.emplace_back(valueName, ReadRegistryValue(key, valueName.c_str()));
    }
    return values;
}

// Deletes `path` below `parent` with everything under it; the first failure's code. While an
// installation is recorded, each key deleted is recorded after its values, its subkeys before
// it, so that a rollback makes them again parents first. `fullPath` is `path` below the root
// named `rootName`.
LONG DeleteKeyTree(HKEY parent, const wchar_t* path, const std::wstring& rootName, const std::wstring& fullPath) {
    LONG result;
    std::vector<std::pair<std::wstring, RegistryData>> values;
    {
        UniqueRegKey key = OpenRegistryKey(parent, path, &result);
        if (result != ERROR_SUCCESS) return result;
        // Each deletion shifts the next subkey to index 0.
        wchar_t name[kMaxKeyNameUnits];
        DWORD length = kMaxKeyNameUnits;
        while (RegEnumKeyExW(key.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr) ==
               ERROR_SUCCESS) {
            result = DeleteKeyTree(key.get(), name, rootName, fullPath + L"\\" + name);
            if (result != ERROR_SUCCESS) return result;
            length = kMaxKeyNameUnits;
        }
        if (Journal().Recording()) values = ValuesOf(key.get());
    }
    result = RegDeleteKeyW(parent, path);
    if (result == ERROR_SUCCESS && Journal().Recording()) {
        for (const auto& [name, data] : values) {
            Journal().Add(RecordKind::kUnvalue, {rootName, fullPath, name, FormatRegistryData(data)});
        }
        Journal().Add(RecordKind::kUnkey, {rootName, fullPath});
    }
    return result;
}

}  // namespace

int Lua_RegQuery(lua_State* state) {
    const std::wstring key = ArgText(state, 2);
    const std::wstring name = ArgText(state, 3);
    UniqueRegKey opened = OpenRegistryKey(RegistryRoot(ArgText(state, 1)), key.c_str());
    if (!opened) return PushNil(state);
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (RegQueryValueExW(opened.get(), name.c_str(), nullptr, &type, nullptr, &size) !=
        ERROR_SUCCESS) {
        return PushNil(state);
    }
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        std::wstring text;
        if (!ReadText(opened.get(), name.c_str(), size, text)) return PushNil(state);
        PushText(state, text);
        return 1;
    }
    if (type == REG_DWORD) {
        DWORD value = 0;
        size = sizeof(value);
        if (RegQueryValueExW(opened.get(), name.c_str(), nullptr, nullptr,
                             reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS) {
            return PushNil(state);
        }
        lua_pushnumber(state, static_cast<lua_Number>(value));
        return 1;
    }
    return PushNil(state);
}

// Creates the key path; writes when asked to overwrite or when the value is new. The script
// never sees a failure.
int Lua_RegAdd(lua_State* state) {
    const std::wstring key = ArgText(state, 2);
    const std::wstring name = ArgText(state, 3);
    const std::wstring typeName = ArgText(state, 4);
    const std::wstring rootName = ArgText(state, 1);
    const HKEY root = RegistryRoot(rootName);
    const bool recording = Journal().Recording();
    const std::vector<std::wstring> missing = recording && root ? MissingKeys(root, key) : std::vector<std::wstring>();
    const UniqueRegKey created = CreateRegistryKey(root, key);
    if (created) {
        for (const std::wstring& level : missing) Journal().Add(RecordKind::kKey, {rootName, level});
    }
    const bool overwrite = ArgFlag(state, 6);
    if (overwrite || RegQueryValueExW(created.get(), name.c_str(), nullptr, nullptr, nullptr,
                                      nullptr) == ERROR_FILE_NOT_FOUND) {
        const RegistryData before = recording ? ReadRegistryValue(created.get(), name.c_str()) : RegistryData();
        if (WriteValue(state, created.get(), name.c_str(), typeName) == ERROR_SUCCESS && recording) {
            Journal().Add(RecordKind::kValue, {rootName, key, name, FormatRegistryData(before)});
        }
    }
    return PushBoolean(state, true);
}

// With exactly two arguments the key goes with everything below it; otherwise one value.
int Lua_RegDel(lua_State* state) {
    const bool wholeKey = lua_gettop(state) == 2;
    const std::wstring rootName = ArgText(state, 1);
    const std::wstring key = ArgText(state, 2);
    // An absent or empty key would name the root itself: never delete a whole root.
    if (key.find_first_not_of(L'\\') == std::wstring::npos) {
        LogLine(L"RegDel %s: empty key refused\r\n", rootName.c_str());
        return PushBoolean(state, true);
    }
    const HKEY root = RegistryRoot(rootName);
    if (!wholeKey) {
        const std::wstring name = ArgText(state, 3);
        if (UniqueRegKey opened = OpenRegistryKey(root, key.c_str())) {
            const RegistryData before = Journal().Recording() ? ReadRegistryValue(opened.get(), name.c_str())
                                                              : RegistryData();
            if (RegDeleteValueW(opened.get(), name.c_str()) == ERROR_SUCCESS && before.exists) {
                Journal().Add(RecordKind::kUnvalue, {rootName, key, name, FormatRegistryData(before)});
            }
            LogLine(L"Delete Value %s, %s, %s", rootName.c_str(), key.c_str(), name.c_str());
        }
        return PushBoolean(state, true);
    }
    LONG error;
    UniqueRegKey opened = OpenRegistryKey(root, nullptr, &error);
    if (error != ERROR_SUCCESS) {
        LogLine(L"OpenKey %s failed, errcode: %ld\r\n", rootName.c_str(), error);
        return PushBoolean(state, true);
    }
    error = DeleteKeyTree(opened.get(), key.c_str(), rootName, key);
    if (error != ERROR_SUCCESS) {
        LogLine(L"DeleteSubKey %s failed, errcode: %ld", key.c_str(), error);
    }
    return PushBoolean(state, true);
}
