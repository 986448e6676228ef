// Archive and resource extraction for scripts: Lua_UnCompress7z over the extractor, and
// Lua_ExtractResource.
#include "qpxarchive.h"

#include "7zTypes.h"
#include "qpxextract.h"
#include "qpxhandle.h"
#include "qpxjournal.h"
#include "qpxluaargs.h"
#include "qpxlog.h"
#include "qpxpath.h"
#include "qpxresource.h"
#include "qpxscriptcall.h"

namespace {

// The resource named by argument `index`: a number is an integer id (its low 16 bits).
std::wstring ResourceName(lua_State* state, int index, const wchar_t** name) {
    if (lua_isnumber(state, index)) {
        *name = MAKEINTRESOURCEW(ArgInt(state, index) & 0xFFFF);
        return L"";
    }
    std::wstring text = ArgText(state, index);
    *name = nullptr;
    return text;
}

// The script's functions as the extractor's callbacks. The create-error function's integer
// decides: 0 retries, 1 skips, anything else aborts.
ExtractionCallbacks ScriptCallbacks(const ScriptCallback& onFileDone,
                                    const ScriptCallback& onCreateError) {
    ExtractionCallbacks callbacks;
    if (!onFileDone.Empty()) {
        callbacks.onFileDone = [&onFileDone](const std::wstring& path) {
            onFileDone.CallWithPath(path);
        };
    }
    if (!onCreateError.Empty()) {
        callbacks.onCreateError = [&onCreateError](const std::wstring& path, DWORD error) {
            switch (onCreateError.CallWithPathAndCode(path, error)) {
                case 0: return CreateErrorDecision::kRetry;
                case 1: return CreateErrorDecision::kSkip;
                default: return CreateErrorDecision::kAbort;
            }
        };
    }
    callbacks.onRefused = [](const std::wstring& name) {
        LogLine(L"Fun:%s, Description:%s leaves the destination folder, refused!\r\n",
                L"Lua_UnCompress7z", name.c_str());
    };
    if (InstallJournal::Instance().Recording()) {
        callbacks.onFolderCreated = [](const std::wstring& path) {
            InstallJournal::Instance().Add(RecordKind::kFolder, {path});
        };
        callbacks.onFileCreated = [](const std::wstring& path, const std::wstring& kept) {
            InstallJournal::Instance().Add(RecordKind::kFile, {path, kept});
        };
        callbacks.onSetAside = [](const std::wstring& path) { return InstallJournal::Instance().SetAside(path); };
    }
    return callbacks;
}

void Report(lua_State* state, ArchiveStatus status) {
    if (status == 0) {
        LogLine(L"UnCompress successful.\r\n");
    } else {
        LogLine(L"Fun:%s, Description: UnCompress failed.!\r\n", L"Lua_UnCompress7z");
    }
    lua_pushboolean(state, status == 0);
}

}  // namespace

int Lua_UnCompress7z(lua_State* state) {
    const int count = lua_gettop(state);
    if (count < 2 || count > 5) {
        // Nothing to extract from a call the script got wrong: say so rather than succeed.
        Report(state, SZ_ERROR_PARAM);
        return 1;
    }
    ScriptCallback onCreateError;
    ScriptCallback onFileDone;
    if (count == 5) {
        onCreateError = ScriptCallback::FromTop(state);
        onFileDone = ScriptCallback::FromTop(state);
    } else if (count == 4) {
        onFileDone = ScriptCallback::FromTop(state);
    }
    const bool sourceIsFile = count >= 3 && lua_isboolean(state, 3) && lua_toboolean(state, 3);
    const ExtractionCallbacks callbacks = ScriptCallbacks(onFileDone, onCreateError);

    const std::wstring folder = ArgPath(state, 2);
    if (!FolderExists(folder)) return PushMissingPath(state, L"Lua_UnCompress7z", folder);
    if (sourceIsFile) {
        const std::wstring archive = ArgPath(state, 1);
        if (!PathExists(archive)) return PushMissingPath(state, L"Lua_UnCompress7z", archive);
        LogLine(L"UnCompress %s to %s .\r\n", archive.c_str(), folder.c_str());
        Report(state, ExtractArchiveFile(archive, folder, callbacks));
        return 1;
    }
    const wchar_t* id;
    const std::wstring name = ResourceName(state, 1, &id);
    const ProgramResource resource(kResourceType7z, id ? id : name.c_str());
    if (!resource.Data()) {
        LogLine(L"Fun:%s ,LoadResource failed!\r\n", L"Lua_UnCompress7z");
        return PushBoolean(state, false);
    }
    if (!id) LogLine(L"UnCompress %s to %s .\r\n", name.c_str(), folder.c_str());
    Report(state, ExtractArchiveMemory(resource.Data(), resource.Size(), true, folder, callbacks));
    return 1;
}

int Lua_ExtractResource(lua_State* state) {
    const std::wstring type = ArgText(state, 1);
    const wchar_t* id;
    const std::wstring name = ResourceName(state, 2, &id);
    const std::wstring destination = ArgPath(state, 3);
    const ProgramResource resource(type.c_str(), id ? id : name.c_str());
    if (!resource.Data()) {
        LogLine(L"Fun:%s ,LoadResource failed!\r\n", L"Lua_ExtractResource");
        return PushBoolean(state, false);
    }
    InstallJournal& journal = InstallJournal::Instance();
    const std::wstring kept = journal.MakeWay(destination);
    UniqueKernelHandle file(CreateFileW(destination.c_str(), GENERIC_WRITE, 0, nullptr,
                                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        LogLine(L"Fun:%s ,CreateFileW %s failed!\r\n", L"Lua_ExtractResource",
                destination.c_str());
        InstallJournal::TakeBack(kept, destination);
        return PushBoolean(state, false);
    }
    // An archive resource is stored with its first two bytes exchanged: the file gets them in
    // archive order, and the loaded image stays as it is for the next use.
    const BYTE* bytes = static_cast<const BYTE*>(resource.Data());
    size_t size = resource.Size();
    bool written = true;
    if (type == kResourceType7z && size >= 2) {
        const BYTE head[2] = {bytes[1], bytes[0]};
        written = WriteAll(file.get(), head, sizeof(head));
        bytes += 2;
        size -= 2;
    }
    written = written && WriteAll(file.get(), bytes, size);
    if (!written) {
        LogLine(L"Fun:%s ,WriteFile %s failed!\r\n", L"Lua_ExtractResource", destination.c_str());
        // A cut-off file would pass for the resource: none is better, as extraction does.
        file.reset();
        DeleteFileW(destination.c_str());
        InstallJournal::TakeBack(kept, destination);
    } else {
        journal.Add(RecordKind::kResource, {destination, kept});
    }
    return PushBoolean(state, written);
}
