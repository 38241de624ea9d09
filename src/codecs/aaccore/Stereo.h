// Joint stereo of a channel pair over a grouped spectrum: M/S and intensity. Which bands
// carry which tool comes from each decoder's parser.
#pragma once

#include <cmath>
#include <cstdint>

namespace aaccore {

// The band layout both tools walk: window w of group g, bands 0 .. maxSfb - 1.
struct Grouping {
    int numGroups = 1;
    int groupLength[8] = {1};
    int maxSfb = 0;
    const uint16_t* offsets = nullptr;  // maxSfb + 1 entries
};

// left, right <- left + right, left - right in the bands whose flag is set.
// spectrumOf(channel, window) gives that window's lines.
template <class SpectrumOf>
void applyMs(const Grouping& grouping, const uint8_t (*flags)[64], SpectrumOf&& spectrumOf) {
    int window = 0;
    for (int g = 0; g < grouping.numGroups; ++g) {
        for (int w = 0; w < grouping.groupLength[g]; ++w, ++window) {
            float* l = spectrumOf(0, window);
            float* r = spectrumOf(1, window);
            for (int b = 0; b < grouping.maxSfb; ++b) {
                if (!flags[g][b]) continue;
                for (int k = grouping.offsets[b]; k < grouping.offsets[b + 1]; ++k) {
                    const float a = l[k], c = r[k];
                    l[k] = a + c;
                    r[k] = a - c;
                }
            }
        }
    }
}

inline constexpr int kIntensityBookOutOfPhase = 14;
inline constexpr int kIntensityBookInPhase = 15;

// Bands of the right channel coded with an intensity book become the left channel's lines
// scaled by 0.5^(position / 4), negative for the out-of-phase book. A set M/S flag (flags
// may be null) reverses that sign. booksOf(g) gives group g's band books, positionsOf(g)
// the positions less 100, as the scale factors are held; positions are clamped to +-1000.
template <class SpectrumOf, class BooksOf, class PositionsOf>
void applyIntensity(const Grouping& grouping, const uint8_t (*flags)[64], SpectrumOf&& spectrumOf, BooksOf&& booksOf,
                    PositionsOf&& positionsOf) {
    int window = 0;
    for (int g = 0; g < grouping.numGroups; ++g) {
        const uint8_t* books = booksOf(g);
        const auto* positions = positionsOf(g);
        for (int w = 0; w < grouping.groupLength[g]; ++w, ++window) {
            const float* l = spectrumOf(0, window);
            float* r = spectrumOf(1, window);
            for (int b = 0; b < grouping.maxSfb; ++b) {
                const int book = books[b];
                if (book != kIntensityBookOutOfPhase && book != kIntensityBookInPhase) continue;
                int position = int(positions[b]) + 100;
                position = position < -1000 ? -1000 : position > 1000 ? 1000 : position;
                float scale = float(std::pow(0.5, position / 4.0));
                if ((book == kIntensityBookOutOfPhase) != (flags != nullptr && flags[g][b] != 0)) scale = -scale;
                for (int k = grouping.offsets[b]; k < grouping.offsets[b + 1]; ++k)
                    r[k] = scale * l[k];
            }
        }
    }
}

}  // namespace aaccore
