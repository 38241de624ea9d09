// HE-AAC decoding speed: our decoder (through the handle, 16-bit output) against ffmpeg's AAC
// decoder run as a process (ffmpeg -threads 1 -c:a aac -i F -f null -), on two streams made
// by looping conformance streams to at least 60 s of output:
//   v2 (SBR + parametric stereo): al_sbr_ps_06_new.adts.aac
//   v1 (SBR alone, stereo):      al_sbr_cm_48_2.adts.aac
// Reports CPU seconds (user + system) per decode of the whole file and our time relative to
// ffmpeg, with and without ffmpeg's process start-up (taken out by a second run that decodes
// the file several times).
//
// The looped streams are made on first use under $TMPDIR (or /tmp) from the vectors in
// $ZYM_SHARED_DIR/vectors/aac/iso14496-4 (default: the shared folder the build was
// configured with); ZYM_BENCH_HEAAC2 and ZYM_BENCH_HEAAC1 name other ADTS files instead.
//
//   build-x/bench/aacplus/heaac_bench          (Google Benchmark run + comparison)
#include <benchmark/benchmark.h>

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

struct Stream {
    const char* label;
    const char* envVar;
    const char* vector;
    std::string path;
    std::vector<uint8_t> bytes;
};

Stream g_streams[] = {
    {"HE-AAC v2 (SBR+PS)", "ZYM_BENCH_HEAAC2", "al_sbr_ps_06_new.adts.aac", {}, {}},
    {"HE-AAC v1 (SBR)", "ZYM_BENCH_HEAAC1", "al_sbr_cm_48_2.adts.aac", {}, {}},
};

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Seconds of output of an ADTS stream, from the frame headers (1024 core samples a frame).
double adtsSeconds(const std::vector<uint8_t>& b) {
    size_t pos = 0, frames = 0;
    int rate = 0;
    static const int kRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050,
                                 16000, 12000, 11025, 8000,  7350,  0,     0,     0};
    while (pos + 7 <= b.size() && b[pos] == 0xff && (b[pos + 1] & 0xf6) == 0xf0) {
        const size_t len = (size_t(b[pos + 3] & 3) << 11) | (size_t(b[pos + 4]) << 3) | (b[pos + 5] >> 5);
        if (len < 7) break;
        rate = kRates[(b[pos + 2] >> 2) & 15];
        frames += 1 + (b[pos + 6] & 3);
        pos += len;
    }
    return rate ? double(frames) * 1024.0 / rate : 0.0;
}

bool prepare(Stream& s) {
    if (const char* p = std::getenv(s.envVar)) {
        s.path = p;
        s.bytes = readFile(s.path);
        if (s.bytes.empty()) std::fprintf(stderr, "%s: cannot read %s (from %s)\n", s.label, s.path.c_str(), s.envVar);
        return !s.bytes.empty();
    }
    s.path = zymbench::TempDir() + "/zym-bench-60s-" + s.vector;
    s.bytes = readFile(s.path);
    if (!s.bytes.empty()) return true;
    const char* shared = std::getenv("ZYM_SHARED_DIR");
    const std::string source =
        std::string(shared && *shared ? shared : ZYM_BENCH_SHARED_DIR) + "/vectors/aac/iso14496-4/" + s.vector;
    const std::vector<uint8_t> one = readFile(source);
    const double seconds = adtsSeconds(one);
    if (one.empty() || seconds <= 0.0) {
        std::fprintf(stderr,
                     "%s: input missing: cannot read the ADTS stream %s\n"
                     "  (set ZYM_SHARED_DIR to the shared folder, or %s to an ADTS file)\n",
                     s.label, source.c_str(), s.envVar);
        return false;
    }
    // The header gives the core's rate and frame length, so this is the output duration
    // too, whatever SBR does to the rate.
    std::vector<uint8_t> looped;
    for (double t = 0.0; t < 60.0; t += seconds)
        looped.insert(looped.end(), one.begin(), one.end());
    std::ofstream out(s.path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(looped.data()), std::streamsize(looped.size()));
    if (!out) {
        std::fprintf(stderr, "%s: cannot write %s\n", s.label, s.path.c_str());
        return false;
    }
    s.bytes = std::move(looped);
    return true;
}

void BM_ZymHeAacDecode(benchmark::State& state) {
    const Stream& s = g_streams[state.range(0)];
    state.SetLabel(s.label);
    size_t bytes = 0;
    for (auto _ : state) {
        bytes = zymbench::DecodeAacOnce(s.bytes);
        benchmark::DoNotOptimize(bytes);
    }
    state.SetBytesProcessed(static_cast<int64_t>(s.bytes.size()) * state.iterations());
    state.counters["pcm_MB"] = static_cast<double>(bytes) / 1e6;
}

void compare(const Stream& s) {
    const int runs = 5;
    const int loops = 19;  // ffmpeg decodes 60 s in some 50 ms: many loops keep the difference clear of noise
    auto ffmpegCmd = [](const std::string& f, int extra) {
        return "ffmpeg -nostdin -v error -threads 1 -stream_loop " + std::to_string(extra) + " -c:a aac -i '" + f +
               "' -f null - >/dev/null 2>&1";
    };
    size_t pcmBytes = 0;
    const double ours = OwnCpu(runs, [&] { return pcmBytes = zymbench::DecodeAacOnce(s.bytes); });
    const double ffmpeg = ChildCpu(ffmpegCmd(s.path, 0), runs);
    // The file decoded 1 + loops times in one process: the difference is decoding alone.
    const double ffmpegLooped = ChildCpu(ffmpegCmd(s.path, loops), runs);
    const double ffmpegNet = (ffmpegLooped - ffmpeg) / loops;
    std::printf(
        "\n%s, %zu bytes (%s), %zu PCM bytes; CPU seconds per whole decode (best of %d);\n"
        "net = ffmpeg's decode alone, from one run decoding the file %d times more:\n",
        s.label, s.bytes.size(), s.path.c_str(), pcmBytes, runs, loops);
    zymbench::PrintAgainstFfmpeg(ours, ffmpegLooped > 0 ? ffmpeg : 0.0, ffmpegNet);
}

}  // namespace

BENCHMARK(BM_ZymHeAacDecode)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    for (Stream& s : g_streams)
        if (!prepare(s)) return 1;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (const Stream& s : g_streams)
        compare(s);
    return 0;
}
