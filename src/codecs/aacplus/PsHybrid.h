// Hybrid filterbank of parametric stereo: splits QMF bands 0, 1 and 2 of every slot into
// 8, 2 and 2 sub-bands (12 hybrid bands) and adds them back afterwards. The history of
// 12 slots per band carries across frames; the filters are centred 6 slots after their
// first input.
#pragma once

#include "codecs/aacplus/SbrError.h"

namespace aacplus {

inline constexpr int kHybridBands = 12;
inline constexpr int kHybridHistory = 12;
inline constexpr int kHybridDelay = 6;  // slots from a filter's input to its centre
inline constexpr int kHybridMaxSlots = 32;

struct HybridFilterbank {
    int splitBands = 3;
    int slots = 32;
    int resolution[3] = {8, 2, 2};
    int historyLength = kHybridHistory;
    float workRe[kHybridMaxSlots + kHybridHistory] = {};
    float workIm[kHybridMaxSlots + kHybridHistory] = {};
    float historyRe[3][kHybridHistory] = {};
    float historyIm[3][kHybridHistory] = {};
};

// Null or the hybrid unit's descriptor (a resolution other than 8 or 2, a bad slot count).
[[nodiscard]] const ErrorDescriptor* hybridOpen(HybridFilterbank& state, int slots, int splitBands,
                                                const int* resolutions);
void hybridClose(HybridFilterbank& state);
// rows: slot rows of QMF values (row[n][band]); hybrid: [slot][12].
void hybridAnalysis(float* const* realRows, float* const* imagRows, float (*hybridRe)[kHybridBands],
                    float (*hybridIm)[kHybridBands], HybridFilterbank& state);
void hybridSynthesis(const float (*hybridRe)[kHybridBands], const float (*hybridIm)[kHybridBands],
                     float* const* realRows, float* const* imagRows, const HybridFilterbank& state);
// Feeds slots of QMF bands 0..2 into the history without producing output (keeps the
// filterbank primed while parametric stereo is not running).
void hybridPrime(float* const* realRows, float* const* imagRows, int slots, HybridFilterbank& state);

}  // namespace aacplus
