#include "codecs/mp3/Layer3FilterBank.h"

#include <cmath>
#include <cstring>

#include "codecs/aaccore/Lanes.h"
#include "codecs/aaccore/Wide.h"
#include "codecs/mp3/tables/MpegTables.h"

namespace mp3 {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Cosines and windows are computed once; they are the transform's definition, not data.
struct Transforms {
    // [k][n] = cos(pi/72 (2n+1)(2k+1)): 18-point DCT-IV.
    float dct18[18][18];
    // The same values unfolded into the 36 outputs of the inverse MDCT (see Imdct36), with
    // their signs; rows padded with zeros to 40 so that the accumulation runs in whole
    // vectors.
    alignas(32) float imdct36[18][40];
    float dct6[6][6];     // cos(pi/24 (2n+1)(2k+1)): 6-point DCT-IV
    float window[4][36];  // long windows by block type (2 unused)
    float shortWindow[12];

    Transforms() {
        for (int n = 0; n < 18; ++n)
            for (int k = 0; k < 18; ++k)
                dct18[k][n] = static_cast<float>(std::cos(kPi / 72 * (2 * n + 1) * (2 * k + 1)));
        for (int k = 0; k < 18; ++k) {
            for (int i = 0; i < 40; ++i)
                imdct36[k][i] = 0.0f;
            for (int i = 0; i < 9; ++i)
                imdct36[k][i] = dct18[k][i + 9];
            for (int i = 9; i < 27; ++i)
                imdct36[k][i] = -dct18[k][26 - i];
            for (int i = 27; i < 36; ++i)
                imdct36[k][i] = -dct18[k][i - 27];
        }
        for (int n = 0; n < 6; ++n)
            for (int k = 0; k < 6; ++k)
                dct6[n][k] = static_cast<float>(std::cos(kPi / 24 * (2 * n + 1) * (2 * k + 1)));
        for (int i = 0; i < 36; ++i) {
            double longWin = std::sin(kPi / 36 * (i + 0.5));
            window[0][i] = static_cast<float>(longWin);
            window[2][i] = 0.0f;
            // start: long rise, flat, short fall, zero
            double start = i < 18 ? longWin : i < 24 ? 1.0 : i < 30 ? std::sin(kPi / 12 * (i - 18 + 0.5)) : 0.0;
            // stop: zero, short rise, flat, long fall
            double stop = i < 6 ? 0.0 : i < 12 ? std::sin(kPi / 12 * (i - 6 + 0.5)) : i < 18 ? 1.0 : longWin;
            window[1][i] = static_cast<float>(start);
            window[3][i] = static_cast<float>(stop);
        }
        for (int i = 0; i < 12; ++i)
            shortWindow[i] = static_cast<float>(std::sin(kPi / 12 * (i + 0.5)));
    }
};

const Transforms& T() {
    static const Transforms transforms;  // thread-safe initialisation
    return transforms;
}

// 36-point inverse MDCT through an 18-point DCT-IV:
//   y[i] = sum_k X[k] cos(pi/72 (2i + 19)(2k + 1)), i = 0..35
// equals t[i+9] for i < 9, -t[26-i] for 9 <= i < 27, -t[i-27] for i >= 27. The 36 sums
// are accumulated input by input over the unfolded table, so that they run side by side
// in vectors; each adds its terms in k order, and a negated cosine gives exactly the
// negated sum.
void Imdct36(const float* in, const float* window, float* overlap, float* out) {
    const Transforms& t = T();
    aaccore::Lanes8 acc[5] = {};
#pragma GCC unroll 18
    for (int k = 0; k < 18; ++k) {
        const float x = in[k];
        for (int q = 0; q < 5; ++q) {
            aaccore::Lanes8 c;
            std::memcpy(&c, t.imdct36[k] + 8 * q, sizeof(c));
            acc[q] += x * c;
        }
    }
    float y[40];
    std::memcpy(y, acc, sizeof(y));
    for (int i = 0; i < 18; ++i)
        out[i] = overlap[i] + y[i] * window[i];
    for (int i = 0; i < 18; ++i)
        overlap[i] = y[18 + i] * window[18 + i];
}

// Three 12-point inverse MDCTs (windows interleaved in the input as line * 3 + window),
// each windowed and overlapped at offsets 6, 12, 18 of the 36-sample block.
void Imdct12x3(const float* in, float* overlap, float* out) {
    const Transforms& t = T();
    float z[36] = {};
    for (int w = 0; w < 3; ++w) {
        float d[6];
        for (int n = 0; n < 6; ++n) {
            float s = 0.0f;
            for (int k = 0; k < 6; ++k)
                s += in[3 * k + w] * t.dct6[n][k];
            d[n] = s;
        }
        // y[i] = sum_k X[k] cos(pi/24 (2i + 7)(2k + 1)), i = 0..11:
        // t[i+3] for i < 3, -t[8-i] for 3 <= i < 9, -t[i-9] for i >= 9.
        float y[12];
        for (int i = 0; i < 3; ++i)
            y[i] = d[i + 3];
        for (int i = 3; i < 9; ++i)
            y[i] = -d[8 - i];
        for (int i = 9; i < 12; ++i)
            y[i] = -d[i - 9];
        for (int i = 0; i < 12; ++i)
            z[6 + 6 * w + i] += y[i] * t.shortWindow[i];
    }
    for (int i = 0; i < 18; ++i) {
        out[i] = overlap[i] + z[i];
        overlap[i] = z[18 + i];
    }
}

}  // namespace

