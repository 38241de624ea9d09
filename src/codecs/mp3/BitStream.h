#pragma once

#include <cstdint>

namespace mp3 {

// A power-of-two ring of bytes read bit by bit, most significant bit first.
// Every index wraps with a mask, so no read or write can leave the buffer whatever
// the counts say; callers check ValidBits() before reading, since GetBits past the
// valid bits returns whatever the ring holds there.
class CBitStream {
public:
    // Uses the smallest power of two >= wishedSize, at most 65536 (and at least 4).
    explicit CBitStream(int wishedSize);
    virtual ~CBitStream();
    CBitStream(const CBitStream&) = delete;
    CBitStream& operator=(const CBitStream&) = delete;

    // Empties the ring: valid bits, write index, bit counter, read index, end mark.
    virtual void Reset();

    // Copies min(free bytes, count) bytes behind the held bytes; returns the count copied.
    int Feed(const uint8_t* data, int count);
    int GetFreeBytes() const { return static_cast<int>((bitCapacity_ - static_cast<uint32_t>(validBits_)) / 8); }
    int ValidBits() const { return validBits_; }
    int ValidBytes() const { return validBits_ / 8; }
    uint32_t Size() const { return size_; }

    void SetEndOfInput() { endOfInput_ = true; }
    bool IsEndOfInput() const { return endOfInput_; }

    // Bits read since the owner last set the counter.
    int BitCounter() const { return bitCounter_; }
    void SetBitCounter(int value) { bitCounter_ = value; }
    void ResetBitCounter() { bitCounter_ = 0; }

    // The next n bits (n in 0..16), most significant first; n = 0 returns 0.
    uint32_t GetBits(int n);
    uint32_t GetBit() { return GetBits(1); }
    uint32_t Get32();
    // The next 32 bits without consuming them.
    uint32_t Peek32() const;
    // The 32 bits starting offsetBits after the read index, without consuming anything.
    uint32_t Peek32At(int offsetBits) const;

    // Reads the next `count` bytes into `out`, as `count` calls of GetBits(8) would.
    void GetBytes(uint8_t* out, int count);

    // Move the read index forward or back, adjusting valid bits and bit counter.
    void SkipBits(int n);
    void UnreadBits(int n);

    // Appends min(free bytes, other's valid bytes, count) bytes read from other with
    // GetBits(8); returns the count.
    int CopyFrom(CBitStream& other, int count);

    // Drops the oldest n held bytes (n <= valid bytes), keeping the bit alignment.
    void DropBytes(int n) { SkipBits(8 * n); }

    uint32_t ReadIndex() const { return readIndex_; }

private:
    uint32_t PeekBitsAt(uint32_t bitIndex, int n) const;

    uint32_t size_;
    uint32_t bitCapacity_;
    int validBits_ = 0;
    uint32_t writeIndex_ = 0;
    int bitCounter_ = 0;
    uint32_t readIndex_ = 0;
    bool endOfInput_ = false;
    uint8_t* buffer_;
};

// CRC-16, generator 0x8005, most significant bit first, no final inversion, over the
// next `bits` bits of the stream, consuming them. Start with 0xFFFF for the MPEG error check.
uint16_t ComputeCrc(CBitStream& stream, int bits, uint16_t crc);

}  // namespace mp3
