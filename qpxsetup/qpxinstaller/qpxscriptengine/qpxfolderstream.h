// Streams the decoded bytes of one 7z folder (solid block) through small buffers, so memory
// stays near the coder's dictionary size however large the block is.
#pragma once

#include <memory>
#include <vector>

#include "7z.h"

// A decoding stage: produces the next bytes of its output, at most `capacity`.
// `*produced` == 0 with SZ_OK means the stage's output has ended.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual SRes Read(Byte* dest, size_t capacity, size_t* produced) = 0;
};

// One folder of an opened archive. Methods copy, LZMA, LZMA2, with an optional BCJ (x86) or
// ARM filter, or the four-stream BCJ2 arrangement; anything else is SZ_ERROR_UNSUPPORTED.
class FolderStream {
public:
    // `input` must outlive the stream; every pack stream seeks it before each read, so the
    // several inputs of BCJ2 can share it.
    SRes Open(const CSzArEx& db, UInt32 folderIndex, ISeekInStream* input);
    // Exactly `size` bytes or an error: a block that ends early is SZ_ERROR_DATA.
    SRes ReadExact(Byte* dest, size_t size);
    // Reads what is left of the block and checks the block's CRC when the archive has one.
    SRes Finish();
    UInt64 Position() const { return position_; }

private:
    std::vector<std::unique_ptr<ByteSource>> stages_;  // stages_.back() is the output
    UInt64 size_ = 0;
    UInt64 position_ = 0;
    UInt32 crc_ = 0;
    bool checkCrc_ = false;
    UInt32 expectedCrc_ = 0;
};
