// SBR QMF banks: 32-band complex analysis at the core rate and 64-band (32 in downsampled
// mode) synthesis at the output rate, with the 640-tap prototype window, in a complex and
// a real-valued (low-power) variant. Which variant runs is decided by two process-wide
// kernel pointers: the most recently opened bank sets them, qmfUseComplexKernels switches
// back. Only one decoder may run at a time.
#pragma once

#include <atomic>
#include <cstdint>

#include "codecs/aacplus/SbrError.h"

namespace aacplus {

struct QmfBank {
    int32_t bands = 0;  // N
    int32_t log2BandsMinus1 = 0;
    int32_t windowLength = 0;  // 640 / divider
    int32_t stride = 1;        // prototype stride (divider)
    int32_t taps = 5;
    int32_t slots = 32;
    int32_t rangeStart = 0, rangeEnd = 0;  // analysis: rotated bands; synthesis: low range end, high range end
    float lowGain = 1.0f / 64, highGain = 1.0f / 64, highGainCopy = 1.0f / 64;
    bool analysis = false;
    float* window = nullptr;  // windowLength coefficients of the prototype at the bank's stride
    float* cosTable =
        nullptr;  // N band rotations (cos, sin): after the analysis transforms, before a downsampled synthesis
    float* sinTable = nullptr;
    float* delay = nullptr;  // synthesis: 2N a slot + the 20N of the v buffer (in front between frames)
    float* work = nullptr;   // 2N
};

using QmfAnalysisFn = void (*)(const float* time, float* const* realRows, float* const* imagRows, QmfBank& bank);
using QmfSynthesisFn = void (*)(float* const* realRows, float* const* imagRows, float* out, QmfBank& bank);

extern std::atomic<QmfAnalysisFn> qmfAnalysisKernel;
extern std::atomic<QmfSynthesisFn> qmfSynthesisKernel;

// time: (slots * N + window - N) samples in time order, the oldest first; slot l reads
// from time + l * N.
void qmfAnalysisComplex(const float* time, float* const* realRows, float* const* imagRows, QmfBank& bank);
void qmfAnalysisReal(const float* time, float* const* realRows, float* const* imagRows, QmfBank& bank);
void qmfSynthesisComplex(float* const* realRows, float* const* imagRows, float* out, QmfBank& bank);
void qmfSynthesisReal(float* const* realRows, float* const* imagRows, float* out, QmfBank& bank);

[[nodiscard]] const ErrorDescriptor* qmfAnalysisOpen(QmfBank& bank, int bypass, int divider, int downsamplingFactor,
                                                     int coreFrameLength, int lowPower);
[[nodiscard]] const ErrorDescriptor* qmfSynthesisOpen(QmfBank& bank, int bypass, int downsamplingFactor,
                                                      int outputFrameLength, float lowBandGain, float highBandGain,
                                                      int lowPower);
void qmfClose(QmfBank& bank);
void qmfReset(QmfBank& bank);
void qmfUseComplexKernels();

// In-place forward complex DFT (exp(-2*pi*i*n*k/size)), unscaled, of `size` interleaved
// complex floats; size a power of two up to 64.
void fftComplex(float* data, int size);
void fft8(float* data);

}  // namespace aacplus
