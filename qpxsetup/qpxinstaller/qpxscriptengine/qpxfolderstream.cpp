// Streams the decoded bytes of one 7z folder through small buffers: pack streams, LZMA and
// LZMA2 decoders with a dictionary of their own, branch filters and the BCJ2 joiner.
#include "qpxfolderstream.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "7zCrc.h"
#include "Bcj2.h"
#include "Bra.h"
#include "CpuArch.h"
#include "Lzma2Dec.h"
#include "LzmaDec.h"
#include "qpxhandle.h"

const ISzAlloc kSzAllocator = {
    [](ISzAllocPtr, size_t size) -> void* { return malloc(size); },
    [](ISzAllocPtr, void* address) { free(address); },
};

namespace {

constexpr UInt32 kMethodCopy = 0;
constexpr UInt32 kMethodLzma2 = 0x21;
constexpr UInt32 kMethodLzma = 0x30101;
constexpr UInt32 kMethodBcj = 0x3030103;
constexpr UInt32 kMethodArm = 0x3030501;
constexpr UInt32 kMethodBcj2 = 0x303011B;

constexpr size_t kPackBufferSize = 1 << 16;
constexpr size_t kFilterBufferSize = 1 << 16;
constexpr size_t kBcj2BufferSize = 1 << 16;  // a multiple of 4, as BCJ2's 32-bit streams need
constexpr size_t kChunkSize = 1 << 17;       // decoded bytes handed from worker to reader
constexpr SIZE_T kWorkerStackSize = 1 << 18;

// One packed stream: a byte range of the archive read through a buffer of its own.
class PackSource final : public ByteSource {
public:
    PackSource(ISeekInStream* input, UInt64 offset, UInt64 size)
        : input_(input), offset_(offset), remaining_(size), buffer_(kPackBufferSize) {}

    // The buffered bytes, refilled when empty; none at the end of the range.
    SRes Look(const Byte** data, size_t* available) {
        if (begin_ == end_ && remaining_ != 0) {
            size_t want = static_cast<size_t>(std::min<UInt64>(buffer_.size(), remaining_));
            Int64 position = static_cast<Int64>(offset_);
            if (offset_ > static_cast<UInt64>(INT64_MAX)) return SZ_ERROR_INPUT_EOF;
            SRes result = input_->Seek(input_, &position, SZ_SEEK_SET);
            if (result != SZ_OK) return result;
            result = input_->Read(input_, buffer_.data(), &want);
            if (result != SZ_OK) return result;
            if (want == 0) return SZ_ERROR_INPUT_EOF;
            begin_ = 0;
            end_ = want;
            offset_ += want;
            remaining_ -= want;
        }
        *data = buffer_.data() + begin_;
        *available = end_ - begin_;
        return SZ_OK;
    }
    void Skip(size_t count) { begin_ += count; }

    SRes Read(Byte* dest, size_t capacity, size_t* produced) override {
        *produced = 0;
        while (*produced < capacity) {
            const Byte* data;
            size_t available;
            const SRes result = Look(&data, &available);
            if (result != SZ_OK) return result;
            if (available == 0) break;
            const size_t count = std::min(available, capacity - *produced);
            memcpy(dest + *produced, data, count);
            Skip(count);
            *produced += count;
        }
        return SZ_OK;
    }

