#include "codecs/aacplus/PsHybrid.h"

#include <algorithm>
#include <cmath>

#include "codecs/aactables/tables/AacTables.h"

namespace aacplus {

namespace {

struct HybridKernels {
    float p2[13];
    float modRe[8][13];  // p8(q) * exp(i*2*pi/8*(k+0.5)*(q-6))
    float modIm[8][13];
    HybridKernels() {
        for (int q = 0; q < 13; ++q) {
            p2[q] = float(aactables::kPsHybridP2[q]);
            for (int k = 0; k < 8; ++k) {
                const double a = 2.0 * M_PI / 8.0 * (k + 0.5) * (q - 6);
                modRe[k][q] = float(aactables::kPsHybridP8[q] * std::cos(a));
                modIm[k][q] = float(aactables::kPsHybridP8[q] * std::sin(a));
            }
        }
    }
};

const HybridKernels& kernels() {
    static const HybridKernels k;  // thread-safe one-time construction
    return k;
}

constexpr int kBandOffset[3] = {0, 8, 10};

}  // namespace

const ErrorDescriptor* hybridOpen(HybridFilterbank& state, int slots, int splitBands, const int* resolutions) {
    if (slots < 1 || slots > kHybridMaxSlots || splitBands != 3) return sbrError(SbrUnit::Hybrid);
    for (int b = 0; b < splitBands; ++b)
        if (resolutions[b] != 8 && resolutions[b] != 2) return sbrError(SbrUnit::Hybrid);
    // The output layout holds 8 + 2 + 2 hybrid bands.
    if (resolutions[0] != 8 || resolutions[1] != 2 || resolutions[2] != 2) return sbrError(SbrUnit::Hybrid);
    state = HybridFilterbank();
    state.slots = slots;
    state.splitBands = splitBands;
    (void)kernels();
    return nullptr;
}

void hybridClose(HybridFilterbank&) {}

void hybridAnalysis(float* const* realRows, float* const* imagRows, float (*hybridRe)[kHybridBands],
                    float (*hybridIm)[kHybridBands], HybridFilterbank& s) {
    const HybridKernels& kk = kernels();
    for (int b = 0; b < 3; ++b) {
        float* xr = s.workRe;
        float* xi = s.workIm;
        std::copy(s.historyRe[b], s.historyRe[b] + kHybridHistory, xr);
        std::copy(s.historyIm[b], s.historyIm[b] + kHybridHistory, xi);
        for (int n = 0; n < s.slots; ++n) {
            xr[kHybridHistory + n] = realRows[n][b];
            xi[kHybridHistory + n] = imagRows[n][b];
        }
        std::copy(xr + s.slots, xr + s.slots + kHybridHistory, s.historyRe[b]);
        std::copy(xi + s.slots, xi + s.slots + kHybridHistory, s.historyIm[b]);
        for (int n = 0; n < s.slots; ++n) {
            const float* cr = xr + n + 12;  // cr[-q] is x(n - q)
            const float* ci = xi + n + 12;
            if (s.resolution[b] == 2) {
                float lowR = 0, lowI = 0, highR = 0, highI = 0;
                for (int q = 0; q < 13; ++q) {
                    const float g = kk.p2[q];
                    const float sign = ((q - 6) & 1) ? -1.0f : 1.0f;
                    lowR += g * cr[-q];
                    lowI += g * ci[-q];
                    highR += sign * g * cr[-q];
                    highI += sign * g * ci[-q];
                }
                hybridRe[n][kBandOffset[b]] = lowR;
                hybridIm[n][kBandOffset[b]] = lowI;
                hybridRe[n][kBandOffset[b] + 1] = highR;
                hybridIm[n][kBandOffset[b] + 1] = highI;
            } else {
                for (int k = 0; k < 8; ++k) {
                    float re = 0, im = 0;
                    for (int q = 0; q < 13; ++q) {
                        re += kk.modRe[k][q] * cr[-q] - kk.modIm[k][q] * ci[-q];
                        im += kk.modRe[k][q] * ci[-q] + kk.modIm[k][q] * cr[-q];
                    }
                    hybridRe[n][kBandOffset[b] + k] = re;
                    hybridIm[n][kBandOffset[b] + k] = im;
                }
            }
        }
    }
}

void hybridSynthesis(const float (*hybridRe)[kHybridBands], const float (*hybridIm)[kHybridBands],
                     float* const* realRows, float* const* imagRows, const HybridFilterbank& s) {
    for (int n = 0; n < s.slots; ++n) {
        for (int b = 0; b < 3; ++b) {
            float re = 0, im = 0;
            for (int k = 0; k < s.resolution[b]; ++k) {
                re += hybridRe[n][kBandOffset[b] + k];
                im += hybridIm[n][kBandOffset[b] + k];
            }
            realRows[n][b] = re;
            imagRows[n][b] = im;
        }
    }
}

void hybridPrime(float* const* realRows, float* const* imagRows, int slots, HybridFilterbank& s) {
    slots = std::clamp(slots, 0, kHybridHistory);
    for (int b = 0; b < 3; ++b) {
        for (int i = 0; i < slots; ++i) {
            s.historyRe[b][kHybridHistory - slots + i] = realRows[i][b];
            s.historyIm[b][kHybridHistory - slots + i] = imagRows[i][b];
        }
    }
}

}  // namespace aacplus
