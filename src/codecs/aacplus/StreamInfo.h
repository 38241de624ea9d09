// The decoder's own stream information: the caller-visible record wrapped by private fields.
#pragma once

#include <cstdint>

#include "codecs/aacplus/aacPlusTypes.h"

namespace aacplus {

struct DecoderStreamInfo {
    int32_t samplingFrequencyIndex = 0;
    int32_t adtsChannelConfiguration = 0;
    int32_t frameChannels = 0;   // channels of the current frame
    int32_t frameLength = 1024;  // never changed
    int32_t samplingRate = 0;
    int32_t mpegVersion = 0;       // 0 unknown, 1 MPEG-2, 2 MPEG-4
    int32_t muxConfigPresent = 1;  // for transport 4
    uint32_t speakerMask = 0;
    int32_t lastFrameChannels = 0;  // single channels + 2 x pairs of the last frame
    int32_t workProgram = 0;        // program being worked on
    aacPlusStreamInfo info = {};
    int32_t stateToReturnTo = 0;
    int32_t downmixKind = 0;  // 0 undecided, 1 none, 2 6->mono, 3 5->mono, 4 6->stereo, 5 5->stereo
    int32_t downmixVariant = 0;

    aacPlusProgramInfo& current() { return info.programs[info.currentProgram & 15]; }
    aacPlusProgramInfo& working() { return info.programs[workProgram & 15]; }

    void markValid(aacPlusProgramInfo& p) {
        if (!p.valid) {
            p.valid = 1;
            ++info.numPrograms;
        }
    }
};

}  // namespace aacplus
