// VLB decoding speed: our library (front object, 16-bit interleaved output as zymdec writes
// it) on a 60 s stereo 44.1 kHz 128 kbit/s MPEG-2 AAC-LC ADTS stream, against ffmpeg's AAC
// decoder on the same file, run as a process (ffmpeg -threads 1 -c:a aac -i F -f null -).
// Reports CPU seconds (user + system) per decode of the whole file, best of several runs,
// and our time relative to ffmpeg's, with and without ffmpeg's process start-up (taken out
// by a second ffmpeg run that decodes the file ten times).
//
// The stream is made on first use with sox and ffmpeg under $TMPDIR (or /tmp); set
// ZYM_BENCH_VLB to use another ADTS file. Build without sanitizers for meaningful figures:
//
//   cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release
//   cmake --build build-bench -j4 --target vlb_bench && build-bench/bench/vlb/vlb_bench
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "codecs/vlb/VlbDecoderFront.h"

#include "../common/CpuTime.h"

namespace {

using zymbench::ChildCpu;
using zymbench::OwnCpu;

std::string g_path;
std::vector<uint8_t> g_bytes;

bool PrepareStream() {
    return zymbench::LoadOrMakeStream(
        "ZYM_BENCH_VLB", "zym-bench-vlb-60s-128k.aac", "sox and ffmpeg",
        [](const std::string& wav, const std::string& out) {
            return "sox -n -r 44100 -c 2 -b 16 '" + wav +
                   "' synth 60 sine 200-8000 pinknoise remix 1 2 tremolo 3 60 gain -6 && "
                   "ffmpeg -nostdin -v error -y -i '" +
                   wav + "' -c:a aac -write_mpeg2 1 -aac_pns 0 -b:a 128k -f adts '" + out + "'";
        },
        g_path, g_bytes);
}

class MemoryInput final : public DataIOControl {
public:
    unsigned Read(void* buffer, unsigned size, unsigned count) override {
        if (size == 0) return 0;
        const size_t items = std::min<size_t>(count, (g_bytes.size() - pos_) / size);
        std::memcpy(buffer, g_bytes.data() + pos_, items * size);
        pos_ += items * size;
        return static_cast<unsigned>(items);
    }
    int Reserved() override { return 0; }
    int IsEndOfFile() override { return pos_ >= g_bytes.size(); }
    int Open() override { return 0; }
    int Close() override { return 0; }

private:
    size_t pos_ = 0;
};

class Int16Output final : public AudioIOControl {
public:
    int Reserved1() override { return 0; }
    int Reserved2() override { return 0; }
    int Reserved3() override { return 0; }
    int Write(float** channels, unsigned n) override {
        pcm_.resize(static_cast<size_t>(n) * 2);
        for (unsigned i = 0; i < n; ++i) {
            pcm_[2 * i] = static_cast<int16_t>(std::clamp(channels[0][i], -32768.0f, 32767.0f));
            pcm_[2 * i + 1] = static_cast<int16_t>(std::clamp(channels[1][i], -32768.0f, 32767.0f));
        }
        benchmark::DoNotOptimize(pcm_.data());
        samples += n;
        return 0;
    }
    size_t samples = 0;

private:
    std::vector<int16_t> pcm_;
};

// Decodes the whole stream; returns the samples per channel produced (0 on failure).
size_t DecodeOnce() {
    MemoryInput input;
    Int16Output output;
    CVlbDecoderFront front(&input);
    VlbFrameInfo info{};
    int32_t st = 0;
    for (int i = 0; i < 1000; ++i) {
        st = front.Init(&info);
        if (st == 0 || st == -2 || st == 5) break;
    }
    if (st == 5) return 0;
    while (front.DecodeFrame(&output, &info) != 5) {}
    return output.samples;
}

void BM_VlbDecode(benchmark::State& state) {
    size_t samples = 0;
    for (auto _ : state) {
        samples = DecodeOnce();
        benchmark::DoNotOptimize(samples);
    }
    state.SetBytesProcessed(static_cast<int64_t>(g_bytes.size()) * state.iterations());
    state.counters["audio_s"] = static_cast<double>(samples) / 44100.0;
}

void Compare() {
    const int runs = 7;
    const int loops = 10;
    // ffmpeg's start-up is large next to one decode: a second command decodes the same file
    // `loops` times in one process, and the difference gives the cost of one decode alone.
    auto ffmpegCmd = [](const std::string& f, int times) {
        return "ffmpeg -nostdin -v error -threads 1 -stream_loop " + std::to_string(times - 1) + " -c:a aac -i '" + f +
               "' -f null - >/dev/null 2>&1";
    };
    const size_t samples = DecodeOnce();
    const double ours = OwnCpu(runs, [] { return DecodeOnce(); });
    const double ffmpeg = ChildCpu(ffmpegCmd(g_path, 1), runs);
    const double ffmpegLoop = ChildCpu(ffmpegCmd(g_path, loops), runs);
    const double net = (ffmpegLoop - ffmpeg) / (loops - 1);
    std::printf(
        "\nVLB (MPEG-2 AAC-LC ADTS), %zu bytes, %.1f s of audio (%s);\n"
        "CPU seconds per whole decode (best of %d); ffmpeg net = its cost per decode without\n"
        "process start-up, from one run decoding the file %d times:\n",
        g_bytes.size(), static_cast<double>(samples) / 44100.0, g_path.c_str(), runs, loops);
    zymbench::PrintAgainstFfmpeg(ours, ffmpegLoop > 0 ? ffmpeg : 0.0, net);
}

}  // namespace

BENCHMARK(BM_VlbDecode)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    if (!PrepareStream()) return 1;
    if (DecodeOnce() == 0) {
        std::fprintf(stderr, "vlb_bench: %s does not decode\n", g_path.c_str());
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    Compare();
    return 0;
}
