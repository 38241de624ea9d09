#pragma once

// Decoder PCM to the output units' interleaved float32 stereo.
//
// Channel rule of a converter without a channel map: a mono input feeds both output
// channels; of more than two channels the first two are kept. int16 samples are scaled by
// 1/32768, float samples pass unchanged except NaN and infinity, which become 0.
// Real-time safe: no allocation, no lock.

#include <cstdint>

#include "platform/audio/AudioFormat.h"

struct SRC_STATE_tag;

namespace platform {

// Converts `frames` frames of `in` (a supported input format) into `out`
// (2 x frames floats).
void ConvertToStereoFloat(const AudioStreamBasicDescription& format, const void* in, uint32_t frames, float* out);

// Stereo float sample-rate conversion with libsamplerate, for a rate the device refuses.
// The constructor allocates (call it off the render thread); Process and Reset do not.
class StereoResampler {
public:
    StereoResampler(double inRate, double outRate);
    ~StereoResampler();
    StereoResampler(const StereoResampler&) = delete;
    StereoResampler& operator=(const StereoResampler&) = delete;

    bool Valid() const { return state_ != nullptr; }
    double Ratio() const { return ratio_; }

    // Converts as much as possible; returns false on a libsamplerate error.
    bool Process(const float* in, long inFrames, long* inUsed, float* out, long outFrames, long* outGenerated);
    // After the last input: hands out the frames still inside the converter.
    bool Flush(float* out, long outFrames, long* outGenerated);
    void Reset();

private:
    SRC_STATE_tag* state_ = nullptr;
    double ratio_ = 1.0;
};

}  // namespace platform