    // Every byte of the range was taken.
    SRes CheckEnd() override { return remaining_ == 0 && begin_ == end_ ? SZ_OK : SZ_ERROR_DATA; }

private:
    ISeekInStream* input_;
    UInt64 offset_, remaining_;
    std::vector<Byte> buffer_;
    size_t begin_ = 0, end_ = 0;
};

// Copy method: the packed bytes are the output; their size must be the unpacked size.
class CopySource final : public ByteSource {
public:
    explicit CopySource(PackSource* in) : in_(in) {}
    SRes Read(Byte* dest, size_t capacity, size_t* produced) override {
        return in_->Read(dest, capacity, produced);
    }
    SRes CheckEnd() override { return in_->CheckEnd(); }

private:
    PackSource* in_;
};

// LZMA and LZMA2 over a circular dictionary of min(dictionary size, unpacked size) bytes.
class LzmaSource final : public ByteSource {
public:
    LzmaSource(PackSource* in, bool lzma2, UInt64 unpackSize)
        : in_(in), lzma2_(lzma2), remaining_(unpackSize) {
        Lzma2Dec_CONSTRUCT(&decoder_);
    }
    ~LzmaSource() override {
        Lzma2Dec_FreeProbs(&decoder_, &kSzAllocator);
        free(dictionary_);
    }
    LzmaSource(const LzmaSource&) = delete;
    LzmaSource& operator=(const LzmaSource&) = delete;

    SRes Init(const Byte* props, unsigned propsSize) {
        UInt64 dictionarySize;
        if (lzma2_) {
            if (propsSize != 1 || props[0] > 40) return SZ_ERROR_UNSUPPORTED;
            const SRes result = Lzma2Dec_AllocateProbs(&decoder_, props[0], &kSzAllocator);
            if (result != SZ_OK) return result;
            dictionarySize = props[0] == 40 ? 0xFFFFFFFFu
                                            : static_cast<UInt64>(2 | (props[0] & 1))
                                                  << (props[0] / 2 + 11);
        } else {
            if (propsSize != LZMA_PROPS_SIZE) return SZ_ERROR_UNSUPPORTED;
            const SRes result =
                LzmaDec_AllocateProbs(&decoder_.decoder, props, propsSize, &kSzAllocator);
            if (result != SZ_OK) return result;
            // The decoder raises a declared dictionary below its floor (4 KiB) and takes
            // matches that far back: the window is what it settled on, not the raw property.
            dictionarySize = decoder_.decoder.prop.dicSize;
        }
        // Every match lies within the output, so a block smaller than the dictionary needs
        // no more than its own size.
        const size_t size =
            static_cast<size_t>(std::max<UInt64>(std::min(dictionarySize, remaining_), 1));
        dictionary_ = static_cast<Byte*>(malloc(size));
        if (!dictionary_) return SZ_ERROR_MEM;
        decoder_.decoder.dic = dictionary_;
        decoder_.decoder.dicBufSize = size;
        if (lzma2_) {
            Lzma2Dec_Init(&decoder_);
        } else {
            LzmaDec_Init(&decoder_.decoder);
        }
        return SZ_OK;
    }

    SRes Read(Byte* dest, size_t capacity, size_t* produced) override {
        *produced = 0;
        CLzmaDec& lzma = decoder_.decoder;
        while (*produced < capacity && remaining_ != 0) {
            if (lzma.dicPos == lzma.dicBufSize) lzma.dicPos = 0;
            const size_t start = lzma.dicPos;
            const size_t want = static_cast<size_t>(std::min<UInt64>(
                std::min(capacity - *produced, lzma.dicBufSize - start), remaining_));
            SizeT consumed;
            ELzmaStatus status;
            const SRes result = Decode(start + want, LZMA_FINISH_ANY, &consumed, &status);
            if (result != SZ_OK) return result;
            const size_t decoded = lzma.dicPos - start;
            memcpy(dest + *produced, dictionary_ + start, decoded);
            *produced += decoded;
            remaining_ -= decoded;
            // An end mark before the block's size, or input that ends or stops moving, is
            // damage: never loop on it.
            if (remaining_ != 0 && status == LZMA_STATUS_FINISHED_WITH_MARK) return SZ_ERROR_DATA;
            if (decoded == 0 && consumed == 0) return SZ_ERROR_DATA;
        }
        return SZ_OK;
    }