void Layer3ReorderShort(float* xr, const int16_t* sfbShort, int fromBand) {
    float tmp[3 * 192];
    for (int band = fromBand; band < 13; ++band) {
        int start = sfbShort[band];
        int width = sfbShort[band + 1] - start;
        float* base = xr + 3 * start;
        for (int w = 0; w < 3; ++w)
            for (int j = 0; j < width; ++j)
                tmp[3 * j + w] = base[w * width + j];
        std::memcpy(base, tmp, sizeof(float) * 3 * width);
    }
}

namespace {

// The butterflies run in float; these values convert exactly as float literals would.
struct AliasFactors {
    float cs[8];
    float ca[8];
    AliasFactors() {
        for (int i = 0; i < 8; ++i) {
            cs[i] = static_cast<float>(tables::kAliasCs[i]);
            ca[i] = static_cast<float>(tables::kAliasCa[i]);
        }
    }
};

const AliasFactors& Alias() {
    static const AliasFactors factors;
    return factors;
}

}  // namespace

// The eight butterflies of a boundary side by side: the eight values below it reversed
// into one vector, the eight above in another.
AACCORE_WIDE_KERNEL void Layer3AliasReduce(float* xr, int lastBoundary) {
    using aaccore::Lanes8;
    if (lastBoundary > 31) lastBoundary = 31;
    Lanes8 cs;
    Lanes8 ca;
    std::memcpy(&cs, Alias().cs, sizeof(cs));
    std::memcpy(&ca, Alias().ca, sizeof(ca));
    for (int s = 1; s <= lastBoundary; ++s) {
        float* b = xr + 18 * s;
        Lanes8 below;
        Lanes8 hi;
        std::memcpy(&below, b - 8, sizeof(below));
        std::memcpy(&hi, b, sizeof(hi));
        const Lanes8 lo = __builtin_shufflevector(below, below, 7, 6, 5, 4, 3, 2, 1, 0);
        const Lanes8 newLo = lo * cs - hi * ca;
        const Lanes8 newHi = hi * cs + lo * ca;
        below = __builtin_shufflevector(newLo, newLo, 7, 6, 5, 4, 3, 2, 1, 0);
        std::memcpy(b - 8, &below, sizeof(below));
        std::memcpy(b, &newHi, sizeof(newHi));
    }
}

CHybridFilterBank::CHybridFilterBank(unsigned downsampleShift) : shift_(downsampleShift > 2 ? 2 : downsampleShift) {
    T();
    Reset();
}

void CHybridFilterBank::Reset() { std::memset(overlap_, 0, sizeof(overlap_)); }

namespace {

// The body of Process, built twice (SSE2 and AVX2) with the transforms inlined; both give
// the same samples (see aaccore/Wide.h).
AACCORE_WIDE_KERNEL void ProcessSubbands(const float* in, float* out, float (*overlap)[18], int processed, int limit,
                                         int blockType, int longSubbands) {
    const Transforms& t = T();
    for (int sb = 0; sb < processed; ++sb) {
        float* o = out + 18 * sb;
        int type = sb < longSubbands ? 0 : blockType;
        if (type == 2)
            Imdct12x3(in + 18 * sb, overlap[sb], o);
        else
            Imdct36(in + 18 * sb, t.window[type], overlap[sb], o);
    }
    for (int sb = processed; sb < limit; ++sb) {
        float* o = out + 18 * sb;
        std::memcpy(o, overlap[sb], sizeof(float) * 18);
        std::memset(overlap[sb], 0, sizeof(float) * 18);
    }
    for (int sb = 1; sb < 32; sb += 2)
        for (int i = 1; i < 18; i += 2)
            out[18 * sb + i] = -out[18 * sb + i];
}

}  // namespace

void CHybridFilterBank::Process(int channel, const float* in, float* out, int processed, int blockType,
                                int longSubbands) {
    const int limit = static_cast<int>(SubbandLimit());
    if (processed > limit) processed = limit;
    if (processed < 0) processed = 0;
    if (blockType < 0 || blockType > 3) blockType = 0;
    ProcessSubbands(in, out, overlap_[channel & 1], processed, 32, blockType, longSubbands);
}

}  // namespace mp3
