#pragma once

// The three output units behind OpenDefaultAudioOutputUnit.
//
// - PortAudioOutputUnit: the sound card (ALSA, PulseAudio or PipeWire through PortAudio),
//   a float32 stereo callback stream. An underrun plays zeros; the stream never completes
//   by itself.
// - NullOutputUnit: discards what it pulls, from its own thread at real-time pace (or a
//   multiple of it), so that a machine without a sound card plays at the right speed. The
//   default unit pulls 2048 frames a wake-up, as a sound server would.
// - WavOutputUnit: the same pull thread, writing exactly what it pulled (after the
//   volume) to a float32 stereo WAV file.
// The null and WAV units can also be stepped by hand (Options::manual): then Start starts
// no thread and Step renders on the caller's thread, which makes tests deterministic.

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/audio/AudioOutputUnit.h"

struct PaStreamCallbackTimeInfo;

namespace platform {

class PacedOutputUnit : public AudioOutputUnit {
public:
    struct Options {
        double pace = 1.0;           // x real time
        bool manual = false;         // no thread: the caller steps the unit
        double fixedRate = 0;        // > 0: the device takes only this rate
        uint32_t blockFrames = 512;  // frames per pull of the thread
    };
    explicit PacedOutputUnit(Options options);
    ~PacedOutputUnit() override;

    [[nodiscard]] int Initialize(double preferredRate) override;
    [[nodiscard]] int Start() override;
    int Stop() override;
    bool IsRunning() const override { return running_.load(std::memory_order_acquire); }

    // Manual mode: renders `frames` frames on the caller's thread as the device thread
    // would; returns the frames rendered (0 unless started).
    uint32_t Step(uint32_t frames);
    // Frames pulled since construction.
    uint64_t FramesRendered() const { return rendered_.load(std::memory_order_acquire); }

protected:
    // Device thread: what the unit does with the frames it pulled.
    virtual void Deliver(const float* /*frames*/, uint32_t /*count*/) {}

private:
    void ThreadMain();
    void Pull(uint32_t frames);

    Options options_;
    std::atomic<bool> running_{false};
    std::atomic<bool> quit_{false};
    std::mutex quitMutex_;  // with quitWake_: Stop wakes the thread from its wait
    std::condition_variable quitWake_;
    std::thread thread_;
    std::mutex stepMutex_;  // manual mode only: Step against Stop
    std::vector<float> buffer_;
    std::atomic<uint64_t> rendered_{0};
};

class NullOutputUnit : public PacedOutputUnit {
public:
    explicit NullOutputUnit(Options options) : PacedOutputUnit(options) {}
    const char* Name() const override { return "null"; }
};

class WavOutputUnit : public PacedOutputUnit {
public:
    WavOutputUnit(std::string path, Options options);
    ~WavOutputUnit() override;
    [[nodiscard]] int Initialize(double preferredRate) override;
    int Stop() override;
    const char* Name() const override { return "wav"; }

protected:
    void Deliver(const float* frames, uint32_t count) override;

private:
    void UpdateHeader();

    std::string path_;
    std::FILE* file_ = nullptr;
    uint64_t dataBytes_ = 0;
};

class PortAudioOutputUnit : public AudioOutputUnit {
public:
    PortAudioOutputUnit();
    ~PortAudioOutputUnit() override;

    // Whether PortAudio finds a default output device.
    static bool HasDefaultDevice();

    [[nodiscard]] int Initialize(double preferredRate) override;
    [[nodiscard]] int Start() override;
    int Stop() override;
    bool IsRunning() const override { return running_; }
    const char* Name() const override { return "portaudio"; }

private:
    static int Callback(const void* input, void* output, unsigned long frames, const PaStreamCallbackTimeInfo* timeInfo,
                        unsigned long statusFlags, void* userData);

    bool initialized_ = false;
    void* stream_ = nullptr;  // PaStream
    bool running_ = false;
};

}  // namespace platform