    // With no room left for output the decoder takes only what ends its stream: LZMA2's end
    // byte, or LZMA's end mark when the range coder has not finished without one. Then every
    // packed byte must have been used.
    SRes CheckEnd() override {
        if (remaining_ != 0) return SZ_ERROR_DATA;
        const SizeT end = decoder_.decoder.dicPos;
        for (;;) {
            SizeT consumed;
            ELzmaStatus status;
            const SRes result = Decode(end, LZMA_FINISH_END, &consumed, &status);
            if (result != SZ_OK) return result;
            if (status == LZMA_STATUS_FINISHED_WITH_MARK ||
                (!lzma2_ && status == LZMA_STATUS_MAYBE_FINISHED_WITHOUT_MARK)) {
                return in_->CheckEnd();
            }
            if (consumed == 0) return SZ_ERROR_DATA;
        }
    }

private:
    // Decodes the buffered input into the dictionary up to `limit` and passes by the input
    // it took (`*consumed`).
    SRes Decode(SizeT limit, ELzmaFinishMode mode, SizeT* consumed, ELzmaStatus* status) {
        const Byte* input;
        SRes result = in_->Look(&input, consumed);
        if (result != SZ_OK) return result;
        result = lzma2_ ? Lzma2Dec_DecodeToDic(&decoder_, limit, input, consumed, mode, status)
                        : LzmaDec_DecodeToDic(&decoder_.decoder, limit, input, consumed, mode,
                                              status);
        if (result == SZ_OK) in_->Skip(*consumed);
        return result;
    }

    PackSource* in_;
    bool lzma2_;
    UInt64 remaining_;
    CLzma2Dec decoder_;
    Byte* dictionary_ = nullptr;
};

// BCJ (x86) and ARM: converts what it can and keeps a straddling instruction for later.
class BranchSource final : public ByteSource {
public:
    BranchSource(ByteSource* in, UInt32 method) : in_(in), method_(method) {}

    SRes Read(Byte* dest, size_t capacity, size_t* produced) override {
        if (begin_ == ready_) {
            const SRes result = Refill();
            if (result != SZ_OK) return result;
        }
        *produced = std::min(capacity, ready_ - begin_);
        memcpy(dest, buffer_ + begin_, *produced);
        begin_ += *produced;
        return SZ_OK;
    }
    // Nothing of the coded output is left over.
    SRes CheckEnd() override { return begin_ == filled_ ? in_->CheckEnd() : SZ_ERROR_DATA; }

private:
    SRes Refill() {
        memmove(buffer_, buffer_ + ready_, filled_ - ready_);
        filled_ -= ready_;
        begin_ = ready_ = 0;
        bool ended = false;
        while (filled_ < sizeof(buffer_)) {
            size_t got;
            const SRes result = in_->Read(buffer_ + filled_, sizeof(buffer_) - filled_, &got);
            if (result != SZ_OK) return result;
            if (got == 0) {
                ended = true;
                break;
            }
            filled_ += got;
        }
        const Byte* converted = method_ == kMethodBcj
                                    ? z7_BranchConvSt_X86_Dec(buffer_, filled_, pc_, &x86State_)
                                    : z7_BranchConv_ARM_Dec(buffer_, filled_, pc_);
        // The tail of the stream is too short to hold an instruction and stays as it is.
        ready_ = ended ? filled_ : static_cast<size_t>(converted - buffer_);
        pc_ += static_cast<UInt32>(ready_);
        return SZ_OK;
    }

    ByteSource* in_;
    UInt32 method_;
    UInt32 pc_ = 0;
    UInt32 x86State_ = Z7_BRANCH_CONV_ST_X86_STATE_INIT_VAL;
    Byte buffer_[kFilterBufferSize];
    size_t begin_ = 0, ready_ = 0, filled_ = 0;
};

// BCJ2: joins the main, call and jump streams and the range-coded selector stream.
class Bcj2Source final : public ByteSource {
public:
    explicit Bcj2Source(ByteSource* const (&inputs)[BCJ2_NUM_STREAMS]) {
        for (unsigned i = 0; i < BCJ2_NUM_STREAMS; ++i) {
            inputs_[i] = inputs[i];
            buffers_[i].resize(kBcj2BufferSize);
            decoder_.bufs[i] = decoder_.lims[i] = buffers_[i].data();
        }
        Bcj2Dec_Init(&decoder_);
    }

