#include "codecs/mp3/PolyphaseSynthesis.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "codecs/aaccore/Lanes.h"
#include "codecs/aaccore/Wide.h"
#include "codecs/mp3/tables/MpegTables.h"

namespace mp3 {

namespace {

// The matrixing V[i] = sum_k S[k] cos((16 + i)(2k + 1) pi / 64), i = 0..63, is a
// 32-point DCT-II X[k] = sum_n S[n] cos((2n + 1) k pi / 64) read with signs:
//   V[i] = X[16 + i] (i < 16), 0 (i = 16), -X[48 - i] (16 < i < 48),
//   -X[0] (i = 48), -X[i - 48] (i > 48).
// Output sample j of the standard's windowing reads V[j] of the even blocks and
// V[32 + j] of the odd ones (block 0 the newest), so each sample is 16 products of a
// signed window value and one X entry per block:
//   even blocks: X[16 + j] (j < 16), nothing (j = 16), X[48 - j] (j > 16);
//   odd blocks:  X[16 - j] (j < 16), X[0] (j = 16), X[j - 16] (j > 16).
// The ring keeps both readings of every block, so that a block's age only picks a row.
struct Window {
    alignas(32) float weight[16][32];  // [block][sample], signs folded in
};

using aaccore::Lanes8;
using aaccore::transpose8;

Window BuildWindow() {
    Window w{};
    for (int j = 0; j < 32; ++j) {
        for (int k = 0; k < 16; ++k) {
            const int m = k / 2;
            const bool even = (k % 2) == 0;
            const int d = even ? j + 64 * m : j + 64 * m + 32;
            double value = tables::kSynthesisWindowD[d] / 65536.0;
            if (even) {
                if (j == 16) {
                    value = 0.0;
                } else if (j > 16) {
                    value = -value;
                }
            } else {
                value = -value;
            }
            w.weight[k][j] = static_cast<float>(value);
        }
    }
    return w;
}

const Window& SynthesisWindow() {
    static const Window window = BuildWindow();
    return window;
}

// Butterfly factors 1 / (2 cos((2n + 1) pi / 2N)) for N = 2, 4, 8, 16, 32.
struct DctFactors {
    float f[6][16];
};

DctFactors BuildDctFactors() {
    DctFactors t{};
    for (int level = 1; level <= 5; ++level) {
        const int n = 1 << level;
        for (int i = 0; i < n / 2; ++i) {
            t.f[level][i] = static_cast<float>(1.0 / (2.0 * std::cos((2 * i + 1) * M_PI / (2.0 * n))));
        }
    }
    return t;
}

const DctFactors& Factors() {
    static const DctFactors factors = BuildDctFactors();
    return factors;
}

// DCT-II of n = 2^Level values by even/odd splitting (a template so that the whole
// butterfly network unrolls). T is float, or a vector of floats holding the same values
// of several blocks: every lane then does exactly the float operations.
template <int Level, typename T>
void Dct(const T* x, T* out, const DctFactors& factors) {
    if constexpr (Level == 0) {
        out[0] = x[0];
    } else {
        constexpr int n = 1 << Level;
        constexpr int half = n / 2;
        T a[half];
        T b[half];
        for (int i = 0; i < half; ++i) {
            const T lo = x[i];
            const T hi = x[n - 1 - i];
            a[i] = lo + hi;
            b[i] = (lo - hi) * factors.f[Level][i];
        }
        T ea[half];
        T eb[half + 1];
        Dct<Level - 1>(a, ea, factors);
        Dct<Level - 1>(b, eb, factors);
        eb[half] = T{};
        for (int k = 0; k < half; ++k) {
            out[2 * k] = ea[k];
            out[2 * k + 1] = eb[k] + eb[k + 1];
        }
    }
}

// Flattened: the butterflies of all levels inline into one straight-line block.
template <typename T>
#if defined(__GNUC__)
__attribute__((flatten))
#endif
void DctOfLevel(int level, const T* x, T* out, const DctFactors& factors) {
    switch (level) {
    case 5: Dct<5>(x, out, factors); break;
    case 4: Dct<4>(x, out, factors); break;
    default: Dct<3>(x, out, factors); break;
    }
}

// The DCTs of `blocks` blocks of one channel into x[block][0..n), eight blocks at once
// through the butterflies (each lane does exactly the scalar float operations). Input
// is slot-major (block b's value i at input[32 b + i]) or, for SubbandMajor, a Layer III
// granule of 18 blocks (input[18 i + b]). A last group short of eight blocks starts
// earlier and recomputes blocks already done, with the same result.
template <bool SubbandMajor>
void DctBlocks(int level, const float* input, int blocks, float (*x)[32], const DctFactors& factors) {
    const int n = 1 << level;  // 8, 16 or 32
    static const float kZero[32] = {};
    for (int next = 0; next < blocks; next += 8) {
        const int first = next + 8 > blocks && blocks >= 8 ? blocks - 8 : next;
        Lanes8 in[32];
        for (int i = n; i < 32; ++i)
            in[i] = Lanes8{};  // never read, but the compiler cannot tell
        if constexpr (SubbandMajor) {
            for (int i = 0; i < n; ++i)
                std::memcpy(&in[i], input + 18 * i + first, sizeof(Lanes8));
        } else {
            for (int tile = 0; tile < n; tile += 8) {
                for (int lane = 0; lane < 8; ++lane) {
                    const float* row = first + lane < blocks ? input + 32 * (first + lane) : kZero;
                    std::memcpy(&in[tile + lane], row + tile, sizeof(Lanes8));
                }
                transpose8(in + tile);
            }
        }
        Lanes8 out[32];
        DctOfLevel(level, in, out, factors);
        for (int tile = 0; tile < n; tile += 8) {
            transpose8(out + tile);
            for (int lane = 0; lane < 8 && first + lane < blocks; ++lane)
                std::memcpy(x[first + lane] + tile, &out[tile + lane], sizeof(Lanes8));
        }
    }
}

}  // namespace

CPolyphaseSynthesis::CPolyphaseSynthesis(const MpegFrameParams* frameParameters, unsigned downsampleShift, int eightBit,
                                         int mono)
    : frameParameters_(frameParameters),
      downsampleShift_(downsampleShift > 2 ? 2 : downsampleShift),
      eightBit_(eightBit ? 1 : 0),
      mono_(mono ? 1 : 0) {
    Reset();
}

void CPolyphaseSynthesis::Reset() {
    std::memset(rings_, 0, sizeof(rings_));
    ringIndex_ = 0;
}

int16_t CPolyphaseSynthesis::ToPcm16(double sum) {
    // Clamping first gives the same result as testing the bounds and lets loops of
    // conversions vectorise.
    const double clamped = sum > 32767.0 ? 32767.0 : (sum < -32768.0 ? -32768.0 : sum);
    return static_cast<int16_t>(static_cast<int>(clamped));  // truncation toward zero
}

int CPolyphaseSynthesis::BytesPerBlock(int channels) const {
    return ((32 >> downsampleShift_) * (mono_ ? 1 : channels) * 2) >> eightBit_;
}

namespace {

// The body of Synthesize, built twice (SSE2 and AVX2) with everything it calls inlined;
// both give the same samples (see aaccore/Wide.h).
template <bool SubbandMajor>
inline uint8_t* SynthesizeBlocks(const float* input, uint8_t* output, int blocks, int channels, int shift, int eightBit,
                                 float (*rings)[32][64], unsigned& ringIndex) {
    const Window& window = SynthesisWindow();
    const DctFactors& factors = Factors();
    const int n = 32 >> shift;
    const int stride = 1 << shift;
    unsigned index = ringIndex;

    if (blocks > 18) {
        blocks = 18;
    }
    float dct[2][18][32];
    for (int ch = 0; ch < channels; ++ch) {
        DctBlocks<SubbandMajor>(5 - shift, input + ch * 576, blocks, dct[ch], factors);
    }

    for (int block = 0; block < blocks; ++block) {
        index = (index - 1) & 15;
        for (int ch = 0; ch < channels; ++ch) {
            float* x = dct[ch][block];
            if (shift != 0) {
                // At a reduced rate the entries between the kept ones are zero.
                for (int i = n - 1; i > 0; --i) {
                    x[i * stride] = x[i];
                }
                for (int i = 0; i < 32; ++i) {
                    if ((i & (stride - 1)) != 0) {
                        x[i] = 0.0f;
                    }
                }
            }
            // Each block goes to slot index and index + 16, so that the 16 newest blocks
            // are always 16 consecutive slots from index on.
            float* even = rings[ch][index];
            float* odd = even + 32;
            for (int j = 0; j < 16; ++j) {
                even[j] = x[16 + j];
                odd[j] = x[16 - j];
            }
            even[16] = 0.0f;
            odd[16] = x[0];
            for (int j = 17; j < 32; ++j) {
                even[j] = x[48 - j];
                odd[j] = x[j - 16];
            }
            std::memcpy(rings[ch][index + 16], even, sizeof(float) * 64);
        }
        // Block by block (newest first), all 32 full-rate sums at once in four vectors of
        // eight; at a reduced rate the sums between the kept ones are unused. Float sums
        // of 16 products stay far inside one LSB; every lane multiplies and adds in the
        // same order as the scalar sum would.
        alignas(64) float sums[2][32];
        for (int ch = 0; ch < channels; ++ch) {
            const float* newest = rings[ch][index];
            Lanes8 acc[4] = {};
#pragma GCC unroll 16
            for (int k = 0; k < 16; ++k) {
                const float* v = newest + 64 * k + (k & 1) * 32;
                const float* w = window.weight[k];
                for (int q = 0; q < 4; ++q) {
                    Lanes8 wq;
                    Lanes8 vq;
                    std::memcpy(&wq, w + 8 * q, sizeof(wq));
                    std::memcpy(&vq, v + 8 * q, sizeof(vq));
                    acc[q] += wq * vq;
                }
            }
            std::memcpy(sums[ch], acc, sizeof(acc));
        }
        // ToPcm16 in a form that vectorises: clamp, then truncate toward zero.
        alignas(64) int32_t whole[2][32];
        alignas(64) int16_t pcm[2][32];
        for (int ch = 0; ch < channels; ++ch) {
            for (int j = 0; j < 32; ++j) {
                whole[ch][j] = static_cast<int32_t>(std::min(std::max(sums[ch][j], -32768.0f), 32767.0f));
            }
            for (int j = 0; j < 32; ++j) {
                pcm[ch][j] = static_cast<int16_t>(whole[ch][j]);
            }
        }
        if (shift == 0 && !eightBit) {
            int16_t interleaved[64];
            if (channels == 2) {
                for (int j = 0; j < 32; ++j) {
                    interleaved[2 * j] = pcm[0][j];
                    interleaved[2 * j + 1] = pcm[1][j];
                }
            } else {
                std::memcpy(interleaved, pcm[0], sizeof(pcm[0]));
            }
            const size_t bytes = sizeof(int16_t) * 32 * static_cast<size_t>(channels);
            std::memcpy(output, interleaved, bytes);
            output += bytes;
            continue;
        }
        for (int j = 0; j < n; ++j) {
            for (int ch = 0; ch < channels; ++ch) {
                const int16_t value = pcm[ch][j << shift];
                if (eightBit) {
                    *output++ = static_cast<uint8_t>((value >> 8) + 128);
                } else {
                    std::memcpy(output, &value, 2);
                    output += 2;
                }
            }
        }
    }
    ringIndex = index;
    return output;
}

AACCORE_WIDE_KERNEL uint8_t* SynthesizeSlots(const float* input, uint8_t* output, int blocks, int channels, int shift,
                                             int eightBit, float (*rings)[32][64], unsigned& ringIndex) {
    return SynthesizeBlocks<false>(input, output, blocks, channels, shift, eightBit, rings, ringIndex);
}

AACCORE_WIDE_KERNEL uint8_t* SynthesizeSubbands(const float* input, uint8_t* output, int channels, int shift,
                                                int eightBit, float (*rings)[32][64], unsigned& ringIndex) {
    return SynthesizeBlocks<true>(input, output, 18, channels, shift, eightBit, rings, ringIndex);
}

}  // namespace

int CPolyphaseSynthesis::Channels() const {
    return (mono_ || frameParameters_ == nullptr || frameParameters_->channels < 2) ? 1 : 2;
}

uint8_t* CPolyphaseSynthesis::Synthesize(const float* input, uint8_t* output, int blocks) {
    return SynthesizeSlots(input, output, blocks, Channels(), static_cast<int>(downsampleShift_), eightBit_, rings_,
                           ringIndex_);
}

uint8_t* CPolyphaseSynthesis::SynthesizeGranule(const float* subbands, uint8_t* output) {
    return SynthesizeSubbands(subbands, output, Channels(), static_cast<int>(downsampleShift_), eightBit_, rings_,
                              ringIndex_);
}

}  // namespace mp3
