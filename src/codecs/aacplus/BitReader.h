// MSB-first bit reader over a byte array. A plain record: parsers peek ahead by copying it.
// Reading past `count` never touches memory: the missing bytes read as zeros and are
// counted in `overrun`, so callers detect short data through bitsLeft() / overran().
#pragma once

#include <cstdint>

namespace aacplus {

struct BitReader {
    const uint8_t* data = nullptr;
    uint32_t cache = 0;   // next bits, left-aligned
    int32_t next = 0;     // index of the next byte to load
    int32_t count = 0;    // bytes available
    int32_t valid = 0;    // valid bits in the cache; negative = bits still to skip
    int32_t overrun = 0;  // bytes requested beyond count (read as zeros)

    void bind(const uint8_t* bytes, int32_t byteCount, int64_t bitOffset = 0);

    int64_t position() const { return int64_t(next + overrun) * 8 - valid; }
    int64_t bitsLeft() const { return int64_t(count) * 8 - position(); }
    bool overran() const { return bitsLeft() < 0; }
    // Whole bytes behind the position.
    int32_t consumedBytes() const { return next + overrun - (valid + 7) / 8; }

    // 1 <= n <= 25.
    uint32_t read(int n);
    uint32_t peek(int n);
    bool readBit() { return read(1) != 0; }
    // Drops n bits already in the cache (n <= valid).
    void dropCached(int n);
    // Moves the position forward by n >= 0 bits without reading.
    void skip(int64_t n);
    // Drops bits so the position is a whole number of bytes from bit position `offset`.
    void align(int64_t offset = 0);

private:
    void refill();
};

}  // namespace aacplus
