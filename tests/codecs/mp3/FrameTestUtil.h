#pragma once

#include <cstdint>
#include <vector>

#include "codecs/mp3/MpegHeader.h"

// Builders of synthetic MPEG audio frames for the frame-layer and interface tests.
namespace mp3test {

// versionBits: 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5, 1 reserved; layer 1..3 (0 = reserved bits 00).
inline uint32_t HeaderWord(int versionBits, int layer, int bitRateIndex, int samplingIndex, int padding = 0,
                           int mode = 0, int modeExtension = 0, bool crc = false) {
    const uint32_t layerBits = layer == 0 ? 0u : static_cast<uint32_t>(4 - layer);
    return (0x7FFu << 21) | (static_cast<uint32_t>(versionBits) << 19) | (layerBits << 17) | ((crc ? 0u : 1u) << 16) |
           (static_cast<uint32_t>(bitRateIndex) << 12) | (static_cast<uint32_t>(samplingIndex) << 10) |
           (static_cast<uint32_t>(padding) << 9) | (static_cast<uint32_t>(mode) << 6) |
           (static_cast<uint32_t>(modeExtension) << 4);
}

// One frame with the given header and a body of `fill` bytes (all-zero bodies decode as
// silence in Layers I and II: no allocations).
inline std::vector<uint8_t> Frame(uint32_t word, uint8_t fill = 0) {
    mp3::CMpegHeader h;
    if (!h.Decode(word)) return {};
    std::vector<uint8_t> f(static_cast<size_t>(h.frameBits / 8), fill);
    f[0] = static_cast<uint8_t>(word >> 24);
    f[1] = static_cast<uint8_t>(word >> 16);
    f[2] = static_cast<uint8_t>(word >> 8);
    f[3] = static_cast<uint8_t>(word);
    return f;
}

inline void Append(std::vector<uint8_t>& to, const std::vector<uint8_t>& what) {
    to.insert(to.end(), what.begin(), what.end());
}

// A run of n silent MPEG-1 Layer II frames, 44100 Hz stereo, 128 kbit/s (417 bytes).
inline std::vector<uint8_t> SilentLayer2(int n, int padding = 0) {
    std::vector<uint8_t> out;
    for (int i = 0; i < n; ++i)
        Append(out, Frame(HeaderWord(3, 2, 8, 0, padding)));
    return out;
}

}  // namespace mp3test
