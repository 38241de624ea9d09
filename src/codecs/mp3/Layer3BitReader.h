#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace mp3 {

// Reads bits, most significant first, from a linear byte buffer. Whatever the position,
// reads stay inside [data, data + size): a position past the end reads the last eight
// bytes again, so a corrupt length can produce garbage values but never an access
// outside the buffer. Bits are read correctly up to 8 bytes before the buffer's end
// (the owner keeps that much slack behind its data); the buffer holds at least 8 bytes.
class Layer3BitReader {
public:
    Layer3BitReader(const uint8_t* data, size_t size, uint32_t bitPos = 0)
        : data_(data), lastLoad_(size - 8), pos_(bitPos) {}

    uint32_t Position() const { return pos_; }
    void SetPosition(uint32_t bitPos) { pos_ = bitPos; }

    // The next 32 bits without consuming them.
    uint32_t Peek32() const {
        size_t byte = pos_ >> 3;
        if (byte > lastLoad_) byte = lastLoad_;
        uint64_t v;
        std::memcpy(&v, data_ + byte, 8);
        v = ToBigEndian(v);
        return static_cast<uint32_t>((v << (pos_ & 7)) >> 32);
    }

    // The next bits left-aligned in 64; at least the first 57 are valid.
    uint64_t Peek57() const {
        size_t byte = pos_ >> 3;
        if (byte > lastLoad_) byte = lastLoad_;
        uint64_t v;
        std::memcpy(&v, data_ + byte, 8);
        return ToBigEndian(v) << (pos_ & 7);
    }

    // n in 0..32.
    uint32_t GetBits(int n) {
        if (n == 0) return 0;
        uint32_t v = Peek32() >> (32 - n);
        pos_ += static_cast<uint32_t>(n);
        return v;
    }
    uint32_t GetBit() { return GetBits(1); }
    void Skip(uint32_t n) { pos_ += n; }

private:
    static uint64_t ToBigEndian(uint64_t v) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
        return v;
#else
        return __builtin_bswap64(v);
#endif
    }

    const uint8_t* data_;
    size_t lastLoad_;
    uint32_t pos_;
};

}  // namespace mp3
