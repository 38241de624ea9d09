#include "codecs/mp3/BitStream.h"

#include <algorithm>
#include <cstring>

namespace mp3 {

namespace {

uint32_t RoundUpPowerOfTwo(int wished) {
    uint32_t size = 4;
    while (size < static_cast<uint32_t>(std::max(wished, 4)) && size < 65536) {
        size <<= 1;
    }
    return size;
}

// CRC-16 with generator 0x8005, one entry per byte value.
struct CrcTable {
    uint16_t entries[256];
    constexpr CrcTable() : entries() {
        for (int i = 0; i < 256; ++i) {
            uint16_t crc = static_cast<uint16_t>(i << 8);
            for (int b = 0; b < 8; ++b) {
                crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x8005 : crc << 1);
            }
            entries[i] = crc;
        }
    }
};
constexpr CrcTable kCrcTable;

}  // namespace

CBitStream::CBitStream(int wishedSize)
    : size_(RoundUpPowerOfTwo(wishedSize)), bitCapacity_(size_ * 8), buffer_(new uint8_t[size_ + 4]) {
    std::memset(buffer_, 0, size_ + 4);
    CBitStream::Reset();
}

CBitStream::~CBitStream() { delete[] buffer_; }

void CBitStream::Reset() {
    validBits_ = 0;
    writeIndex_ = 0;
    bitCounter_ = 0;
    readIndex_ = 0;
    endOfInput_ = false;
}

int CBitStream::Feed(const uint8_t* data, int count) {
    if (data == nullptr || count <= 0) {
        return 0;
    }
    const int n = std::min(GetFreeBytes(), count);
    const uint32_t first = std::min<uint32_t>(static_cast<uint32_t>(n), size_ - writeIndex_);
    std::memcpy(buffer_ + writeIndex_, data, first);
    std::memcpy(buffer_, data + first, static_cast<uint32_t>(n) - first);
    writeIndex_ = (writeIndex_ + static_cast<uint32_t>(n)) & (size_ - 1);
    validBits_ += 8 * n;
    return n;
}

uint32_t CBitStream::PeekBitsAt(uint32_t bitIndex, int n) const {
    if (n <= 0) {
        return 0;
    }
    const uint32_t mask = size_ - 1;
    const uint32_t byte = (bitIndex >> 3) & mask;
    const uint32_t three = (static_cast<uint32_t>(buffer_[byte]) << 16) |
                           (static_cast<uint32_t>(buffer_[(byte + 1) & mask]) << 8) |
                           static_cast<uint32_t>(buffer_[(byte + 2) & mask]);
    const int shift = 24 - static_cast<int>(bitIndex & 7) - n;
    return (three >> shift) & ((1u << n) - 1);
}

uint32_t CBitStream::GetBits(int n) {
    if (n <= 0) {
        return 0;
    }
    if (n > 16) {
        n = 16;
    }
    const uint32_t value = PeekBitsAt(readIndex_, n);
    readIndex_ = (readIndex_ + static_cast<uint32_t>(n)) & (bitCapacity_ - 1);
    validBits_ -= n;
    bitCounter_ += n;
    return value;
}

void CBitStream::GetBytes(uint8_t* out, int count) {
    if (count <= 0) {
        return;
    }
    if ((readIndex_ & 7) != 0) {
        for (int i = 0; i < count; ++i) {
            out[i] = static_cast<uint8_t>(GetBits(8));
        }
        return;
    }
    // Byte-aligned (main data always is): at most two copies around the ring's end.
    uint32_t byte = readIndex_ >> 3;
    uint32_t left = static_cast<uint32_t>(count);
    while (left > 0) {
        const uint32_t run = std::min(left, size_ - byte);
        std::memcpy(out, buffer_ + byte, run);
        out += run;
        left -= run;
        byte = (byte + run) & (size_ - 1);
    }
    SkipBits(8 * count);
}

uint32_t CBitStream::Get32() {
    const uint32_t high = GetBits(16);
    return (high << 16) | GetBits(16);
}

uint32_t CBitStream::Peek32() const {
    const uint32_t high = PeekBitsAt(readIndex_, 16);
    return (high << 16) | PeekBitsAt((readIndex_ + 16) & (bitCapacity_ - 1), 16);
}

uint32_t CBitStream::Peek32At(int offsetBits) const {
    const uint32_t start = (readIndex_ + static_cast<uint32_t>(offsetBits)) & (bitCapacity_ - 1);
    const uint32_t high = PeekBitsAt(start, 16);
    return (high << 16) | PeekBitsAt((start + 16) & (bitCapacity_ - 1), 16);
}

void CBitStream::SkipBits(int n) {
    readIndex_ = (readIndex_ + static_cast<uint32_t>(n)) & (bitCapacity_ - 1);
    validBits_ -= n;
    bitCounter_ += n;
}

void CBitStream::UnreadBits(int n) {
    readIndex_ = (readIndex_ - static_cast<uint32_t>(n)) & (bitCapacity_ - 1);
    validBits_ += n;
    bitCounter_ -= n;
}

int CBitStream::CopyFrom(CBitStream& other, int count) {
    const int n = std::min({GetFreeBytes(), other.ValidBits() / 8, count});
    if (n <= 0) {
        return 0;
    }
    for (int i = 0; i < n; ++i) {
        buffer_[writeIndex_] = static_cast<uint8_t>(other.GetBits(8));
        writeIndex_ = (writeIndex_ + 1) & (size_ - 1);
    }
    validBits_ += 8 * n;
    return n;
}

uint16_t ComputeCrc(CBitStream& stream, int bits, uint16_t crc) {
    for (; bits >= 8; bits -= 8) {
        const uint32_t byte = stream.GetBits(8);
        crc = static_cast<uint16_t>((crc << 8) ^ kCrcTable.entries[((crc >> 8) ^ byte) & 0xFF]);
    }
    for (; bits > 0; --bits) {
        const uint32_t bit = stream.GetBit();
        const bool top = ((crc >> 15) & 1u) != bit;
        crc = static_cast<uint16_t>(crc << 1);
        if (top) {
            crc ^= 0x8005;
        }
    }
    return crc;
}

}  // namespace mp3
