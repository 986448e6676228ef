// Streams the decoded bytes of one 7z folder (solid block) through small buffers, so memory
// stays near the coder's dictionary size however large the block is.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "7z.h"
#include "qpxhandle.h"

// The decoder's allocator (malloc and free), shared by everything that reads archives.
extern const ISzAlloc kSzAllocator;

// A decoding stage: produces the next bytes of its output, at most `capacity`.
// `*produced` == 0 with SZ_OK means the stage's output has ended.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual SRes Read(Byte* dest, size_t capacity, size_t* produced) = 0;
    // Once the archive's size of the output has been read: SZ_OK when the stage's coded
    // stream ends right there and its input is used up (a coder that reports its end finished
    // where the archive says), else SZ_ERROR_DATA or the input's error.
    virtual SRes CheckEnd() = 0;
};

// One folder of an opened archive. Methods copy, LZMA, LZMA2, with an optional BCJ (x86) or
// ARM filter, or the four-stream BCJ2 arrangement; anything else is SZ_ERROR_UNSUPPORTED.
// A worker thread decodes a few chunks ahead of the reader, so decoding goes on while the
// reader writes files; the reader's thread is the only one that sees the results.
class FolderStream {
public:
    FolderStream() = default;
    ~FolderStream() { Stop(); }
    FolderStream(const FolderStream&) = delete;
    FolderStream& operator=(const FolderStream&) = delete;

    // `input` must outlive the stream and is used only by its worker until Finish or the
    // next Open; every pack stream seeks it before each read, so the several inputs of BCJ2
    // can share it.
    SRes Open(const CSzArEx& db, UInt32 folderIndex, ISeekInStream* input);
    // Exactly `size` bytes or an error: a block that ends early is SZ_ERROR_DATA. The
    // block's last bytes come only after its streams were found to end there and its CRC, when
    // the archive has one, to match: a damaged end fails the read of the last file.
    SRes ReadExact(Byte* dest, size_t size);
    // Reads what is left of the block; SZ_OK when the whole block was sound.
    SRes Finish();
    UInt64 Position() const { return position_; }

private:
    static constexpr size_t kChunkCount = 4;
    struct Chunk {
        std::vector<Byte> bytes;
        size_t size = 0;
    };

    static DWORD WINAPI DecodeThread(void* self);
    void Decode();  // the worker
    SRes CheckEnd();  // the worker's, after the block's last byte
    void Stop();
    // Waits for a decoded chunk; false (with `*result`) when none will come.
    bool WaitForChunk(SRes* result);
    // Waits for the worker to end; its result.
    SRes WaitForDecoded();
    void ReleaseChunk();

    std::vector<std::unique_ptr<ByteSource>> stages_;  // stages_.back() is the output
    UInt64 size_ = 0;
    UInt64 position_ = 0;
    UInt32 crc_ = 0;  // of all decoded bytes, kept by the worker
    bool checkCrc_ = false;
    UInt32 expectedCrc_ = 0;

    // Chunks [tail_, tail_ + filled_) hold decoded bytes for the reader, the rest are the
    // worker's to fill; `lock_` guards the counters and flags, not the bytes.
    Chunk chunks_[kChunkCount];
    size_t tail_ = 0, filled_ = 0, readOffset_ = 0;
    bool decoded_ = false;  // the worker has ended, with `decodeResult_`
    bool stop_ = false;
    SRes decodeResult_ = SZ_OK;
    SRWLOCK lock_ = SRWLOCK_INIT;
    CONDITION_VARIABLE changed_ = CONDITION_VARIABLE_INIT;
    UniqueKernelHandle worker_;
};
