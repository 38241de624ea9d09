// The engine's decoder adapters on their own: a whole file decoded through
// CreateLibraryDecoder and pulled out in 4096-byte reads, as the output does.
//
//   build-*/bench/adapters/adapter_bench
//
// Counters: x_realtime (seconds of audio decoded per second of CPU).

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "engine/AudioOut.h"
#include "engine/DecoderWrapper.h"
#include "engine/QintPacket.h"

namespace {

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class MemorySource : public Amp::DataSource {
public:
    explicit MemorySource(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
    int Read(void* buffer, unsigned length) override {
        if (at_ >= bytes_.size()) return -1;
        const size_t n = std::min<size_t>(length, bytes_.size() - at_);
        std::memcpy(buffer, bytes_.data() + at_, n);
        at_ += n;
        return int(n);
    }

private:
    const std::vector<uint8_t>& bytes_;
    size_t at_ = 0;
};

// Takes every format; only the rate and frame size matter here.
class FormatSink : public Amp::AudioOut {
public:
    void SetSource(Amp::DataSource*) override {}
    Amp::DataSource* GetSource() override { return nullptr; }
    void Run() override {}
    void Stop() override {}
    int GetState() override { return Amp::kAudioOutStopped; }
    void SetBufferingLevels(float, float) override {}
    void GetBufferingLevels(float*, float*) override {}
    float GetSecondsBuffered() override { return 0; }
    void SetVolume(float) override {}
    float GetVolume() override { return 1; }
    bool IsPlaying() override { return false; }
    bool IsStopped() override { return true; }
    int GetOutputFormat(AudioStreamBasicDescription*) override { return -50; }
    int SetInputFormat(const AudioStreamBasicDescription& format) override {
        format_ = format;
        return 0;
    }
    AudioStreamBasicDescription format_{};
};

void BM_Adapter(benchmark::State& state, uint32_t codec, const char* file) {
    const auto bytes = ReadFile(std::string(ZYM_BENCH_SOURCE_DIR "/tests/data/") + file);
    if (bytes.empty()) {
        state.SkipWithError("fixture missing");
        return;
    }
    std::vector<uint8_t> pcm(4096);
    double seconds = 0;
    for (auto _ : state) {
        MemorySource source(bytes);
        FormatSink sink;
        std::unique_ptr<Amp::AudioDecoder> decoder(Amp::CreateLibraryDecoder(codec));
        decoder->SetSource(&source);
        decoder->SetAudioOut(&sink);
        size_t total = 0;
        for (;;) {
            const int n = decoder->Read(pcm.data(), unsigned(pcm.size()));
            if (n < 0) break;
            total += size_t(n);
        }
        if (sink.format_.mBytesPerFrame > 0)
            seconds += double(total) / sink.format_.mBytesPerFrame / sink.format_.mSampleRate;
    }
    state.counters["x_realtime"] = benchmark::Counter(seconds, benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK_CAPTURE(BM_Adapter, aacplus_chirp, Amp::kCodecAACPlus, "streams/chirp-64k.aac")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Adapter, vlb_stereo44k, Amp::kCodecVLB, "vlb/stereo44k.aac")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Adapter, mp3_chirp, Amp::kCodecMP3, "streams/chirp-64k.mp3")->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
