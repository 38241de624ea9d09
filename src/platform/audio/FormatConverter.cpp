#include "platform/audio/FormatConverter.h"

#include <bit>
#include <cmath>
#include <cstring>

#include <samplerate.h>

namespace platform {

bool IsSupportedInputFormat(const AudioStreamBasicDescription& f) {
    if (f.mFormatID != kAudioFormatLinearPCM) return false;
    if (f.mChannelsPerFrame < 1 || f.mChannelsPerFrame > 6) return false;
    if (!(f.mSampleRate >= 8000.0 && f.mSampleRate <= 48000.0)) return false;
    if (f.mFormatFlags & kAudioFormatFlagIsNonInterleaved) return false;
    const bool bigEndian = (f.mFormatFlags & kAudioFormatFlagIsBigEndian) != 0;
    if (bigEndian != (std::endian::native == std::endian::big)) return false;
    const bool isFloat = (f.mFormatFlags & kAudioFormatFlagIsFloat) != 0;
    if (isFloat) {
        if (f.mBitsPerChannel != 32) return false;
    } else {
        if (!(f.mFormatFlags & kAudioFormatFlagIsSignedInteger) || f.mBitsPerChannel != 16) return false;
    }
    const uint32_t frameBytes = f.mChannelsPerFrame * (f.mBitsPerChannel / 8);
    if (f.mBytesPerFrame != frameBytes || f.mBytesPerPacket != frameBytes) return false;
    return f.mFramesPerPacket == 1;
}

bool FormatsEqual(const AudioStreamBasicDescription& a, const AudioStreamBasicDescription& b) {
    return a.mSampleRate == b.mSampleRate && a.mFormatID == b.mFormatID && a.mFormatFlags == b.mFormatFlags &&
           a.mBytesPerPacket == b.mBytesPerPacket && a.mFramesPerPacket == b.mFramesPerPacket &&
           a.mBytesPerFrame == b.mBytesPerFrame && a.mChannelsPerFrame == b.mChannelsPerFrame &&
           a.mBitsPerChannel == b.mBitsPerChannel;
}

AudioStreamBasicDescription StereoFloatFormat(double rate) {
    AudioStreamBasicDescription f;
    f.mSampleRate = rate;
    f.mFormatID = kAudioFormatLinearPCM;
    f.mFormatFlags = kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked;
    f.mBytesPerPacket = 8;
    f.mFramesPerPacket = 1;
    f.mBytesPerFrame = 8;
    f.mChannelsPerFrame = 2;
    f.mBitsPerChannel = 32;
    return f;
}

void ConvertToStereoFloat(const AudioStreamBasicDescription& format, const void* in, uint32_t frames, float* out) {
    const uint32_t ch = format.mChannelsPerFrame;
    const uint32_t right = ch > 1 ? 1 : 0;
    if (format.mFormatFlags & kAudioFormatFlagIsFloat) {
        const auto* bytes = static_cast<const unsigned char*>(in);
        for (uint32_t i = 0; i < frames; ++i) {
            // memcpy: the decoder's bytes carry no alignment promise.
            float l, r;
            std::memcpy(&l, bytes + (size_t(i) * ch) * 4, 4);
            std::memcpy(&r, bytes + (size_t(i) * ch + right) * 4, 4);
            // A NaN or infinity would stick in the resampler's history and reach the device
            // as noise or worse: silence it.
            out[2 * i] = std::isfinite(l) ? l : 0.0f;
            out[2 * i + 1] = std::isfinite(r) ? r : 0.0f;
        }
    } else {
        const auto* bytes = static_cast<const unsigned char*>(in);
        constexpr float kScale = 1.0f / 32768.0f;
        for (uint32_t i = 0; i < frames; ++i) {
            int16_t l, r;
            std::memcpy(&l, bytes + (size_t(i) * ch) * 2, 2);
            std::memcpy(&r, bytes + (size_t(i) * ch + right) * 2, 2);
            out[2 * i] = l * kScale;
            out[2 * i + 1] = r * kScale;
        }
    }
}

StereoResampler::StereoResampler(double inRate, double outRate) {
    if (inRate <= 0 || outRate <= 0) return;
    ratio_ = outRate / inRate;
    if (src_is_valid_ratio(ratio_) == 0) return;
    int err = 0;
    state_ = src_new(SRC_SINC_FASTEST, 2, &err);
    if (err != 0 && state_) {
        src_delete(state_);
        state_ = nullptr;
    }
}

StereoResampler::~StereoResampler() {
    if (state_) src_delete(state_);
}

bool StereoResampler::Process(const float* in, long inFrames, long* inUsed, float* out, long outFrames,
                              long* outGenerated) {
    *inUsed = 0;
    *outGenerated = 0;
    if (!state_) return false;
    SRC_DATA d{};
    d.data_in = in;
    d.input_frames = inFrames;
    d.data_out = out;
    d.output_frames = outFrames;
    d.end_of_input = 0;
    d.src_ratio = ratio_;
    if (src_process(state_, &d) != 0) return false;
    *inUsed = d.input_frames_used;
    *outGenerated = d.output_frames_gen;
    return true;
}

bool StereoResampler::Flush(float* out, long outFrames, long* outGenerated) {
    *outGenerated = 0;
    if (!state_) return false;
    static const float kNothing[2] = {0, 0};
    SRC_DATA d{};
    d.data_in = kNothing;
    d.input_frames = 0;
    d.data_out = out;
    d.output_frames = outFrames;
    d.end_of_input = 1;
    d.src_ratio = ratio_;
    if (src_process(state_, &d) != 0) return false;
    *outGenerated = d.output_frames_gen;
    return true;
}

void StereoResampler::Reset() {
    if (state_) src_reset(state_);
}

}  // namespace platform
