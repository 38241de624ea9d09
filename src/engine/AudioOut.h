#pragma once

// Amp::AudioOut: the engine's audio output interface. A stream's output pulls PCM from
// its source (the decoder wrapper) on the stream thread and plays it; it owns the play
// states 1 (stopped), 3 (buffering), 4 (prebuffered) and 5 (playing) and reports every
// change to its owner.

#include "engine/DataSource.h"
#include "platform/audio/AudioFormat.h"

namespace Amp {

// Play states an output goes through.
enum AudioOutState : int {
    kAudioOutStopped = 1,
    kAudioOutBuffering = 3,
    kAudioOutPrebuffered = 4,
    kAudioOutPlaying = 5,
};

// What the output reports to: the play stream in the program, a recorder in tests.
// PlayStateChanged runs on the thread that caused the change (the stream thread, or the
// thread calling Stop) and must not call back into the output's control operations.
class AudioOutOwner {
public:
    virtual void PlayStateChanged(int from, int to) = 0;

protected:
    ~AudioOutOwner() = default;
};

class AudioOut : public DataSourceClient {
public:
    virtual ~AudioOut() = default;

    // Stream thread: the fill loop; returns once the output is stopped or the data ended.
    // Throws what its source throws.
    virtual void Run() = 0;
    // Any thread: stops the device and makes Run return.
    virtual void Stop() = 0;
    virtual int GetState() = 0;
    virtual void SetBufferingLevels(float lowSeconds, float highSeconds) = 0;
    virtual void GetBufferingLevels(float* lowSeconds, float* highSeconds) = 0;
    virtual float GetSecondsBuffered() = 0;
    virtual void SetVolume(float volume) = 0;
    virtual float GetVolume() = 0;
    virtual bool IsPlaying() = 0;
    virtual bool IsStopped() = 0;
    // Stream thread, after its source came back empty: rests while the output holds plenty
    // to play, at most a few tens of milliseconds and never past a stop.
    virtual void RestWhileWellFed() {}
    // -50 until the device's format is known, else 0 with the format copied.
    [[nodiscard]] virtual int GetOutputFormat(AudioStreamBasicDescription* format) = 0;
    // Called by a decoder before its first PCM reaches the output (stream thread).
    // 0 = accepted; any other status refuses the format.
    [[nodiscard]] virtual int SetInputFormat(const AudioStreamBasicDescription& format) = 0;
};

}  // namespace Amp
