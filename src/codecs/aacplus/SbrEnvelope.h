// Delta decoding, range test, dequantisation and stereo coupling of the envelopes and noise
// floors, plus the decoder's own concealment: a damaged or missing frame becomes one
// envelope that continues the previous frame and fades one step per frame.
#pragma once

#include "codecs/aacplus/SbrBitstream.h"

namespace aacplus {

struct SbrPreviousFrame {
    float lastEnvelope[kSbrMaxHighBands] = {};  // quantised, high resolution
    int32_t ampRes = 0;
    float lastNoise[kSbrMaxNoiseBands] = {};  // quantised
    int32_t coupling = 0;
};

void sbrDecodeEnvelopes(SbrHeader& header, SbrFrameData& frame0, SbrPreviousFrame& previous0, SbrFrameData* frame1,
                        SbrPreviousFrame* previous1);
void sbrDecodeChannelEnvelope(SbrHeader& header, SbrFrameData& frame, SbrPreviousFrame& previous,
                              const SbrPreviousFrame* otherPrevious);
void sbrDeltaDecodeEnvelope(SbrFrameData& frame, float* previousEnvelope);

}  // namespace aacplus
