// Bit-level input of the VLB decoder: the abstract stream the core reads, the 8 KB ring
// (CBitBuffer) that holds the ADTS frames, and the byte source over the caller's input.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "codecs/vlb/AacException.h"
#include "codecs/vlb/AacStreamInfo.h"

class DataIOControl;

class CVlbBitStream {
public:
    struct EDoesNotExist : CAacException {
        EDoesNotExist() : CAacException(vlb::kCodeDoesNotExist, "Bitstream does not exist") {}
    };
    struct EEndOfFile : CAacException {
        EEndOfFile() : CAacException(vlb::kCodeEndOfFile, "End of file reached") {}
    };

    virtual ~CVlbBitStream() = default;
    virtual void ByteAlign() = 0;
    virtual void PushBack(unsigned bits) = 0;
    virtual unsigned Get(unsigned bits) = 0;  // 0..16 bits, most significant first
    virtual void SetPositionMarker(unsigned) {}
    virtual void DecrementRawBlocks() {}
    virtual void ResetRawBlocks() {}
    virtual unsigned GetFrameLength() { return 0; }
    virtual unsigned GetRawBlockCount() { return 0; }
    virtual void MarkHeaderRead() {}
    virtual void ClearHeaderRead() {}
    virtual bool IsHeaderRead() { return false; }
    virtual unsigned GetBitsSinceAlign() { return 0; }
    // True once reads have gone past every buffered bit: what follows is stale ring content,
    // so a syntax loop must stop instead of running on it.
    virtual bool IsOverrun() { return false; }

protected:
    uint8_t flags_[3] = {0, 0, 0};
};

class CBitBuffer : public CVlbBitStream {
public:
    static constexpr unsigned kRingBytes = 8192;
    static constexpr unsigned kRingBits = kRingBytes * 8;
    static constexpr unsigned kMaxCrcRecords = 100;

    CBitBuffer();

    void ByteAlign() override;
    void PushBack(unsigned bits) override;
    unsigned Get(unsigned bits) override;
    void SetPositionMarker(unsigned kind) override;
    void DecrementRawBlocks() override { --rawBlocksRemaining_; }
    void ResetRawBlocks() override { rawBlocksRemaining_ = 0; }
    unsigned GetFrameLength() override { return header_.aacFrameLength; }
    unsigned GetRawBlockCount() override { return header_.numberOfRawDataBlocks; }
    void MarkHeaderRead() override { headerRead_ = true; }
    void ClearHeaderRead() override { headerRead_ = false; }
    bool IsHeaderRead() override { return headerRead_; }
    unsigned GetBitsSinceAlign() override { return bitsSinceAlign_; }
    bool IsOverrun() override { return bitsAvailable_ < 0; }

    // The bits from `offset` bits past the read position on, without moving, for the
    // spectral decoder's table look-ups: at least 57 valid bits, most significant first
    // (past the written data it shows stale ring content, as Get does, and IsOverrun tells).
    uint64_t PeekAt(uint32_t offset) const {
        const uint32_t position = (readPosition_ + offset) & (kRingBits - 1);
        const uint32_t at = position >> 3;
        uint64_t word = 0;
        if (at + 8 <= kRingBytes) {
            std::memcpy(&word, ring_ + at, 8);
            if constexpr (std::endian::native == std::endian::little) word = __builtin_bswap64(word);
        } else {
            for (uint32_t i = 0; i < 8; ++i)
                word = (word << 8) | ring_[(at + i) & (kRingBytes - 1)];
        }
        return word << (position & 7);
    }
    // Moves on as a Get of `bits` would.
    void Skip(unsigned bits) {
        readPosition_ = (readPosition_ + bits) & (kRingBits - 1);
        bitsSinceAlign_ += bits;
        bitsAvailable_ -= static_cast<int32_t>(bits);
    }

    // Copies staged bytes into the ring as far as it has room; bytesLeft shrinks by the count.
    void Feed(const uint8_t* staging, uint32_t fillSize, uint32_t& bytesLeft);
    void ResetSkipped() { skipped_ = 0; }
    uint32_t Skipped() const { return skipped_; }
    // True when the ring is positioned at the raw data of a complete frame; false when more
    // input is needed. Throws EEndOfFile, EInputBufferError.
    bool ReadAdtsHeader(AacStreamInfo& info);
    void CheckCrc();  // throws ECRCError

    void SetEndOfInput() { endOfInput_ = true; }
    bool EndOfInput() const { return endOfInput_; }
    // Bits written and not yet read (negative after an overrun).
    int32_t BitsAvailable() const { return bitsAvailable_; }
    // Drops whatever a corrupt frame read past the buffered data, so a later search starts
    // at the write position instead of in stale content.
    void DiscardOverrun();

    struct AdtsHeader {
        uint32_t id = 0, layer = 0, protectionAbsent = 0, profile = 0, samplingFrequencyIndex = 0;
        uint32_t privateBit = 0, channelConfiguration = 0, originalCopy = 0, home = 0;
        uint32_t copyrightIdentificationBit = 0, copyrightIdentificationStart = 0;
        uint32_t aacFrameLength = 0, adtsBufferFullness = 0;
        uint32_t previousBufferFullness = 0, previousFrameLength = 0;
        uint32_t numberOfRawDataBlocks = 0;
    };
    const AdtsHeader& Header() const { return header_; }
    uint32_t CrcWord() const { return crcWord_; }

private:
    struct CrcRecord {
        uint32_t kind, lengthBits;
        int32_t bitsAvailable;
        uint32_t bitsSinceAlign, readPosition;
    };
    void UpdateBitRate(AacStreamInfo& info);

    int32_t bitsAvailable_ = 0;
    uint32_t writeIndex_ = 0;
    uint32_t bitsSinceAlign_ = 0;
    uint32_t readPosition_ = 0;
    uint32_t rawBlocksRemaining_ = 0;
    uint32_t crcWord_ = 0xFFFFFFFF;
    bool endOfInput_ = false;
    bool headerRead_ = false;
    uint8_t ring_[kRingBytes + 2];  // two spare bytes so a word read at the end stays inside
    AdtsHeader header_;
    uint32_t skipped_ = 0;
    uint32_t history_[16] = {};
    uint32_t historyWrites_ = 0;
    uint32_t historyValid_ = 0;
    CrcRecord records_[kMaxCrcRecords] = {};
    uint32_t recordIndex_ = 0;
};

class CPlainFile : public CVlbBitStream {
public:
    explicit CPlainFile(DataIOControl* io);  // throws EDoesNotExist when Open fails
    unsigned ReadBlock(uint8_t* buffer, unsigned n);

    // Bit-level reading straight from the caller's input; the front object never uses it.
    void ByteAlign() override { cacheBits_ -= cacheBits_ % 8; }
    void PushBack(unsigned) override {}
    unsigned Get(unsigned bits) override;

private:
    DataIOControl* io_;
    uint32_t cache_ = 0;
    uint32_t cacheBits_ = 0;
    bool pendingWord_ = false;
};
