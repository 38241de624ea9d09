#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// PCM helpers for decoder tests: reading and writing 16-bit WAV and raw files, decoding
// with an independent reference decoder (Debian's mpg123 or ffmpeg, run as processes),
// and comparing two signals after finding their alignment.
namespace zymtest {

struct Pcm {
    int sampleRate = 0;
    int channels = 0;
    std::vector<int16_t> samples;  // interleaved

    size_t Frames() const { return channels > 0 ? samples.size() / static_cast<size_t>(channels) : 0; }
};

// 16-bit PCM WAV (RIFF/WAVE, format 1 or extensible). False with a reason on anything else.
bool ReadWav(const std::string& path, Pcm& pcm, std::string* error = nullptr);
bool WriteWav(const std::string& path, const Pcm& pcm);
// Raw 16-bit little-endian interleaved; rate and channels are the caller's.
bool ReadRaw16(const std::string& path, std::vector<int16_t>& samples);
bool ReadFile(const std::string& path, std::vector<uint8_t>& bytes);
bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);

// A fresh path under the temporary directory ($TMPDIR or /tmp), unique per call.
std::string TempPath(const std::string& suffix);

// Runs a command line through /bin/sh; returns its exit status (-1 when it did not run).
int RunCommand(const std::string& commandLine);
// Whether a program is on PATH.
bool HaveProgram(const std::string& name);

// Reference decodes into 16-bit PCM. False when the tool is missing or fails.
bool DecodeWithMpg123(const std::string& input, Pcm& pcm);
bool DecodeWithFfmpeg(const std::string& input, Pcm& pcm);

// The data of a float32 WAV (what the "wav:" audio output writes) as 16-bit samples, on
// the decoders' own scale.
bool ReadFloatWavAs16(const std::string& path, std::vector<int16_t>& samples);

// Stereo helpers for comparing what an output played: the silence at both ends (decoder
// delay, the output's prebuffer of zeros) dropped, and the gaps an underrun leaves (runs of
// at least 64 frames of exact zeros) dropped, since a slow build may let the output run dry.
std::vector<int16_t> TrimSilence(const std::vector<int16_t>& s);
std::vector<int16_t> DropUnderrunGaps(const std::vector<int16_t>& s);

struct PcmDiff {
    double rms = 0.0;     // root mean square of the sample differences, in LSB
    int maxAbs = 0;       // largest absolute difference, in LSB
    size_t compared = 0;  // samples compared (all channels)
};

// Compares `test` against `reference` over their overlap, with `test` frame f matched to
// reference frame f + offsetFrames (offset may be negative).
PcmDiff Compare(const std::vector<int16_t>& test, const std::vector<int16_t>& reference, int channels,
                long offsetFrames = 0);

// The offset in frames within [-maxShift, maxShift] that gives the smallest RMS over
// the first `window` frames of the overlap (whole overlap when 0).
long FindOffset(const std::vector<int16_t>& test, const std::vector<int16_t>& reference, int channels, long maxShift,
                size_t window = 0);

}  // namespace zymtest
