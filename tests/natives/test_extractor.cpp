// The extractor on its own, without a script state: what it reports, the status each
// decision and each kind of damage leaves, and the archive bytes it is given.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "7zTypes.h"
#include "archivetest.h"
#include "qpxextract.h"
#include "qpxtext.h"
#include "testsupport.h"

namespace {

constexpr ArchiveStatus kFailed = SZ_ERROR_FAIL;

// Extracts the archive file `name` (in the test data) into `folder`.
ArchiveStatus Extract(const wchar_t* name, const std::wstring& folder,
                      const ExtractionCallbacks& callbacks = {}) {
    return ExtractArchiveFile(Data(name), folder, callbacks);
}

TEST(Extractor, EveryFileIsReportedOnceInArchiveOrderAndNoFolder) {
    const std::wstring folder = FreshFolder(L"qpx_ext_report");
    std::vector<std::wstring> done;
    ExtractionCallbacks callbacks;
    callbacks.onFileDone = [&](const std::wstring& path) { done.push_back(path); };
    EXPECT_EQ(Extract(L"lzma2_blocks.7z", folder, callbacks), 0u);
    ExpectSameTree(L"lzma2_blocks", folder);
    std::vector<std::wstring> expected;
    for (const Entry& file : Files(L"lzma2_blocks")) {
        expected.push_back(folder + L"\\" + file.path);
    }
    EXPECT_EQ(done, expected);
    RemoveTree(folder);
}

TEST(Extractor, MemoryReadsAnExchangedHeadAndLeavesTheBytesAsTheyWere) {
    const std::string stored = ReadFileBytes(Data(L"app7z.bin"));  // first two bytes exchanged
    const std::string bytes = stored;
    const std::wstring folder = FreshFolder(L"qpx_ext_memory");
    EXPECT_EQ(ExtractArchiveMemory(bytes.data(), bytes.size(), true, folder, {}), 0u);
    ExpectSameTree(L"lzma_solid", folder);
    EXPECT_TRUE(bytes == stored);
    // Taken as they are, the bytes carry no 7z signature.
    EXPECT_EQ(ExtractArchiveMemory(bytes.data(), bytes.size(), false, folder, {}),
              static_cast<ArchiveStatus>(SZ_ERROR_NO_ARCHIVE));
    RemoveTree(folder);
}

// A hidden file in the way: Windows refuses to replace it, so its creation fails.
void PutHiddenFile(const std::wstring& path) {
    WriteFileBytes(path, "in the way");
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_HIDDEN);
}

struct DecisionRun {
    ArchiveStatus status;
    std::vector<DWORD> errors;  // one per call of onCreateError
};

// Extracts lzma_solid into `folder` with `decide` as the create-error callback.
DecisionRun ExtractDeciding(const std::wstring& folder,
                            std::function<CreateErrorDecision(const std::wstring&)> decide) {
    DecisionRun run{0, {}};
    ExtractionCallbacks callbacks;
    callbacks.onCreateError = [&](const std::wstring& path, DWORD error) {
        run.errors.push_back(error);
        return decide(path);
    };
    run.status = Extract(L"lzma_solid.7z", folder, callbacks);
    return run;
}

