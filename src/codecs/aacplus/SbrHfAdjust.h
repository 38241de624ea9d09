// Envelope adjuster: scales the replicated high band to the transmitted envelopes, adds
// the noise floor and sinusoids, with the limiter, gain boost and gain smoothing.
#pragma once

#include <cstdint>

#include "codecs/aacplus/SbrBitstream.h"
#include "codecs/aacplus/SbrError.h"
#include "codecs/aacplus/SbrFreqTables.h"

namespace aacplus {

struct SbrEnvelopeAdjuster {
    SbrBandTables tables;
    int32_t lAPrev = -1;
    int32_t slotsPerEnvelopeSlot = 2;
    float prevGain[64] = {};  // energies, per QMF band from kx
    float prevNoise[64] = {};
    bool prevValid = false;
    int32_t noiseIndex = 0;
    int32_t phaseIndex = 0;
};

[[nodiscard]] const ErrorDescriptor* sbrEnvelopeAdjusterOpen(SbrEnvelopeAdjuster& adj, int synthesisSlots,
                                                             int timeSlots);
void sbrEnvelopeAdjusterClose(SbrEnvelopeAdjuster& adj);
// Rows from the HF adjustment row on.
void sbrAdjustEnvelope(SbrEnvelopeAdjuster& adj, const SbrHeader& header, SbrFrameData& frame, float* const* re,
                       float* const* im, int lowPower, int bypass);

}  // namespace aacplus
