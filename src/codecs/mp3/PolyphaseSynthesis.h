#pragma once

#include <cstdint>

#include "codecs/mp3/FrameParams.h"

namespace mp3 {

// The synthesis subband filter followed by conversion to signed 16-bit PCM, channels
// interleaved, machine byte order.
//
// Input: per channel 576 floats (18 time slots x 32 subbands, slot-major), channel 1
// following channel 0, already scaled so that full scale is the 16-bit range.
// The downsampling shift (0, 1, 2) keeps subbands 0..(32 >> shift) - 1 and writes
// 32 >> shift samples per channel and block; the mono option synthesizes channel 0 only
// (the layer decoder has folded both channels into it); the eight-bit option writes one
// unsigned byte per sample (the 16-bit value's high byte offset by 128).
class CPolyphaseSynthesis {
public:
    CPolyphaseSynthesis(const MpegFrameParams* frameParameters, unsigned downsampleShift, int eightBit, int mono);

    // Zeroes both vector rings.
    void Reset();

    // Runs `blocks` blocks (at most 18) from `input`, writes their PCM from `output` on and
    // returns the position after the last byte written:
    // blocks x (32 >> shift) x channels x 2 bytes (halved with the eight-bit option).
    uint8_t* Synthesize(const float* input, uint8_t* output, int blocks);

    // Synthesize of one Layer III granule as the hybrid filter bank leaves it: 18 blocks,
    // per channel 32 subbands of 18 time slots (input[576 ch + 18 subband + slot]).
    uint8_t* SynthesizeGranule(const float* subbands, uint8_t* output);

    // Bytes one block writes for a frame of the given channel count.
    int BytesPerBlock(int channels) const;

    // A windowed sum to a sample: truncated toward zero, clamped to -32768..32767.
    static int16_t ToPcm16(double sum);

private:
    int Channels() const;

    // Per channel the last 16 blocks (slot ringIndex_ the newest), each stored twice as
    // the 32 values its even and its odd windowing rows read, so that the windowing walks
    // every block forward and vectorises; every block is also kept 16 slots on, so that
    // the 16 newest are consecutive.
    unsigned ringIndex_ = 0;
    alignas(64) float rings_[2][32][64];
    const MpegFrameParams* frameParameters_;
    unsigned downsampleShift_;
    int eightBit_;
    int mono_;
};

}  // namespace mp3