TEST(Extractor, CreateErrorDecisionsAndTheStatusTheyLeave) {
    const std::vector<Entry> files = Files(L"lzma_solid");
    const std::wstring middle = files[files.size() / 2].path;
    const std::wstring last = files.back().path;
    const std::wstring folder = FreshFolder(L"qpx_ext_decisions");
    const std::wstring middlePath = folder + L"\\" + middle;
    const std::wstring lastPath = folder + L"\\" + last;
    const std::vector<DWORD> deniedOnce{ERROR_ACCESS_DENIED};
    auto answer = [](CreateErrorDecision decision) {
        return [decision](const std::wstring&) { return decision; };
    };
    MakeFolders(middlePath.substr(0, middlePath.find_last_of(L'\\')));

    // Without a callback the extraction stops at the file and writes nothing after it.
    PutHiddenFile(middlePath);
    EXPECT_EQ(Extract(L"lzma_solid.7z", folder), kFailed);
    EXPECT_EQ(GetFileAttributesW(lastPath.c_str()), INVALID_FILE_ATTRIBUTES);

    DecisionRun run = ExtractDeciding(folder, answer(CreateErrorDecision::kAbort));
    EXPECT_EQ(run.status, kFailed);
    EXPECT_EQ(run.errors, deniedOnce);
    EXPECT_EQ(GetFileAttributesW(lastPath.c_str()), INVALID_FILE_ATTRIBUTES);

    // A retry that meets the same obstacle is asked about once and fails.
    run = ExtractDeciding(folder, answer(CreateErrorDecision::kRetry));
    EXPECT_EQ(run.status, kFailed);
    EXPECT_EQ(run.errors, deniedOnce);

    // A skipped file stays as it was; later files decide the status.
    run = ExtractDeciding(folder, answer(CreateErrorDecision::kSkip));
    EXPECT_EQ(run.status, 0u);
    EXPECT_EQ(ReadFileBytes(middlePath), "in the way");
    EXPECT_TRUE(ReadFileBytes(lastPath) == ReadFileBytes(Data(L"expected\\lzma_solid\\" + last)));

    // Skipping the last file leaves its system error as the status.
    PutHiddenFile(lastPath);
    run = ExtractDeciding(folder, answer(CreateErrorDecision::kSkip));
    EXPECT_EQ(run.status, static_cast<ArchiveStatus>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(run.errors.size(), 2u);

    // A retry after the caller cleared the way writes the file.
    run = ExtractDeciding(folder, [](const std::wstring& path) {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
        return CreateErrorDecision::kRetry;
    });
    EXPECT_EQ(run.status, 0u);
    EXPECT_EQ(run.errors.size(), 2u);
    ExpectSameTree(L"lzma_solid", folder);
    RemoveTree(folder);
}

TEST(Extractor, EntriesLeavingTheFolderAreRefusedBeforeAnythingIsWritten) {
    const std::wstring folder = FreshFolder(L"qpx_ext_hostile");
    for (const wchar_t* archive : {L"dotdot", L"absolute", L"drive", L"inner", L"device",
                                   L"device_folder", L"device_console", L"device_blank"}) {
        std::vector<std::wstring> refused;
        ExtractionCallbacks callbacks;
        callbacks.onRefused = [&](const std::wstring& name) { refused.push_back(name); };
        const std::wstring name = std::wstring(L"bad\\") + archive + L".7z";
        EXPECT_EQ(Extract(name.c_str(), folder, callbacks), kFailed) << WideToUtf8(archive);
        EXPECT_EQ(refused.size(), 1u) << WideToUtf8(archive);
        EXPECT_EQ(CountEntries(folder), 0u) << WideToUtf8(archive);
    }
    RemoveTree(folder);
}

TEST(Extractor, NothingIsWrittenThroughALinkInTheDestination) {
    const std::wstring outside = Data(L"links\\outside\\escape.txt");
    DeleteFileW(outside.c_str());
    std::vector<std::wstring> refused;
    ExtractionCallbacks callbacks;
    callbacks.onRefused = [&](const std::wstring& name) { refused.push_back(name); };
    EXPECT_EQ(Extract(L"bad\\through_link.7z", Data(L"links\\dest"), callbacks), kFailed);
    EXPECT_EQ(refused, std::vector<std::wstring>{L"linked/escape.txt"});
    EXPECT_EQ(GetFileAttributesW(outside.c_str()), INVALID_FILE_ATTRIBUTES);

}

TEST(Extractor, ALinkInTheFilesPlaceIsReplacedAndItsTargetLeftAlone) {
    const std::wstring folder = FreshFolder(L"qpx_ext_filelink");
    const std::wstring target = FreshTempPath(L"qpx_ext_link_target.txt");
    ASSERT_TRUE(WriteFileBytes(target, "outside\n"));
    const std::wstring link = folder + L"\\filelink";
    // A host link to a file is no link to Wine (it opens and deletes the file it names).
    if (!CreateSymbolicLinkW(link.c_str(), target.c_str(), 0) ||
        !(GetFileAttributesW(link.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT)) {
        GTEST_SKIP() << "this system makes no symbolic link to a file";
    }
    EXPECT_EQ(Extract(L"bad\\filelink.7z", folder), 0u);
    EXPECT_EQ(ReadFileBytes(target), "outside\n");
    EXPECT_EQ(ReadFileBytes(link), "inside\n");
    EXPECT_EQ(GetFileAttributesW(link.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
    RemoveTree(folder);
}

// The decoder raises a dictionary below 4 KiB to 4 KiB and accepts matches that far back.
TEST(Extractor, DictionaryBelowTheDecodersFloorDecodesAsSevenZipDoes) {
    const std::wstring folder = FreshFolder(L"qpx_ext_smalldict");
    EXPECT_EQ(Extract(L"smalldict.7z", folder), 0u);
    ExpectSameTree(L"smalldict", folder);
    RemoveTree(folder);
}

TEST(Extractor, DamageGivesTheDecodersCauseAndLeavesNoWrongFile) {
    const std::wstring folder = FreshFolder(L"qpx_ext_damaged");
    // The stored bytes of the first file with any are altered: only its CRC tells.
    EXPECT_EQ(Extract(L"bad\\badcrc.7z", folder), static_cast<ArchiveStatus>(SZ_ERROR_CRC));
    const std::wstring damaged = folder + L"\\a\\b\\c\\deep.txt";
    EXPECT_EQ(GetFileAttributesW(damaged.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(Extract(L"bad\\notarchive.7z", folder),
              static_cast<ArchiveStatus>(SZ_ERROR_NO_ARCHIVE));
    EXPECT_EQ(Extract(L"bad\\missing.7z", folder), static_cast<ArchiveStatus>(SZ_ERROR_DATA));
    for (const wchar_t* archive :
         {L"bad\\truncated.7z", L"bad\\flipped.7z", L"bad\\zero.7z", L"bad\\lostheader.7z"}) {
        EXPECT_NE(Extract(archive, folder), 0u) << WideToUtf8(archive);
    }
    RemoveTree(folder);
}

// Each packed stream of a block must end where the header says: an LZMA2 end byte that is
// damaged or cut off, an LZMA stream whose range coder does not finish or whose end mark is
// damaged or cut off, a byte left over after any coder's end, each of BCJ2's four streams
// damaged at its end or longer than it uses. The decoded bytes are all there and right, so
// only the end can tell; the block's last file is not left behind.
TEST(Extractor, StreamsThatDoNotEndWhereTheHeaderSaysAreRefused) {
    const std::wstring folder = FreshFolder(L"qpx_ext_ends");
    std::istringstream list(ReadFileBytes(Data(L"ends.txt")));
    std::string line;
    size_t cases = 0;
    while (std::getline(list, line)) {
        ++cases;
        const size_t tab = line.find('\t');
        const std::wstring archive = Utf8ToWide(line.data(), tab);
        const std::wstring damaged = Utf8ToWide(line.data() + tab + 1, line.size() - tab - 1);
        const std::wstring last = folder + L"\\" + Files(archive).back().path;
        EXPECT_EQ(Extract(damaged.c_str(), folder), static_cast<ArchiveStatus>(SZ_ERROR_DATA))
            << WideToUtf8(damaged);
        EXPECT_EQ(GetFileAttributesW(last.c_str()), INVALID_FILE_ATTRIBUTES) << WideToUtf8(damaged);
        // Intact, the same archive (LZMA once with an end mark) extracts as 7-Zip extracts it.
        EXPECT_EQ(Extract((archive + L".7z").c_str(), folder), 0u) << WideToUtf8(archive);
        ExpectSameTree(archive, folder);
        RemoveTree(folder);
        CreateDirectoryW(folder.c_str(), nullptr);
    }
    EXPECT_GT(cases, 0u);
    RemoveTree(folder);
}

}  // namespace