    SRes Read(Byte* dest, size_t capacity, size_t* produced) override {
        decoder_.dest = dest;
        decoder_.destLim = dest + capacity;
        for (;;) {
            SRes result = Bcj2Dec_Decode(&decoder_);
            if (result != SZ_OK) return result;
            *produced = static_cast<size_t>(decoder_.dest - dest);
            if (decoder_.dest == decoder_.destLim) return SZ_OK;
            bool ended;
            result = FeedAwaitedStream(&ended);
            if (result != SZ_OK) return result;
            // The main stream ending ends the output; any other stream is short.
            if (ended) return decoder_.state == BCJ2_STREAM_MAIN ? SZ_OK : SZ_ERROR_DATA;
        }
    }

    // With no room for output the decoder takes only the range coder's last bytes; then it
    // must wait for more of the main stream, have its range coder finished, and every stream
    // must be used up.
    SRes CheckEnd() override {
        decoder_.dest = &noRoom_;
        decoder_.destLim = &noRoom_;
        for (bool ended = false; !ended;) {
            SRes result = Bcj2Dec_Decode(&decoder_);
            if (result == SZ_OK) result = FeedAwaitedStream(&ended);
            if (result != SZ_OK) return result;
        }
        for (unsigned i = 0; i < BCJ2_NUM_STREAMS; ++i) {
            if (decoder_.bufs[i] != decoder_.lims[i]) return SZ_ERROR_DATA;
            const SRes result = inputs_[i]->CheckEnd();
            if (result != SZ_OK) return result;
        }
        return Bcj2Dec_IsMaybeFinished(&decoder_) ? SZ_OK : SZ_ERROR_DATA;
    }

private:
    // Refills the stream the decoder waits for; `*ended` when it waits for none (it has
    // output to give) or that stream has no more.
    SRes FeedAwaitedStream(bool* ended) {
        const unsigned stream = decoder_.state;
        *ended = true;
        if (stream >= BCJ2_NUM_STREAMS) return SZ_OK;
        size_t got;
        const SRes result = Refill(stream, &got);
        *ended = got == 0;
        return result;
    }

    // The call and jump streams hold 32-bit values: fill them in whole values only.
    SRes Refill(unsigned stream, size_t* got) {
        Byte* buffer = buffers_[stream].data();
        *got = 0;
        while (*got < kBcj2BufferSize) {
            size_t count;
            const SRes result =
                inputs_[stream]->Read(buffer + *got, kBcj2BufferSize - *got, &count);
            if (result != SZ_OK) return result;
            if (count == 0) break;
            *got += count;
            if (!BCJ2_IS_32BIT_STREAM(stream) || *got % 4 == 0) break;
        }
        if (BCJ2_IS_32BIT_STREAM(stream) && *got % 4 != 0) return SZ_ERROR_DATA;
        decoder_.bufs[stream] = buffer;
        decoder_.lims[stream] = buffer + *got;
        return SZ_OK;
    }

