#pragma once

#include "codecs/mp3/MpegHeader.h"

namespace mp3 {

// The frame parameters a layer decoder copies from the header at the start of each
// frame; the synthesis reads the channel count from the owning decoder's copy.
struct MpegFrameParams {
    int channels = 2;
    int samplingIndex = 0;
    int frameBits = 0;
    int mode = 0;
    int modeExtension = 0;
    int headerBits = 32;  // 48 when protected
    int tableSet = 1;     // Layer III band tables: 0 MPEG-2, 1 MPEG-1, 2 MPEG-2.5
    int protectedFlag = 0;
    int mpeg1 = 1;
    int rateIndex = 0;  // version * 3 + sampling index (0..8)

    void CopyFrom(const CMpegHeader& h) {
        channels = h.channels;
        samplingIndex = h.samplingIndex;
        frameBits = h.frameBits;
        mode = h.mode;
        modeExtension = h.modeExtension;
        headerBits = h.protectedFlag ? 48 : 32;
        tableSet = h.version == 0 ? 1 : (h.version == 1 ? 0 : 2);
        protectedFlag = h.protectedFlag;
        mpeg1 = h.version == 0 ? 1 : 0;
        rateIndex = h.RateTableIndex();
    }
};

}  // namespace mp3
