// CRC over bit regions of a frame. The decoder's instance is the CRC-16 of ADTS
// (polynomial 0x8005, initial 0xFFFF, MSB first, no reflection, no final XOR).
#pragma once

#include <cstdint>
#include <memory>

#include "codecs/aacplus/BitReader.h"

namespace aacplus {

// Bits [start, start + length) of a frame, followed by (pad - length) zero bits when pad is
// larger. length is -1 until the region is closed; an open region feeds nothing.
struct CrcRegion {
    int64_t start = 0;
    int64_t length = -1;
    int64_t pad = 0;

    void begin(int64_t position, int64_t padLength) {
        start = position;
        length = -1;
        pad = padLength;
    }
    void end(int64_t position, int64_t maximum);
};

class Crc {
public:
    // Null on allocation failure.
    static std::unique_ptr<Crc> create(uint16_t polynomial, uint16_t topBit, uint16_t initial, int width);
    static std::unique_ptr<Crc> createAdts() { return create(0x8005, 0x8000, 0xFFFF, 16); }

    void reset() { current_ = initial_; }
    void setExpected(uint16_t v) { expected_ = v; }
    uint16_t current() const { return current_; }
    uint16_t expected() const { return expected_; }
    bool matches() const { return current_ == expected_; }

    void feedByte(uint8_t byte);
    void feedBit(bool bit);
    // Feeds the regions of `data` (`count` bytes) in order. Bits beyond the data are zeros.
    void feed(const uint8_t* data, int32_t count, const CrcRegion* regions, int numRegions);

private:
    Crc() = default;

    uint16_t expected_ = 0;
    uint16_t polynomial_ = 0;
    uint16_t topBit_ = 0;
    uint16_t current_ = 0;
    uint16_t initial_ = 0;
    uint16_t mask_ = 0;
    uint16_t table_[256] = {};
    int width_ = 0;
    bool hasTable_ = false;
    BitReader reader_;
};

}  // namespace aacplus
