// The SBR decoder's configuration record, shared by the decoder, its HF generator and the
// frame decoder that opens the elements' SBR decoders.
#pragma once

#include <cstdint>

namespace aacplus {

// Seventeen 32-bit words; words 5, 7, 8, 11 and 12 hold floats (bit copies).
struct SbrDecoderConfig {
    int32_t words[17] = {};
    float getFloat(int i) const;
    void setFloat(int i, float v);
};

}  // namespace aacplus