    ByteSource* inputs_[BCJ2_NUM_STREAMS];
    std::vector<Byte> buffers_[BCJ2_NUM_STREAMS];
    CBcj2Dec decoder_;
    Byte noRoom_ = 0;  // where the end check points the decoder's output: it writes nothing
};

bool IsMainMethod(const CSzCoderInfo& coder) {
    return coder.NumStreams == 1 &&
           (coder.MethodID == kMethodCopy || coder.MethodID == kMethodLzma ||
            coder.MethodID == kMethodLzma2);
}

// The coder arrangements the decoder handles, as 7-Zip writes them.
bool IsSupportedFolder(const CSzFolder& folder) {
    if (folder.NumCoders < 1 || !IsMainMethod(folder.Coders[0])) return false;
    if (folder.NumCoders == 1) {
        return folder.NumPackStreams == 1 && folder.PackStreams[0] == 0 && folder.NumBonds == 0;
    }
    if (folder.NumCoders == 2) {
        const CSzCoderInfo& filter = folder.Coders[1];
        return filter.NumStreams == 1 && filter.PropsSize == 0 &&
               (filter.MethodID == kMethodBcj || filter.MethodID == kMethodArm) &&
               folder.NumPackStreams == 1 && folder.PackStreams[0] == 0 &&
               folder.NumBonds == 1 && folder.Bonds[0].InIndex == 1 &&
               folder.Bonds[0].OutIndex == 0;
    }
    if (folder.NumCoders == 4) {
        return IsMainMethod(folder.Coders[1]) && IsMainMethod(folder.Coders[2]) &&
               folder.Coders[3].MethodID == kMethodBcj2 && folder.Coders[3].NumStreams == 4 &&
               folder.NumPackStreams == 4 && folder.PackStreams[0] == 2 &&
               folder.PackStreams[1] == 6 && folder.PackStreams[2] == 1 &&
               folder.PackStreams[3] == 0 && folder.NumBonds == 3 &&
               folder.Bonds[0].InIndex == 5 && folder.Bonds[0].OutIndex == 0 &&
               folder.Bonds[1].InIndex == 4 && folder.Bonds[1].OutIndex == 1 &&
               folder.Bonds[2].InIndex == 3 && folder.Bonds[2].OutIndex == 2;
    }
    return false;
}

// Builds the stages that turn the folder's pack streams into its output.
class FolderBuilder {
public:
    FolderBuilder(const CSzArEx& db, UInt32 folderIndex, ISeekInStream* input,
                  std::vector<std::unique_ptr<ByteSource>>* stages)
        : db_(db), input_(input), stages_(stages),
          props_(db.db.CodersData + db.db.FoCodersOffsets[folderIndex]),
          packPositions_(db.db.PackPositions + db.db.FoStartPackStreamIndex[folderIndex]),
          unpackSizes_(db.db.CoderUnpackSizes + db.db.FoToCoderUnpackSizes[folderIndex]) {}

    SRes Pack(UInt32 packIndex, PackSource** source) {
        const UInt64 start = packPositions_[packIndex];
        const UInt64 end = packPositions_[packIndex + 1];
        if (end < start || db_.dataPos + end < db_.dataPos) return SZ_ERROR_DATA;
        auto pack = std::make_unique<PackSource>(input_, db_.dataPos + start, end - start);
        *source = pack.get();
        stages_->push_back(std::move(pack));
        return SZ_OK;
    }

    SRes Main(const CSzCoderInfo& coder, UInt32 coderIndex, UInt32 packIndex,
              ByteSource** source) {
        PackSource* pack;
        SRes result = Pack(packIndex, &pack);
        if (result != SZ_OK) return result;
        const UInt64 unpackSize = unpackSizes_[coderIndex];
        if (coder.MethodID == kMethodCopy) {
            if (packPositions_[packIndex + 1] - packPositions_[packIndex] != unpackSize) {
                return SZ_ERROR_DATA;
            }
            stages_->push_back(std::make_unique<CopySource>(pack));
        } else {
            auto lzma = std::make_unique<LzmaSource>(pack, coder.MethodID == kMethodLzma2,
                                                     unpackSize);
            result = lzma->Init(props_ + coder.PropsOffset, coder.PropsSize);
            if (result != SZ_OK) return result;
            stages_->push_back(std::move(lzma));
        }
        *source = stages_->back().get();
        return SZ_OK;
    }

