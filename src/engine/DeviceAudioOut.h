#pragma once

// Amp::DeviceAudioOut: the output to the default audio device.
//
// Threads:
// - stream thread: Run (the fill loop), FillBuffer, SetInputFormat (from the decoder);
// - render thread (the unit's device thread): DeviceFillBufferCallback;
// - main thread: Stop, the setters and getters, the destructor (after the stream thread
//   has been joined).
//
// Between stream and render thread sits a ChunkRingBuffer (one writer, one reader, no
// lock). The render side takes no lock, allocates nothing and does no file I/O: it wakes
// the fill loop by posting a semaphore when the ring is below the low level, and counts
// underruns in atomics that the fill loop turns into log lines. While playing with half
// the low level or more in the ring, an empty read of the source makes the stream thread
// rest up to kIdlePauseMs on a second semaphore, posted by Stop and by the render side
// once the ring falls below half the low level (RestWhileWellFed).
//
// Formats: every chunk carries the format it was written in. When a decoder announces a
// new format while the device renders (a codec switch), the chunk holding the old PCM is
// closed early and the render side changes converter exactly where the new PCM begins.
// Converters (and their resamplers) are freed by the stream thread once the render side
// has moved past them.
//
// Start, stop and state changes are serialised under one mutex that the render thread
// never takes, so a stop that races the start cannot leave the state at 5.

#include <atomic>
#include <cstdint>
#include <list>
#include <memory>
#include <vector>

#include <semaphore.h>

#include "engine/AudioOut.h"
#include "engine/ChunkRingBuffer.h"
#include "runtime/LThreadMutex.h"
#include "platform/audio/AudioOutputUnit.h"
#include "platform/audio/FormatConverter.h"

namespace Amp {

class DeviceAudioOut : public AudioOut {
public:
    static constexpr unsigned kChunkSize = 24576;
    static constexpr unsigned kFillGranule = 8192;
    // Longest rest of the fill loop after an empty read while the ring is well fed. The
    // render side ends a rest early when the ring runs low, so this bounds only how long
    // the network's bytes gather in the socket (and so the wake-ups a second).
    static constexpr int kIdlePauseMs = 500;

    // `unitFactory` makes the output unit on the first accepted input format; empty means
    // the default unit of the environment (platform::OpenDefaultAudioOutputUnit).
    explicit DeviceAudioOut(AudioOutOwner* owner, platform::AudioOutputUnitFactory unitFactory = {});
    ~DeviceAudioOut() override;
    DeviceAudioOut(const DeviceAudioOut&) = delete;
    DeviceAudioOut& operator=(const DeviceAudioOut&) = delete;

    void SetSource(DataSource* source) override { source_ = source; }
    DataSource* GetSource() override { return source_; }

    // Stream thread. Throws player_exception (3, 12) when the device does not start, and
    // whatever the source throws.
    void Run() override;
    void Stop() override;
    int GetState() override { return state_.load(std::memory_order_acquire); }
    void SetBufferingLevels(float lowSeconds, float highSeconds) override;
    void GetBufferingLevels(float* lowSeconds, float* highSeconds) override;
    float GetSecondsBuffered() override;
    void SetVolume(float volume) override;
    float GetVolume() override;
    bool IsPlaying() override { return GetState() == kAudioOutPlaying; }
    bool IsStopped() override { return stop_.load(std::memory_order_acquire); }
    void RestWhileWellFed() override;
    [[nodiscard]] int GetOutputFormat(AudioStreamBasicDescription* format) override;
    [[nodiscard]] int SetInputFormat(const AudioStreamBasicDescription& format) override;

    // Render thread: fills `frames` interleaved stereo frames (zeros where the ring has
    // nothing). Returns 0, or 33 when nothing at all was handed out while not stopped.
    static int DeviceFillBufferCallback(void* refCon, float* out, uint32_t frames);

