// SBR decoder of one channel element: turns the core's time signal (L samples per channel)
// into the element's output at twice the rate (or the core rate in downsampled mode),
// with parametric stereo for a mono element. Plain functions on an opaque handle.
//
// How a channel element drives it:
//   first frame that runs SBR:   sbrGetDefaultConfig(&c, 0); c.words[13] = lowPower;
//                                c.words[14] = downsampled;
//                                h = sbrDecoderOpen(coreRate, 1024, &c)   (null: no SBR)
//   every frame:                 sbrSetMonoToStereo(sbrDecoderConfig(h), monoToStereo);
//                                sbrDecoderApply(h, &workingPayload, samples, stride);
//                                channels = sbrGetOutputChannels(h, coreChannels);
//                                ratio = sbrGetRateRatio(h)
//   element reset / destruction: sbrDecoderReset(h) / sbrDecoderClose(h)
// The handle keeps its own copy of the configuration, so per-frame words go through
// sbrDecoderConfig(h).
//
// Not thread-safe: the QMF kernel choice and the PS tables are process-wide, so only one
// decoder may run at a time.
#pragma once

#include <cstdint>

#include "codecs/aacplus/PsDecoder.h"
#include "codecs/aacplus/QmfBank.h"
#include "codecs/aacplus/SbrBitstream.h"
#include "codecs/aacplus/SbrConfig.h"
#include "codecs/aacplus/SbrEnvelope.h"
#include "codecs/aacplus/SbrError.h"
#include "codecs/aacplus/SbrHfAdjust.h"
#include "codecs/aacplus/SbrHfGen.h"
#include "codecs/aacplus/SbrPayload.h"

namespace aacplus {

inline constexpr int kSbrRows = 40;
inline constexpr int kSbrLookahead = 8;
inline constexpr int kSbrHfAdjOffset = 2;
inline constexpr int kSbrHistory = 288;

struct SbrChannelState {
    int32_t bypass = 0;
    int32_t coreFrameLength = 1024;
    int32_t outputFrameLength = 2048;
    int32_t coreRate = 0, outputRate = 0;
    int32_t adjusterOn = 1;
    float timeBuffer[kSbrHistory + 1024] = {};
    float* rowsRe[kSbrRows] = {};
    float* rowsIm[kSbrRows] = {};
    int32_t invfOverride = 4;
    int32_t upsampling = 2, downsampling = 1;
    int32_t analysisOffset = 0;
    int32_t historyLength = kSbrHistory;
    int32_t slots = 32, rows = kSbrRows, lookahead = kSbrLookahead;
    int32_t hfAdjOffset = kSbrHfAdjOffset;
    int32_t tablesValid = 0;
    QmfBank analysis, synthesis;
    SbrEnvelopeAdjuster adjuster;
    SbrHfGenerator hfGenerator;
    float storageRe[kSbrRows][64] = {};
    float storageIm[kSbrRows][64] = {};
};

struct SbrChannel {
    int32_t coreRate = 0;
    int32_t coreFrameLength = 0;
    SbrFrameData frame;
    SbrPreviousFrame previous;
    SbrChannelState* state = nullptr;
};

struct SbrDecoder {
    SbrDecoderConfig config;
    int32_t active = 0;
    SbrChannel channels[2];
    SbrHeader header;
    float* scratch = nullptr;  // 16384 bytes
    PsDecoder* ps = nullptr;
};

void sbrGetDefaultConfig(SbrDecoderConfig* config, int32_t bypass);
void sbrSetMonoToStereo(SbrDecoderConfig* config, int32_t flag);
SbrDecoderConfig* sbrDecoderConfig(SbrDecoder* handle);
SbrDecoder* sbrDecoderOpen(int32_t coreRate, int32_t coreFrameLength, const SbrDecoderConfig* config);
// Returns 0, 12 (element kind unknown: SBR off) or 14 (no valid band tables: SBR off).
// samples: the element's first channel; channel c of sample i at stride*i + c. On return
// it holds the output frame length per output channel.
[[nodiscard]] int sbrDecoderApply(SbrDecoder* handle, const SbrExtensionPayload* payload, float* samples, int stride);
int sbrGetOutputChannels(const SbrDecoder* handle, int coreChannels);
float sbrGetRateRatio(const SbrDecoder* handle);
bool sbrIsParametricStereo(const SbrDecoder* handle);
void sbrDecoderReset(SbrDecoder* handle);
void sbrDecoderClose(SbrDecoder* handle);

// Pieces, exposed for tests.
[[nodiscard]] int sbrParseExtension(SbrDecoder* handle, const SbrExtensionPayload* payload);
[[nodiscard]] const ErrorDescriptor* sbrChannelResetTables(SbrChannelState& state, SbrHeader& header,
                                                           SbrFrameData& frame);
void sbrChannelProcess(SbrChannelState& state, const float* input, int stride, const SbrHeader& header,
                       SbrFrameData& frame, int lowPower, int active);
void sbrChannelSynthesis(SbrChannelState& state, float* out);

}  // namespace aacplus