    SRes Build(const CSzFolder& folder) {
        ByteSource* main;
        if (folder.NumCoders == 4) {
            // Coder 2 decodes the main stream, 1 the calls, 0 the jumps; pack stream 1 holds
            // the range coder's bytes as they are.
            ByteSource* call;
            ByteSource* jump;
            PackSource* rangeCoded;
            SRes result = Main(folder.Coders[2], 2, 0, &main);
            if (result == SZ_OK) result = Main(folder.Coders[1], 1, 2, &call);
            if (result == SZ_OK) result = Main(folder.Coders[0], 0, 3, &jump);
            if (result == SZ_OK) result = Pack(1, &rangeCoded);
            if (result != SZ_OK) return result;
            if (unpackSizes_[0] % 4 != 0 || unpackSizes_[1] % 4 != 0) return SZ_ERROR_DATA;
            ByteSource* const inputs[BCJ2_NUM_STREAMS] = {main, call, jump, rangeCoded};
            stages_->push_back(std::make_unique<Bcj2Source>(inputs));
            return SZ_OK;
        }
        SRes result = Main(folder.Coders[0], 0, 0, &main);
        if (result != SZ_OK) return result;
        if (folder.NumCoders == 2) {
            stages_->push_back(std::make_unique<BranchSource>(main, folder.Coders[1].MethodID));
        }
        return SZ_OK;
    }

private:
    const CSzArEx& db_;
    ISeekInStream* input_;
    std::vector<std::unique_ptr<ByteSource>>* stages_;
    const Byte* props_;
    const UInt64* packPositions_;
    const UInt64* unpackSizes_;
};

}  // namespace

