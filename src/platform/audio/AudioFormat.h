#pragma once

// PCM stream descriptions in the shape the engine uses for its formats, and the rules for
// the formats the audio output accepts.

#include <cstdint>

struct AudioStreamBasicDescription {
    double mSampleRate = 0;
    uint32_t mFormatID = 0;
    uint32_t mFormatFlags = 0;
    uint32_t mBytesPerPacket = 0;
    uint32_t mFramesPerPacket = 0;
    uint32_t mBytesPerFrame = 0;
    uint32_t mChannelsPerFrame = 0;
    uint32_t mBitsPerChannel = 0;
    uint32_t mReserved = 0;
};

constexpr uint32_t kAudioFormatLinearPCM = 0x6C70636D;  // 'lpcm'
constexpr uint32_t kAudioFormatFlagIsFloat = 1u << 0;
constexpr uint32_t kAudioFormatFlagIsBigEndian = 1u << 1;
constexpr uint32_t kAudioFormatFlagIsSignedInteger = 1u << 2;
constexpr uint32_t kAudioFormatFlagIsPacked = 1u << 3;
constexpr uint32_t kAudioFormatFlagIsNonInterleaved = 1u << 5;

namespace platform {

// Statuses of the audio layer (the numbers the engine's callers know).
constexpr int kAudioStatusNoDefaultOutput = -9405;          // no output device
constexpr int kAudioStatusParamErr = -50;                   // no format yet, bad argument
constexpr int kAudioStatusFormatNotSupported = 0x666D743F;  // 'fmt?'
constexpr int kAudioStatusNoData = 33;                      // render: nothing to hand out

// Accepted decoder PCM: 'lpcm', interleaved, native byte order, either 32-bit float or
// signed 16-bit integer, 1 to 6 channels, 8 to 48 kHz, one frame per packet.
bool IsSupportedInputFormat(const AudioStreamBasicDescription& f);

// Equal as the output compares formats: the rate and the seven fields from format ID to
// bits per channel (the reserved field is not compared).
bool FormatsEqual(const AudioStreamBasicDescription& a, const AudioStreamBasicDescription& b);

// The output units' format: interleaved float32 stereo at `rate`.
AudioStreamBasicDescription StereoFloatFormat(double rate);

}  // namespace platform
