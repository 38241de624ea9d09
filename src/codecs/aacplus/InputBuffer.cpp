#include "codecs/aacplus/InputBuffer.h"

#include <algorithm>
#include <cstring>

namespace aacplus {

decapl84::decapl84(BitReader* reader) : crc(Crc::createAdts()), reader_(reader) { reader_->bind(store_, 0); }

decapl84::~decapl84() = default;

void decapl84::append(const uint8_t* data, uint32_t& remaining) {
    if (remaining == 0) {
        endOfInput = true;
        return;
    }
    BitReader& r = *reader_;
    const int32_t consumed = std::max(0, r.consumedBytes());
    if (consumed <= r.count) {
        std::memmove(store_, store_ + consumed, size_t(r.count - consumed));
        r.count -= consumed;
        r.next -= consumed;
        r.valid = std::max(0, r.valid - r.overrun * 8);
        r.overrun = 0;
        if (frameEnd >= 0) frameEnd = std::max<int64_t>(-1, frameEnd - int64_t(consumed) * 8);
    } else {
        r.count = 0;
        r.next = 0;
        r.overrun = 0;
        r.valid = 0;
        r.cache = 0;
        frameEnd = -1;
    }
    r.data = store_;
    const uint32_t copied = std::min<uint32_t>(uint32_t(kInputBufferSize - r.count), remaining);
    if (copied && data) std::memcpy(store_ + r.count, data, copied);
    remaining -= copied;
    r.count += int32_t(copied);
}

}  // namespace aacplus
