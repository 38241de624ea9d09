// Layer II decoding speed: our decoder on a 60 s stereo 44.1 kHz 192 kbit/s stream,
// against ffmpeg's mp2 decoder (ffmpeg -c:a mp2 -i F -f null -) and mpg123 (mpg123 -q -t F)
// on the same file, run as processes. The comparison reports CPU seconds (user + system)
// per decode of the whole file and our time relative to each reference.
//
// The stream is made on first use with sox and twolame under $TMPDIR (or /tmp); set
// ZYM_BENCH_MP2 to use another Layer II file.
//
//   build-x/bench/mp3/mp3_bench                 (Google Benchmark run + comparison)
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "codecs/mp3/MpegDecoder.h"

#include "../common/CpuTime.h"

namespace {

using zymbench::ChildCpu;
using zymbench::OwnCpu;
using zymbench::TempDir;

std::string g_path;
std::vector<uint8_t> g_bytes;

bool PrepareStream() {
    return zymbench::LoadOrMakeStream(
        "ZYM_BENCH_MP2", "zym-bench-l2-60s-192k.mp2", "sox and twolame",
        [](const std::string& wav, const std::string& out) {
            return "sox -n -r 44100 -c 2 '" + wav + "' synth 60 sine 200-8000 pinknoise remix 1 2 gain -6 && " +
                   "twolame --quiet -b 192 '" + wav + "' '" + out + "'";
        },
        g_path, g_bytes);
}

// Decodes the whole stream; returns the PCM bytes produced.
size_t DecodeOnce() {
    MpegDecoderHandle* h = nullptr;
    (void)MpegDecoderCreate(&h, 0, 0, 0);
    static std::vector<uint8_t> out(4608);
    size_t pos = 0;
    size_t total = 0;
    bool ended = false;
    for (;;) {
        int produced = 0;
        const uint32_t st = MpegDecoderDecode(h, out.data(), static_cast<int>(out.size()), &produced);
        total += static_cast<size_t>(produced);
        if (st == 0 || st == 0x41010001 || st == 0x41010002) continue;
        if (st == 0x81010004 || (st >> 30) == 3) break;
        if (ended) continue;
        int space = 0;
        (void)MpegDecoderGetInputSpace(h, &space);
        const size_t n = std::min<size_t>({4096, static_cast<size_t>(space), g_bytes.size() - pos});
        if (n == 0) {
            (void)MpegDecoderSetEndOfInput(h);
            ended = true;
            continue;
        }
        int consumed = 0;
        (void)MpegDecoderFeed(h, g_bytes.data() + pos, static_cast<int>(n), &consumed);
        pos += static_cast<size_t>(consumed);
    }
    MpegDecoderDestroy(h);
    return total;
}

void BM_ZymLayer2Decode(benchmark::State& state) {
    size_t bytes = 0;
    for (auto _ : state) {
        bytes = DecodeOnce();
        benchmark::DoNotOptimize(bytes);
    }
    state.SetBytesProcessed(static_cast<int64_t>(g_bytes.size()) * state.iterations());
    state.counters["pcm_MB"] = static_cast<double>(bytes) / 1e6;
}

void Compare() {
    const int runs = 11;
    // A few frames of the same stream: what a reference spends on starting up.
    const std::string head = TempDir() + "/zym-bench-head.mp2";
    {
        std::ofstream out(head, std::ios::binary);
        out.write(reinterpret_cast<const char*>(g_bytes.data()), std::min<std::streamsize>(8192, g_bytes.size()));
    }
    auto ffmpegCmd = [](const std::string& f) {
        return "ffmpeg -nostdin -v error -threads 1 -c:a mp2 -i '" + f + "' -f null - >/dev/null 2>&1";
    };
    auto mpg123Cmd = [](const std::string& f) { return "mpg123 -q -t '" + f + "' >/dev/null 2>&1"; };
    const double ours = OwnCpu(runs, [] { return DecodeOnce(); });
    const double ffmpeg = ChildCpu(ffmpegCmd(g_path), runs);
    const double ffmpegStart = ChildCpu(ffmpegCmd(head), runs);
    const double mpg123 = ChildCpu(mpg123Cmd(g_path), runs);
    const double mpg123Start = ChildCpu(mpg123Cmd(head), runs);
    std::remove(head.c_str());
    std::printf(
        "\nLayer II, %zu bytes (%s), CPU seconds per whole decode (best of %d);\n"
        "net = minus the same tool's time on the first 8 KiB (process start-up):\n",
        g_bytes.size(), g_path.c_str(), runs);
    std::printf("  zym     %.3f\n", ours);
    if (ffmpeg > 0) {
        std::printf("  ffmpeg  %.3f (net %.3f)   zym/ffmpeg = %.2f (net %.2f)\n", ffmpeg, ffmpeg - ffmpegStart,
                    ours / ffmpeg, ours / std::max(1e-3, ffmpeg - ffmpegStart));
    } else {
        std::printf("  ffmpeg  not available\n");
    }
    if (mpg123 > 0) {
        std::printf("  mpg123  %.3f (net %.3f)   zym/mpg123 = %.2f (net %.2f)\n", mpg123, mpg123 - mpg123Start,
                    ours / mpg123, ours / std::max(1e-3, mpg123 - mpg123Start));
    } else {
        std::printf("  mpg123  not available\n");
    }
}

}  // namespace

BENCHMARK(BM_ZymLayer2Decode)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    if (!PrepareStream()) return 1;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    Compare();
    return 0;
}
