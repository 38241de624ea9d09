#pragma once

// The default audio output: the stand-in for the platform's output unit.
//
// Shape: find the default output (OpenDefaultAudioOutputUnit), initialise it for a
// preferred rate, read its stream format (always interleaved float32 stereo; the rate is
// the preferred one when the device takes it, else the device's own), install a render
// callback, start, stop. The callback is pulled from the unit's device thread and must
// fill every frame it is asked for (zeros when it has nothing).
//
// Volume is a parameter 0..1 that reads back what was set; the unit applies it as a
// software gain after the callback, ramped linearly across one buffer whenever it changes
// so that a change never clicks.
//
// Threads: Initialize/SetRenderCallback/Start/Stop from one controlling thread at a time
// (the owner serialises them); SetVolume/GetVolume from any thread; the callback on the
// device thread only, between Start and the return of Stop.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/audio/AudioFormat.h"

namespace platform {

// Fills `frames` interleaved stereo frames at `out`; returns 0 or a status such as
// kAudioStatusNoData (the unit plays what was written either way).
using AudioRenderProc = int (*)(void* refCon, float* out, uint32_t frames);

class AudioOutputUnit {
public:
    virtual ~AudioOutputUnit() = default;

    // Opens the device for float32 stereo, asking for `preferredRate`. 0 or a status.
    [[nodiscard]] virtual int Initialize(double preferredRate) = 0;
    // Valid after a successful Initialize.
    AudioStreamBasicDescription StreamFormat() const { return StereoFloatFormat(rate_); }

    // Before Start.
    void SetRenderCallback(AudioRenderProc proc, void* refCon) {
        proc_ = proc;
        refCon_ = refCon;
    }

    [[nodiscard]] virtual int Start() = 0;
    // Returns once the callback has stopped running. Stopping a stopped unit is 0.
    virtual int Stop() = 0;
    virtual bool IsRunning() const = 0;

    void SetVolume(float volume);
    float GetVolume() const { return volume_.load(std::memory_order_relaxed); }

    // A short name of the sink ("portaudio", "null", "wav").
    virtual const char* Name() const = 0;

protected:
    // Device thread: calls the callback and applies the (ramped) volume.
    void Render(float* out, uint32_t frames);
    // Controlling thread, before the device thread starts: the gain starts at the volume.
    void ResetGain() { gain_ = volume_.load(std::memory_order_relaxed); }

    double rate_ = 0;

private:
    AudioRenderProc proc_ = nullptr;
    void* refCon_ = nullptr;
    std::atomic<float> volume_{1.0f};
    float gain_ = 1.0f;  // device thread's
};

using AudioOutputUnitFactory = std::function<std::unique_ptr<AudioOutputUnit>(int* status)>;

// The unit chosen by env ZYM_AUDIO_OUTPUT: "portaudio" (the sound card; no device gives
// kAudioStatusNoDefaultOutput), "null" (discards, pulled at real-time pace), "wav:PATH"
// (writes what it pulls to PATH). Unset or empty: portaudio when a device exists, else
// null. Env ZYM_AUDIO_PACE (a factor, default 1) speeds the null and wav sinks up.
// Returns null with *status set when no unit can be made.
std::unique_ptr<AudioOutputUnit> OpenDefaultAudioOutputUnit(int* status);

// The same from a text of ZYM_AUDIO_OUTPUT's form.
std::unique_ptr<AudioOutputUnit> OpenAudioOutputUnit(const std::string& spec, double pace, int* status);

}  // namespace platform
