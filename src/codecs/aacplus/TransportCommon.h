// Small helpers the transport parsers share (rate tables, byte signatures).
#pragma once

#include <cstdint>

#include "codecs/aacplus/BitReader.h"
#include "codecs/aactables/AacSampleRate.h"

namespace aacplus::transport {

// A rate of 0 maps to the invalid index 15; every other rate to a table index.
inline int indexForRate(int rate) {
    if (rate <= 0) return 15;
    return aactables::sampleRateIndexForRate(uint32_t(rate));
}

inline int rateOfIndex(int index) { return int(aactables::sampleRateForIndex(index)); }

// Whether the reader's next bytes are `text` (on a copy; the reader does not move).
inline bool bytesAt(const BitReader& r, const char* text) {
    BitReader c = r;
    for (const char* p = text; *p; ++p) {
        if (c.bitsLeft() < 8 || c.read(8) != uint8_t(*p)) return false;
    }
    return true;
}

}  // namespace aacplus::transport
