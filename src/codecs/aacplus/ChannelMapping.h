// How a decoded program is described to the caller and put into the caller's channel order:
// a fixed reordering into WAVE_FORMAT_EXTENSIBLE speaker order, or a downmix of five- and
// six-channel programs to stereo or mono. The downmix is decided once per stream.
#pragma once

#include <cstdint>

#include "codecs/aacplus/StreamInfo.h"

namespace aacplus {

enum DownmixKind : int32_t {
    kDownmixUndecided = 0,
    kDownmixNone = 1,
    kDownmixSixToMono = 2,
    kDownmixFiveToMono = 3,
    kDownmixSixToStereo = 4,
    kDownmixFiveToStereo = 5,
};

// Row o, column i weighs decoded channel i (centre, left, right, left surround, right
// surround, LFE) for output channel o.
extern const float kStereoDownmix[4][2][6];
extern const float kMonoDownmix[4][6];

// Once per stream (while info.downmixKind is 0): fixes the kind and program.outputChannels.
void decideDownmix(DecoderStreamInfo& info, aacPlusProgramInfo& program, int downmixMode);

struct ChannelLayout {
    int32_t mode = 0;
    uint32_t mask = 0;
    bool maskChanged = false;  // false: keep the previous mask
    bool reorder = false;
    uint8_t map[8] = {0, 1, 2, 3, 4, 5, 6, 7};
    bool countsChanged = false;
    int32_t front = 0, back = 0, lfe = 0;
};

// Mode, speaker mask, reorder map and speaker counts from the decoded channel count and the
// frame's element counts.
ChannelLayout channelLayout(int numChannels, int singleElements, int pairElements, bool parametricStereo);

// Applies a layout to the program record and the stream information.
void applyChannelLayout(const ChannelLayout& layout, DecoderStreamInfo& info, aacPlusProgramInfo& program);

// In place over frameSize sample frames of numChannels interleaved values: the downmix of
// `kind` (variant 0..3) writing outputChannels values per frame, or else the reorder `map`.
void reorderOrDownmix(float* samples, int frameSize, int numChannels, int outputChannels, int32_t kind, int variant,
                      const uint8_t* map);

}  // namespace aacplus
