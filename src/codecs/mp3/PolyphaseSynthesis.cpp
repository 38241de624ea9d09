#include "codecs/mp3/PolyphaseSynthesis.h"

#include <cmath>
#include <cstring>

#include "codecs/mp3/tables/MpegTables.h"

namespace mp3 {

namespace {

// The matrixing V[i] = sum_k S[k] cos((16 + i)(2k + 1) pi / 64), i = 0..63, is a
// 32-point DCT-II X[k] = sum_n S[n] cos((2n + 1) k pi / 64) read with signs:
//   V[i] = X[16 + i] (i < 16), 0 (i = 16), -X[48 - i] (16 < i < 48),
//   -X[0] (i = 48), -X[i - 48] (i > 48).
// The ring keeps X only. Output sample j of the standard's windowing reads V[j] of the
// even blocks and V[32 + j] of the odd ones (block 0 the newest), so each sample is 16
// products of a signed window value and one X entry per block:
//   even blocks: X[16 + j] (j < 16), nothing (j = 16), X[48 - j] (j > 16);
//   odd blocks:  X[16 - j] (j < 16), X[0] (j = 16), X[j - 16] (j > 16).
struct Window {
    float weight[16][32];  // [block][sample], signs folded in
};

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
// butterfly network unrolls).
template <int Level>
void Dct(const float* x, float* out, const DctFactors& factors) {
    if constexpr (Level == 0) {
        out[0] = x[0];
    } else {
        constexpr int n = 1 << Level;
        constexpr int half = n / 2;
        float a[half];
        float b[half];
        for (int i = 0; i < half; ++i) {
            const float lo = x[i];
            const float hi = x[n - 1 - i];
            a[i] = lo + hi;
            b[i] = (lo - hi) * factors.f[Level][i];
        }
        float ea[half];
        float eb[half + 1];
        Dct<Level - 1>(a, ea, factors);
        Dct<Level - 1>(b, eb, factors);
        eb[half] = 0.0f;
        for (int k = 0; k < half; ++k) {
            out[2 * k] = ea[k];
            out[2 * k + 1] = eb[k] + eb[k + 1];
        }
    }
}

void DctOfLevel(int level, const float* x, float* out, const DctFactors& factors) {
    switch (level) {
    case 5:
        Dct<5>(x, out, factors);
        break;
    case 4:
        Dct<4>(x, out, factors);
        break;
    default:
        Dct<3>(x, out, factors);
        break;
    }
}

}  // namespace

CPolyphaseSynthesis::CPolyphaseSynthesis(const MpegFrameParams* frameParameters, unsigned downsampleShift,
                                         int eightBit, int mono)
    : frameParameters_(frameParameters),
      downsampleShift_(downsampleShift > 2 ? 2 : downsampleShift),
      eightBit_(eightBit ? 1 : 0),
      mono_(mono ? 1 : 0) {
    Reset();
}

void CPolyphaseSynthesis::Reset() {
    std::memset(rings_, 0, sizeof(rings_));
    ringIndex_ = 32;
}

int16_t CPolyphaseSynthesis::ToPcm16(double sum) {
    if (sum >= 32767.0) {
        return 32767;
    }
    if (sum <= -32768.0) {
        return -32768;
    }
    return static_cast<int16_t>(static_cast<int>(sum));  // truncation toward zero
}

int CPolyphaseSynthesis::BytesPerBlock(int channels) const {
    return ((32 >> downsampleShift_) * (mono_ ? 1 : channels) * 2) >> eightBit_;
}

uint8_t* CPolyphaseSynthesis::Synthesize(const float* input, uint8_t* output, int blocks) {
    const Window& window = SynthesisWindow();
    const DctFactors& factors = Factors();
    const int channels = (mono_ || frameParameters_ == nullptr || frameParameters_->channels < 2) ? 1 : 2;
    const int shift = static_cast<int>(downsampleShift_);
    const int n = 32 >> shift;
    const int stride = 1 << shift;

    for (int block = 0; block < blocks; ++block) {
        ringIndex_ = (ringIndex_ - 32) & 511;
        for (int ch = 0; ch < channels; ++ch) {
            float x[32];
            DctOfLevel(5 - shift, input + ch * 576 + block * 32, x, factors);
            float* ring = rings_[ch] + ringIndex_;
            for (int i = 0; i < n; ++i) {
                ring[i * stride] = x[i];
            }
        }
        // Block by block over the ring (newest first), all 32 full-rate sums at once; at a
        // reduced rate the entries between the kept ones are zero and their sums unused.
        double sums[2][32];
        for (int ch = 0; ch < channels; ++ch) {
            double* acc = sums[ch];
            for (int j = 0; j < 32; ++j) {
                acc[j] = 0.0;
            }
            for (int k = 0; k < 16; ++k) {
                const float* x = rings_[ch] + ((ringIndex_ + 32u * static_cast<unsigned>(k)) & 511);
                const float* w = window.weight[k];
                if ((k & 1) == 0) {
                    for (int j = 0; j < 16; ++j) {
                        acc[j] += static_cast<double>(w[j] * x[16 + j]);
                    }
                    for (int j = 17; j < 32; ++j) {
                        acc[j] += static_cast<double>(w[j] * x[48 - j]);
                    }
                } else {
                    for (int j = 0; j < 16; ++j) {
                        acc[j] += static_cast<double>(w[j] * x[16 - j]);
                    }
                    acc[16] += static_cast<double>(w[16] * x[0]);
                    for (int j = 17; j < 32; ++j) {
                        acc[j] += static_cast<double>(w[j] * x[j - 16]);
                    }
                }
            }
        }
        for (int j = 0; j < n; ++j) {
            for (int ch = 0; ch < channels; ++ch) {
                const int16_t pcm = ToPcm16(sums[ch][j << shift]);
                if (eightBit_) {
                    *output++ = static_cast<uint8_t>((pcm >> 8) + 128);
                } else {
                    std::memcpy(output, &pcm, 2);
                    output += 2;
                }
            }
        }
    }
    return output;
}

}  // namespace mp3
