#pragma once

#include <cstdint>

#include "codecs/mp3/FrameParams.h"
#include "codecs/mp3/MpegBitStream.h"
#include "codecs/mp3/PolyphaseSynthesis.h"

namespace mp3 {

// Decodes one Layer I or Layer II frame found by the frame layer into subband samples
// and runs the synthesis, which writes the PCM. Layer I/II CRC words are skipped
// unchecked. Nothing but the synthesis memory carries from one frame to the next.
class CLayer12Decoder {
public:
    CLayer12Decoder(CMpegBitStream* stream, unsigned downsampleShift, int eightBit, int mono);

    // full: clears the synthesis memory and the subband samples; otherwise nothing.
    void Reset(bool full);

    // Called when the stream's NextFrame() returned kStatusOk. Returns kStatusOk with one
    // frame consumed and `*produced` (may be null) bytes written, kStatusWrongLayer or
    // kStatusOutputTooSmall (nothing consumed).
    uint32_t Decode(uint8_t* output, int size, int* produced);

    // Output bytes of a frame with this header under the decoder's options.
    int OutputBytes(const CMpegHeader& header) const;

private:
    void DecodeLayer1(uint8_t* output);
    void DecodeLayer2(uint8_t* output);
    void FoldToMono();

    CPolyphaseSynthesis synthesis_;
    MpegFrameParams params_;
    float samples_[2 * 576];
    float requant_[27][64];
    uint8_t degroup3_[27][3];
    uint8_t degroup5_[125][3];
    uint8_t degroup9_[729][3];
    CMpegBitStream* stream_;
    unsigned downsampleShift_;
    int eightBit_;
    int mono_;
};

}  // namespace mp3
