#pragma once

// CPU time and input streams for the decoder benchmarks that compare our libraries with reference decoders
// run as processes: what this process spends on a piece of work, and what a command's
// child processes spend.

#include <sys/resource.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include <benchmark/benchmark.h>

namespace zymbench {

inline std::string TempDir() {
    const char* t = std::getenv("TMPDIR");
    return (t && *t) ? t : "/tmp";
}

inline double CpuSeconds(int who) {
    rusage u{};
    getrusage(who, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// CPU seconds of the child processes that one run of the command used (best of `runs`);
// -1 when the command failed.
inline double ChildCpu(const std::string& command, int runs) {
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        const double before = CpuSeconds(RUSAGE_CHILDREN);
        const int status = std::system(command.c_str());
        const double used = CpuSeconds(RUSAGE_CHILDREN) - before;
        if (status != 0) return -1.0;
        best = std::min(best, used);
    }
    return best;
}

// CPU seconds of one run of `work` in this process (best of `runs`).
template <class Work>
double OwnCpu(int runs, Work&& work) {
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        const double before = CpuSeconds(RUSAGE_SELF);
        benchmark::DoNotOptimize(work());
        best = std::min(best, CpuSeconds(RUSAGE_SELF) - before);
    }
    return best;
}

}  // namespace zymbench

#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <vector>

namespace zymbench {

// The benchmark's input: the file named by `envVar`, else `fileName` in the temporary
// folder, made once from a 60 s synthetic source by `encode` (source WAV, output) -> shell
// command. False, with a message naming `tools`, when it cannot be had.
inline bool LoadOrMakeStream(const char* envVar, const std::string& fileName, const char* tools,
                             const std::function<std::string(const std::string&, const std::string&)>& encode,
                             std::string& path, std::vector<uint8_t>& bytes) {
    if (const char* p = std::getenv(envVar)) {
        path = p;
    } else {
        path = TempDir() + "/" + fileName;
        std::ifstream probe(path, std::ios::binary);
        if (!probe) {
            const std::string wav = path + ".src.wav";
            const std::string cmd = encode(wav, path) + " && rm -f '" + wav + "'";
            if (std::system(cmd.c_str()) != 0) {
                std::fprintf(stderr, "cannot make %s (needs %s)\n", path.c_str(), tools);
                return false;
            }
        }
    }
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !bytes.empty();
}

// Our CPU seconds beside ffmpeg's, whole run and net of its start-up (ffmpeg <= 0: it did not
// run).
inline void PrintAgainstFfmpeg(double ours, double ffmpeg, double ffmpegNet) {
    std::printf("  zym     %.3f\n", ours);
    if (ffmpeg > 0) {
        std::printf("  ffmpeg  %.3f (net %.3f)   zym/ffmpeg = %.2f (net %.2f)\n", ffmpeg, ffmpegNet, ours / ffmpeg,
                    ours / std::max(1e-3, ffmpegNet));
    } else {
        std::printf("  ffmpeg  not available\n");
    }
}

}  // namespace zymbench
