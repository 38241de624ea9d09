// MSB-first bit reader over one SBR extension payload. Reads never go beyond the bytes
// given: a read that asks for more bits than remain yields zeros, sets the remaining
// count to 0 and still counts the whole request as consumed, so the payload length test
// catches it.
#pragma once

#include <cstdint>

namespace aacplus {

struct SbrBitReader {
    const uint8_t* data = nullptr;
    int32_t byteCount = 0;
    int32_t bitPos = 0;     // next bit to read inside data
    int32_t consumed = 0;   // bits asked for, including those beyond the end
    int32_t remaining = 0;  // bits still readable

    void init(const uint8_t* bytes, int32_t bytes_count, int32_t bits) {
        data = bytes;
        byteCount = bytes_count;
        bitPos = 0;
        consumed = 0;
        remaining = bits < bytes_count * 8 ? bits : bytes_count * 8;
        if (remaining < 0) remaining = 0;
    }

    // 0 <= n <= 16.
    uint32_t read(int n) {
        consumed += n;
        if (n > remaining) {
            remaining = 0;
            bitPos = byteCount * 8;
            return 0;
        }
        uint32_t v = 0;
        for (int i = 0; i < n; ++i) {
            const int32_t p = bitPos++;
            v = (v << 1) | ((data[p >> 3] >> (7 - (p & 7))) & 1u);
        }
        remaining -= n;
        return v;
    }
    uint32_t readBit() { return read(1); }
    void skip(int32_t n) {
        while (n > 0) {
            const int s = n > 16 ? 16 : n;
            read(s);
            n -= s;
        }
    }
};

}  // namespace aacplus
