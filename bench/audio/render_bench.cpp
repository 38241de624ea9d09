// Render-path benchmarks for the audio output.
//
//   build-*/bench/audio/audio_bench
//
// BM_Render/<layout>: one device buffer of 512 frames pulled through
// DeviceAudioOut::DeviceFillBufferCallback (ring read, conversion to float stereo,
// resampling where the device refused the rate, volume) from a hand-stepped null sink,
// while a stream thread keeps the ring filled. Counters: x_realtime (device frames per
// second / device rate), underruns (should stay 0: the fill thread keeps up), and, in
// builds without sanitizers, allocs_per_buffer (C++ allocations on the render path;
// must be 0).
// BM_RingHandOver: commit and consume of one 24576-byte chunk on one thread.

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <thread>
#include <vector>

#include "engine/ChunkRingBuffer.h"
#include "engine/DeviceAudioOut.h"
#include "platform/audio/AudioSinks.h"

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define ZYM_COUNT_ALLOCS 1
namespace {
std::atomic<bool> g_counting{false};
std::atomic<long> g_allocs{0};
}  // namespace
void* operator new(std::size_t n) {
    if (g_counting.load(std::memory_order_relaxed)) g_allocs.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#endif

namespace {

AudioStreamBasicDescription Format(double rate, uint32_t channels, bool isFloat) {
    AudioStreamBasicDescription f;
    f.mSampleRate = rate;
    f.mFormatID = kAudioFormatLinearPCM;
    f.mFormatFlags = isFloat ? (kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked) : kAudioFormatFlagIsSignedInteger;
    f.mBitsPerChannel = isFloat ? 32 : 16;
    f.mChannelsPerFrame = channels;
    f.mBytesPerFrame = f.mBytesPerPacket = channels * (isFloat ? 4 : 2);
    f.mFramesPerPacket = 1;
    return f;
}

// An endless decoder stand-in: announces its format, then hands out a pattern.
class EndlessSource : public Amp::DataSource {
public:
    EndlessSource(Amp::AudioOut* out, const AudioStreamBasicDescription& f) : out_(out), format_(f) {}
    int Read(void* buffer, unsigned length) override {
        if (!announced_) {
            announced_ = true;
            out_->SetInputFormat(format_);
        }
        length -= length % format_.mBytesPerFrame;
        auto* b = static_cast<unsigned char*>(buffer);
        for (unsigned i = 0; i < length; ++i)
            b[i] = static_cast<unsigned char>((i * 31 + counter_) & 0x3F);
        ++counter_;
        return static_cast<int>(length);
    }

private:
    Amp::AudioOut* out_;
    AudioStreamBasicDescription format_;
    bool announced_ = false;
    unsigned counter_ = 0;
};

struct NoOwner : Amp::AudioOutOwner {
    void PlayStateChanged(int, int) override {}
};

void BM_Render(benchmark::State& state, AudioStreamBasicDescription input, double deviceRate) {
    NoOwner owner;
    std::atomic<platform::PacedOutputUnit*> unit{nullptr};
    Amp::DeviceAudioOut out(&owner, [&](int* status) {
        *status = 0;
        auto u =
            std::make_unique<platform::NullOutputUnit>(platform::PacedOutputUnit::Options{1.0, true, deviceRate, 512});
        unit.store(u.get());
        return std::unique_ptr<platform::AudioOutputUnit>(std::move(u));
    });
    out.SetVolume(0.8f);
    EndlessSource source(&out, input);
    out.SetSource(&source);
    std::thread stream([&] { out.Run(); });
    while (out.GetState() != Amp::kAudioOutPlaying)
        std::this_thread::yield();
    // Let the fill loop refill before each buffer, as it does at real time.
    auto waitForData = [&] {
        // Below half the low level the render side has woken the fill loop, which then
        // refills whole chunks up to the high level.
        while (out.GetBytesReadable() < out.GetLowByteLevel() / 2)
            std::this_thread::yield();
    };

    [[maybe_unused]] long allocs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        waitForData();
#ifdef ZYM_COUNT_ALLOCS
        g_allocs.store(0);
        g_counting.store(true);
#endif
        state.ResumeTiming();
        unit.load()->Step(512);
#ifdef ZYM_COUNT_ALLOCS
        g_counting.store(false);
        allocs += g_allocs.load();
#endif
    }
    out.Stop();
    stream.join();
    AudioStreamBasicDescription device;
    (void)out.GetOutputFormat(&device);
    state.SetItemsProcessed(state.iterations() * 512);
    state.counters["x_realtime"] =
        benchmark::Counter(512.0 / device.mSampleRate, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["underruns"] = double(out.GetUnderrunCount());
#ifdef ZYM_COUNT_ALLOCS
    state.counters["allocs_per_buffer"] = double(allocs) / double(state.iterations());
#endif
}

BENCHMARK_CAPTURE(BM_Render, int16_stereo_44k, Format(44100, 2, false), 0)->UseRealTime();
BENCHMARK_CAPTURE(BM_Render, float_6ch_48k, Format(48000, 6, true), 0)->UseRealTime();
BENCHMARK_CAPTURE(BM_Render, int16_mono_22k_resampled_48k, Format(22050, 1, false), 48000)->UseRealTime();

void BM_RingHandOver(benchmark::State& state) {
    ChunkRingBuffer ring(4, Amp::DeviceAudioOut::kChunkSize);
    for (auto _ : state) {
        void* w = nullptr;
        const unsigned room = ring.GetWritePointer(&w, Amp::DeviceAudioOut::kChunkSize);
        ring.Commit(room);
        const void* r = nullptr;
        const unsigned n = ring.GetReadPointer(&r, Amp::DeviceAudioOut::kChunkSize);
        benchmark::DoNotOptimize(r);
        ring.Consume(n);
    }
    state.SetBytesProcessed(state.iterations() * Amp::DeviceAudioOut::kChunkSize);
}
BENCHMARK(BM_RingHandOver);

}  // namespace

BENCHMARK_MAIN();
