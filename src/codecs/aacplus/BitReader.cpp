#include "codecs/aacplus/BitReader.h"

#include <algorithm>

namespace aacplus {

void BitReader::bind(const uint8_t* bytes, int32_t byteCount, int64_t bitOffset) {
    data = bytes;
    count = bytes ? std::max<int32_t>(byteCount, 0) : 0;
    cache = 0;
    overrun = 0;
    next = 0;
    valid = 0;
    skip(std::max<int64_t>(bitOffset, 0));
}

void BitReader::refill() {
    int free = 32 - valid;
    while (free >= 8) {
        free -= 8;
        if (next < count) {
            // With a pending skip (valid < 0) the first bytes land partly or wholly above
            // bit 31 and fall away: that is how the skip takes effect.
            if (free < 32) cache |= uint32_t(data[next]) << free;
            ++next;
        } else {
            ++overrun;
        }
    }
    valid = 32 - free;
}

uint32_t BitReader::read(int n) {
    if (valid < 25) refill();
    const uint32_t v = cache >> (32 - n);
    cache = n >= 32 ? 0 : cache << n;
    valid -= n;
    return v;
}

uint32_t BitReader::peek(int n) {
    if (valid < 25) refill();
    return cache >> (32 - n);
}

void BitReader::dropCached(int n) {
    valid -= n;
    cache = n >= 32 ? 0 : cache << n;
}

void BitReader::skip(int64_t n) {
    // Bound the target so that byte indices stay within 32 bits whatever a stream claims.
    const int64_t limit = (int64_t(count) + (int64_t(1) << 24)) * 8;
    int64_t target = std::min(position() + std::max<int64_t>(n, 0), limit);
    cache = 0;
    int64_t byte = target / 8;
    if (byte > count) {
        overrun = int32_t(byte - count);
        byte = count;
    } else {
        overrun = 0;
    }
    next = int32_t(byte);
    valid = -int32_t(target % 8);
}

void BitReader::align(int64_t offset) {
    const int64_t d = ((offset - position()) % 8 + 8) % 8;
    if (d) skip(d);
}

}  // namespace aacplus