SRes FolderStream::Open(const CSzArEx& db, UInt32 folderIndex, ISeekInStream* input) {
    Stop();
    position_ = 0;
    crc_ = CRC_INIT_VAL;
    const CSzAr& ar = db.db;
    if (folderIndex >= ar.NumFolders) return SZ_ERROR_FAIL;
    CSzData coders;
    coders.Data = ar.CodersData + ar.FoCodersOffsets[folderIndex];
    coders.Size = ar.FoCodersOffsets[folderIndex + 1] - ar.FoCodersOffsets[folderIndex];
    CSzFolder folder;
    SRes result = SzGetNextFolderItem(&folder, &coders);
    if (result != SZ_OK) return result;
    if (coders.Size != 0 || folder.UnpackStream != ar.FoToMainUnpackSizeIndex[folderIndex]) {
        return SZ_ERROR_FAIL;
    }
    if (!IsSupportedFolder(folder)) return SZ_ERROR_UNSUPPORTED;
    size_ = SzAr_GetFolderUnpackSize(&ar, folderIndex);
    checkCrc_ = SzBitWithVals_Check(&ar.FolderCRCs, folderIndex);
    expectedCrc_ = checkCrc_ ? ar.FolderCRCs.Vals[folderIndex] : 0;
    result = FolderBuilder(db, folderIndex, input, &stages_).Build(folder);
    if (result != SZ_OK) {
        stages_.clear();
        return result;
    }
    for (Chunk& chunk : chunks_) {
        if (chunk.bytes.empty()) chunk.bytes.resize(kChunkSize);
    }
    tail_ = filled_ = readOffset_ = 0;
    decoded_ = stop_ = false;
    decodeResult_ = SZ_OK;
    // The decoders keep their state on the heap: a small stack is plenty.
    worker_.reset(CreateThread(nullptr, kWorkerStackSize, DecodeThread, this,
                               STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
    if (!worker_) {
        stages_.clear();
        return SZ_ERROR_THREAD;
    }
    return SZ_OK;
}

DWORD WINAPI FolderStream::DecodeThread(void* self) {
    static_cast<FolderStream*>(self)->Decode();
    return 0;
}

void FolderStream::Decode() {
    SRes result = size_ == 0 ? CheckEnd() : SZ_OK;
    size_t head = 0;
    for (UInt64 left = size_; left != 0 && result == SZ_OK;) {
        {
            ExclusiveLock lock(&lock_);
            while (!stop_ && filled_ == kChunkCount) {
                SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
            }
            if (stop_) return;
            head = (tail_ + filled_) % kChunkCount;
        }
        Chunk& chunk = chunks_[head];
        const size_t want = static_cast<size_t>(std::min<UInt64>(chunk.bytes.size(), left));
        size_t done = 0;
        while (done < want && result == SZ_OK) {
            size_t got = 0;
            result = stages_.back()->Read(chunk.bytes.data() + done, want - done, &got);
            if (result == SZ_OK && got == 0) result = SZ_ERROR_DATA;  // the block ends early
            done += got;
        }
        if (result != SZ_OK) break;
        if (checkCrc_) crc_ = CrcUpdate(crc_, chunk.bytes.data(), want);
        left -= want;
        // The last chunk waits for the end to be checked, so a block that goes on past its
        // size, or whose coders have not finished there, yields no last file.
        if (left == 0) result = CheckEnd();
        if (result != SZ_OK) break;
        ExclusiveLock lock(&lock_);
        chunk.size = want;
        ++filled_;
        WakeAllConditionVariable(&changed_);
    }
    ExclusiveLock lock(&lock_);
    decoded_ = true;
    decodeResult_ = result;
    WakeAllConditionVariable(&changed_);
}

SRes FolderStream::CheckEnd() {
    const SRes result = stages_.back()->CheckEnd();
    if (result != SZ_OK) return result;
    return checkCrc_ && CRC_GET_DIGEST(crc_) != expectedCrc_ ? SZ_ERROR_CRC : SZ_OK;
}

bool FolderStream::WaitForChunk(SRes* result) {
    ExclusiveLock lock(&lock_);
    while (filled_ == 0 && !decoded_) SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
    if (filled_ != 0) return true;
    *result = decodeResult_ != SZ_OK ? decodeResult_ : SZ_ERROR_DATA;
    return false;
}

SRes FolderStream::WaitForDecoded() {
    ExclusiveLock lock(&lock_);
    while (!decoded_) SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
    return decodeResult_;
}

void FolderStream::ReleaseChunk() {
    ExclusiveLock lock(&lock_);
    tail_ = (tail_ + 1) % kChunkCount;
    --filled_;
    readOffset_ = 0;
    WakeAllConditionVariable(&changed_);
}

void FolderStream::Stop() {
    if (worker_) {
        {
            ExclusiveLock lock(&lock_);
            stop_ = true;
            WakeAllConditionVariable(&changed_);
        }
        WaitForSingleObject(worker_.get(), INFINITE);
        worker_.reset();
    }
    stages_.clear();
}

SRes FolderStream::ReadExact(Byte* dest, size_t size) {
    if (stages_.empty()) return SZ_ERROR_FAIL;
    if (size > size_ - position_) return SZ_ERROR_DATA;
    while (size != 0) {
        SRes result;
        if (!WaitForChunk(&result)) return result;
        const Chunk& chunk = chunks_[tail_];
        const size_t count = std::min(size, chunk.size - readOffset_);
        if (dest) {
            memcpy(dest, chunk.bytes.data() + readOffset_, count);
            dest += count;
        }
        readOffset_ += count;
        size -= count;
        position_ += count;
        if (readOffset_ == chunk.size) ReleaseChunk();
    }
    return SZ_OK;
}

SRes FolderStream::Finish() {
    if (stages_.empty()) return SZ_ERROR_FAIL;
    if (position_ < size_) {
        if (size_ - position_ > SIZE_MAX) return SZ_ERROR_DATA;
        const SRes result = ReadExact(nullptr, static_cast<size_t>(size_ - position_));
        if (result != SZ_OK) return result;
    }
    const SRes result = WaitForDecoded();
    Stop();
    return result;
}
