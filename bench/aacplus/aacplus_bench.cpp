// AAC-LC decoding speed: our decoder (through the handle, 16-bit output) on a 60 s stereo
// 44.1 kHz 128 kbit/s ADTS stream, against ffmpeg's AAC decoder on the same file, run as a
// process (ffmpeg -threads 1 -c:a aac -i F -f null -). Reports CPU seconds (user + system)
// per decode of the whole file and our time relative to ffmpeg, with and without ffmpeg's
// process start-up (taken out by a second run that decodes the file several times).
//
// The stream is made on first use with sox and ffmpeg under $TMPDIR (or /tmp); set
// ZYM_BENCH_AAC to use another ADTS file.
//
//   build-x/bench/aacplus/aacplus_bench          (Google Benchmark run + comparison)
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "codecs/aacplus/aacPlusDecoder.h"

#include "../common/CpuTime.h"
#include "DecodeLoop.h"

namespace {

using zymbench::ChildCpu;
using zymbench::OwnCpu;

std::string g_path;
std::vector<uint8_t> g_bytes;

bool PrepareStream() {
    return zymbench::LoadOrMakeStream(
        "ZYM_BENCH_AAC", "zym-bench-aac-60s-128k.aac", "sox and ffmpeg",
        [](const std::string& wav, const std::string& out) {
            return "sox -n -r 44100 -c 2 '" + wav + "' synth 60 sine 200-8000 pinknoise remix 1 2 gain -6 && " +
                   "ffmpeg -nostdin -v error -y -i '" + wav + "' -c:a aac -b:a 128k -f adts '" + out + "'";
        },
        g_path, g_bytes);
}

void BM_ZymAacLcDecode(benchmark::State& state) {
    size_t bytes = 0;
    for (auto _ : state) {
        bytes = zymbench::DecodeAacOnce(g_bytes);
        benchmark::DoNotOptimize(bytes);
    }
    state.SetBytesProcessed(static_cast<int64_t>(g_bytes.size()) * state.iterations());
    state.counters["pcm_MB"] = static_cast<double>(bytes) / 1e6;
}

void Compare() {
    const int runs = 7;
    const int loops = 9;
    auto ffmpegCmd = [](const std::string& f, int extra) {
        return "ffmpeg -nostdin -v error -threads 1 -stream_loop " + std::to_string(extra) + " -c:a aac -i '" + f +
               "' -f null - >/dev/null 2>&1";
    };
    const double ours = OwnCpu(runs, [] { return zymbench::DecodeAacOnce(g_bytes); });
    const double ffmpeg = ChildCpu(ffmpegCmd(g_path, 0), runs);
    // The file decoded 1 + loops times in one process: the difference is decoding alone.
    const double ffmpegLooped = ChildCpu(ffmpegCmd(g_path, loops), runs);
    const double ffmpegNet = (ffmpegLooped - ffmpeg) / loops;
    std::printf(
        "\nAAC-LC, %zu bytes (%s), CPU seconds per whole decode (best of %d);\n"
        "net = ffmpeg's decode alone, from one run decoding the file %d times more:\n",
        g_bytes.size(), g_path.c_str(), runs, loops);
    zymbench::PrintAgainstFfmpeg(ours, ffmpegLooped > 0 ? ffmpeg : 0.0, ffmpegNet);
}

}  // namespace

BENCHMARK(BM_ZymAacLcDecode)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    if (!PrepareStream()) return 1;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    Compare();
    return 0;
}
