#include "codecs/aacplus/Pns.h"

#include <algorithm>
#include <iterator>
#include <cmath>

#include "codecs/aacplus/Huffman.h"

namespace aacplus {

void NoiseData::reset() {
    for (auto& g : energy)
        std::fill(std::begin(g), std::end(g), kNoNoise);
    running = 0;
    started = false;
    any = false;
}

void readNoiseEnergy(NoiseData& n, BitReader& r, int globalGain, int band, int group) {
    if (!n.started) {
        n.started = true;
        n.running = globalGain - 90 + int32_t(r.read(9)) - 256;
    } else {
        n.running += decodeHuffmanIndex(huffmanBook(12), r) - 60;
    }
    n.energy[group & 7][band & 63] = n.running;
    n.any = true;
}

void fillNoiseBand(float* lines, int width, int32_t energy, uint16_t& state) {
    if (width <= 0) return;
    // Energies beyond this range only come from damaged streams; keep the samples finite.
    const double gain = std::exp2(0.25 * std::clamp(energy, -400, 400));
    const double norm = 1.0 / std::sqrt(double(width));
    double sum = 0.0;
    for (int i = 0; i < width; ++i) {
        state = uint16_t(state * 1321u + 14975u);
        const float v = float(double(int16_t(state)) * norm);
        lines[i] = v;
        sum += double(v) * v;
    }
    const float scale = sum > 0.0 ? float(gain / std::sqrt(sum)) : 0.0f;
    for (int i = 0; i < width; ++i)
        lines[i] *= scale;
}

}  // namespace aacplus
