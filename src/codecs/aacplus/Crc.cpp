#include "codecs/aacplus/Crc.h"

#include <algorithm>
#include <new>

#include "codecs/aaccore/Crc16.h"

namespace aacplus {

void CrcRegion::end(int64_t position, int64_t maximum) {
    length = std::max<int64_t>(0, std::min(maximum, position - start));
}

std::unique_ptr<Crc> Crc::create(uint16_t polynomial, uint16_t topBit, uint16_t initial, int width) {
    if (width < 1 || width > 16) return nullptr;
    std::unique_ptr<Crc> crc(new (std::nothrow) Crc);
    if (!crc) return nullptr;
    crc->polynomial_ = polynomial;
    crc->topBit_ = topBit;
    crc->initial_ = initial;
    crc->width_ = width;
    crc->mask_ = uint16_t(0xFFFFu >> (16 - width));
    crc->hasTable_ = width == 16 && topBit == 0x8000;
    if (crc->hasTable_) aaccore::makeCrc16Table(polynomial, crc->table_);
    crc->reset();
    return crc;
}

void Crc::feedBit(bool bit) {
    const bool top = (current_ & topBit_) != 0;
    current_ = uint16_t(current_ << 1);
    if (top != bit) current_ ^= polynomial_;
    current_ &= mask_;
}

void Crc::feedByte(uint8_t byte) {
    if (hasTable_) {
        current_ = aaccore::crc16Byte(table_, current_, byte);
        return;
    }
    for (int k = 7; k >= 0; --k)
        feedBit((byte >> k) & 1);
}

void Crc::feed(const uint8_t* data, int32_t count, const CrcRegion* regions, int numRegions) {
    for (int r = 0; r < numRegions; ++r) {
        const CrcRegion& region = regions[r];
        if (region.length < 0) continue;
        reader_.bind(data, count, region.start);
        int64_t left = region.length;
        // A region past the data reads zeros; cap the work at what a frame can hold.
        left = std::min<int64_t>(left, int64_t(count) * 8 + 64);
        while (left >= 8) {
            feedByte(uint8_t(reader_.read(8)));
            left -= 8;
        }
        while (left-- > 0)
            feedBit(reader_.read(1));
        for (int64_t z = region.pad - region.length; z > 0; --z)
            feedBit(false);
    }
}

}  // namespace aacplus
