// Perceptual noise substitution: noise-coded bands filled with scaled pseudo-random values,
// identical noise in both channels of a pair where the pair flags a band.
#pragma once

#include <cstdint>

#include "codecs/aacplus/BitReader.h"
#include "codecs/aacplus/IcsInfo.h"

namespace aacplus {

inline constexpr int32_t kNoNoise = INT32_MIN;

struct NoiseData {
    int32_t energy[8][64];
    int32_t running = 0;
    bool started = false;
    bool any = false;

    NoiseData() { reset(); }
    void reset();
};

// The generator of an element, shared by the channels of a pair.
struct NoiseGenerator {
    uint16_t state = 0;
    uint16_t increment = 0;
    uint16_t saved[8][64] = {};  // per window and band, for correlated pairs
};

// Reads the energy of a noise band (scale-factor reader, codebook 13).
void readNoiseEnergy(NoiseData& n, BitReader& r, int globalGain, int band, int group);

// spectrumOf(w): window w's coefficients. msFlags[group][band]: the pair's correlation flags
// (null for a single channel). channel: 0 single / first of a pair, 1 second of a pair.
template <class SpectrumOf>
void generateNoise(const NoiseData& n, const IcsInfo& ics, SpectrumOf&& spectrumOf, NoiseGenerator& gen,
                   const uint8_t (*msFlags)[64], int channel);

void fillNoiseBand(float* lines, int width, int32_t energy, uint16_t& state);

template <class SpectrumOf>
void generateNoise(const NoiseData& n, const IcsInfo& ics, SpectrumOf&& spectrumOf, NoiseGenerator& gen,
                   const uint8_t (*msFlags)[64], int channel) {
    if (!n.any) {
        if (channel != 1) ++gen.increment;
        return;
    }
    const uint16_t* offs = ics.swbOffset();
    int window = 0;
    for (int g = 0; g < ics.numGroups; ++g) {
        for (int wi = 0; wi < ics.groupLength[g]; ++wi, ++window) {
            float* spec = spectrumOf(window);
            for (int b = 0; b < ics.maxSfb; ++b) {
                if (n.energy[g][b] == kNoNoise) continue;
                const bool linked = msFlags && msFlags[g][b];
                const int width = offs[b + 1] - offs[b];
                if (linked && channel == 1) {
                    fillNoiseBand(spec + offs[b], width, n.energy[g][b], gen.saved[window][b]);
                } else {
                    if (linked) gen.saved[window][b] = gen.state;
                    fillNoiseBand(spec + offs[b], width, n.energy[g][b], gen.state);
                }
            }
        }
    }
    gen.state = uint16_t(gen.state + gen.increment);
    if (channel != 1) ++gen.increment;
}

}  // namespace aacplus
