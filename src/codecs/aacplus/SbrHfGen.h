// HF generator: patches the low band of the QMF slot matrix into the high band with
// second-order linear prediction (inverse filtering) controlled by chirp factors.
#pragma once

#include <cstdint>

#include "codecs/aacplus/SbrBitstream.h"
#include "codecs/aacplus/SbrConfig.h"
#include "codecs/aacplus/SbrError.h"

namespace aacplus {

struct SbrPatch {
    int32_t sourceStart, sourceEnd, targetStart, shift, width;
};

inline constexpr int kSbrMaxPatches = 6;

struct SbrHfGenerator {
    int32_t slots = 32;
    int32_t setup = 2;
    float fixedChirp = 0.0f;
    int32_t lowestSource = 1;
    int32_t bands = 64;
    int32_t numPatches = 0;
    SbrPatch patches[kSbrMaxPatches] = {};
    int32_t minSource = 0, maxSourceEnd = 0, maxTargetEnd = 0;
    float chirp[kSbrMaxNoiseBands] = {};
    float prevChirp[kSbrMaxNoiseBands] = {};
    int32_t noiseBorders[kSbrMaxNoiseBands] = {};  // fNoise[1..NQ]
    int32_t numNoise = 0;
    float whitening[7] = {};
};

[[nodiscard]] const ErrorDescriptor* sbrHfGeneratorOpen(SbrHfGenerator& gen, const SbrDecoderConfig& config, int bands,
                                                        int bypass, int slotsPerFrame);
void sbrHfGeneratorClose(SbrHfGenerator& gen);
[[nodiscard]] const ErrorDescriptor* sbrBuildPatches(SbrHfGenerator& gen, int32_t kx, const int32_t* fMaster,
                                                     int32_t nMaster, const int32_t* fNoise, int32_t nq, int32_t fsSbr,
                                                     int bands, int bypass);
// Rows from the HF adjustment row on (rows[-2], rows[-1] must exist). lowPower: real values only.
void sbrHfGenerate(float* const* srcRe, float* const* srcIm, float* const* dstRe, float* const* dstIm,
                   int slotsPerEnvelopeSlot, SbrFrameData& frame, SbrHfGenerator& gen, int lowPower, int bypass);

}  // namespace aacplus
