// Fixed tables of the VLB spectral-extension payload format, defined once here and shared
// by the decoder and the tests' payload writer.
#pragma once

#include <cstdint>

namespace vlbext {

// Level of the noise put into a core section, by 4-bit index (long blocks); short blocks
// use entry 2 * index + 1 of their 3-bit index.
float NoiseLevel(unsigned index);
// Chirp factor by 3-bit index.
float ChirpFactor(unsigned index);
// Gain table 0 or 1, entry 0..255.
float BandGain(unsigned table, unsigned index);

// Band layout: widths in bins covering 0 .. output length of (window kind, mode) for a rate
// the table lists (48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000);
// null for any other rate.
const uint16_t* BandLayout(uint32_t rate, bool shortWindows, uint32_t doubleRate, unsigned* count);

// Delta codes of (table set, window kind).
struct DeltaCode {
    int16_t delta;
    uint8_t length;
    uint16_t code;  // `length` bits, first bit read is the most significant
};
struct DeltaCodeList {
    const DeltaCode* entries;  // sorted by length
    unsigned count;
    int minDelta, maxDelta;
};
const DeltaCodeList& DeltaCodes(unsigned tableSet, bool shortWindows);

}  // namespace vlbext
