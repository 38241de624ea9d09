#pragma once

#include <cstdint>

namespace mp3 {

// Short-block reordering: from short band `fromBand` on, the values of each band, stored
// window by window, are interleaved into (line, window) order. `sfbShort` holds the
// 14 band starts of one window.
void Layer3ReorderShort(float* xr, const int16_t* sfbShort, int fromBand);

// The eight alias-reduction butterflies on subband boundaries 1 .. lastBoundary.
void Layer3AliasReduce(float* xr, int lastBoundary);

// The hybrid filter bank of one granule: per subband an inverse MDCT (one 36-point or
// three 12-point transforms) windowed by its block type, overlap-added with the previous
// granule, then the frequency inversion of odd subbands. Overlap memory is per channel.
class CHybridFilterBank {
public:
    explicit CHybridFilterBank(unsigned downsampleShift);
    void Reset();

    // in: 576 spectral values (subband-major, 18 per subband; short blocks already
    // reordered). out: 18 time samples per subband, subband-major.
    // `processed`: subbands transformed (the rest output and clear their overlap);
    // `longSubbands`: leading subbands of a mixed block that use the long window;
    // `blockType`: 0 normal, 1 start, 2 short, 3 stop.
    void Process(int channel, const float* in, float* out, int processed, int blockType, int longSubbands);

    unsigned SubbandLimit() const { return 32u >> shift_; }

private:
    unsigned shift_;
    float overlap_[2][32][18];
};

}  // namespace mp3