    // Diagnostics for tests and benchmarks.
    unsigned GetLowByteLevel() const { return lowBytes_.load(std::memory_order_acquire); }
    unsigned GetHighByteLevel() const { return highBytes_.load(std::memory_order_acquire); }
    unsigned GetRingChunkCount() const;
    unsigned GetBytesBuffered() const;
    unsigned GetBytesReadable() const;
    uint64_t GetUnderrunCount() const { return underruns_.load(std::memory_order_acquire); }
    // Test hook: the longest rest instead of kIdlePauseMs (a long one shows what ends it).
    void SetIdlePauseForTesting(int milliseconds) { idlePauseMs_.store(milliseconds); }
    // The data has ended and all of it is readable by the render side.
    bool IsDataQueuedToEnd() const { return queuedToEnd_.load(std::memory_order_acquire); }

private:
    struct FormatSlot {
        uint64_t generation = 0;
        AudioStreamBasicDescription format;
        unsigned bytesPerFrame = 0;
        std::unique_ptr<platform::StereoResampler> resampler;  // when the device's rate differs
    };

    // Stream thread.
    bool FillBuffer(unsigned target);  // false at the end of the data
    bool FlushCarry();                 // false while the ring has no room for the carry
    void SealIfNoRoomForAFrame();
    void PlayOut();
    bool QueueToEnd(ChunkRingBuffer* ring);  // true once nothing waits outside the ring
    void CollectSlots();
    void LogUnderruns();
    bool WaitForWake(int milliseconds);  // false on time-out; milliseconds < 0 waits without limit
    static bool TimedWait(sem_t& semaphore, int milliseconds);  // false on time-out
    void StartOutputUnit();
    int SetupOutputUnit(double preferredRate);  // ctl mutex held

    // Any thread; ctl mutex held.
    void ChangeState(int to);
    void ComputeBufferLevels();  // ctl mutex held

    // Render thread.
    int Render(float* out, uint32_t frames);
    uint32_t PullFrames(float* out, uint32_t maxFrames, bool* switched);
    void WakeFillThread();

    AudioOutOwner* owner_;
    platform::AudioOutputUnitFactory unitFactory_;
    std::unique_ptr<platform::AudioOutputUnit> unit_;  // ctl mutex
    AudioStreamBasicDescription outputFormat_;         // ctl mutex
    AudioStreamBasicDescription inputFormat_;          // ctl mutex
    std::atomic<float> volume_{0.5f};
    bool formatReady_ = false;  // stream thread
    float highLevel_ = 4.0f;    // ctl mutex
    float lowLevel_ = 2.0f;     // ctl mutex
    std::atomic<unsigned> highBytes_{0};
    std::atomic<unsigned> lowBytes_{0};
    std::atomic<bool> stop_{false};
    DataSource* source_ = nullptr;
    std::atomic<int> state_{kAudioOutStopped};
    LThreadMutex ctlMutex_;

    // Wake-up of the fill loop: the render side posts, the fill loop waits.
    std::atomic<bool> wakeFlag_{false};
    sem_t wakeSem_;
    sem_t restSem_;                     // ends a rest of the fill loop: posted by Stop and by the render side
    std::atomic<bool> resting_{false};  // the fill loop rests; the render side may end it
    std::atomic<int> idlePauseMs_{kIdlePauseMs};

    std::unique_ptr<ChunkRingBuffer> ringOwner_;
    std::atomic<ChunkRingBuffer*> ring_{nullptr};

    // Stream thread: PCM not yet in the ring (read before the ring existed, or the first
    // bytes of a new format that must start a chunk of their own).
    std::vector<unsigned char> carry_;
    unsigned carryLength_ = 0;
    bool formatChangedInRead_ = false;
    std::list<std::unique_ptr<FormatSlot>> slots_;
    FormatSlot* writeSlot_ = nullptr;
    uint64_t nextGeneration_ = 1;
    bool endOfData_ = false;

    // Render thread's own.
    FormatSlot* renderSlot_ = nullptr;
    std::vector<float> stage_;  // converted input waiting for the resampler
    uint32_t stagePos_ = 0;
    uint32_t stageFrames_ = 0;
    std::atomic<uint64_t> renderGeneration_{0};
    std::atomic<uint64_t> renderCalls_{0};

    // Underruns: counted by the render side, logged by the fill loop.
    std::atomic<bool> underrunFlag_{false};
    std::atomic<bool> draining_{false};
    std::atomic<bool> queuedToEnd_{false};
    std::atomic<bool> renderDry_{false};  // the last render ran out of PCM
    std::atomic<uint64_t> underruns_{0};
    std::atomic<uint64_t> loggableUnderruns_{0};  // those while the ring was low
    std::atomic<uint32_t> lastNeed_{0};
    std::atomic<uint32_t> lastHave_{0};
    uint64_t loggedUnderruns_ = 0;  // stream thread
};

}  // namespace Amp
