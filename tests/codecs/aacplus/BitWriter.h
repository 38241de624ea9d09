// Builds bit strings MSB first, for hand-made headers in tests.
#pragma once

#include <cstdint>
#include <vector>

namespace aactest {

class BitWriter {
public:
    BitWriter& put(uint32_t value, int bits) {
        for (int i = bits - 1; i >= 0; --i)
            putBit((value >> i) & 1);
        return *this;
    }
    BitWriter& bytes(const std::vector<uint8_t>& b) {
        for (uint8_t v : b)
            put(v, 8);
        return *this;
    }
    BitWriter& align() {
        while (bits_ % 8)
            putBit(0);
        return *this;
    }
    int64_t bits() const { return bits_; }
    std::vector<uint8_t> data() const { return data_; }

private:
    void putBit(uint32_t b) {
        if (bits_ % 8 == 0) data_.push_back(0);
        if (b) data_.back() |= uint8_t(0x80 >> (bits_ % 8));
        ++bits_;
    }
    std::vector<uint8_t> data_;
    int64_t bits_ = 0;
};

// An ADTS frame of `length` bytes (header included) with a zero payload.
struct AdtsFields {
    int id = 0, layer = 0, protectionAbsent = 1, profile = 1, sfIndex = 4, channelConfiguration = 2;
    int length = 64, fullness = 0x7FF, blocks = 0;
    uint16_t crc = 0;
};

inline std::vector<uint8_t> adtsFrame(const AdtsFields& f) {
    BitWriter w;
    w.put(0xFFF, 12).put(f.id, 1).put(f.layer, 2).put(f.protectionAbsent, 1).put(f.profile, 2).put(f.sfIndex, 4);
    w.put(0, 1).put(f.channelConfiguration, 3).put(0, 4).put(f.length, 13).put(f.fullness, 11).put(f.blocks, 2);
    if (!f.protectionAbsent) w.put(f.crc, 16);
    std::vector<uint8_t> out = w.data();
    out.resize(size_t(f.length), 0);
    return out;
}

}  // namespace aactest
