// The polyphase synthesis alone: one Layer III granule (18 blocks) of random subband
// samples per iteration, stereo and mono, at each downsampling shift. Run in a Release
// build: mp3_synthesis_bench [--benchmark_repetitions=N].
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "codecs/mp3/PolyphaseSynthesis.h"

namespace {

void BM_SynthesizeGranule(benchmark::State& state) {
    const int channels = static_cast<int>(state.range(0));
    const unsigned shift = static_cast<unsigned>(state.range(1));
    mp3::MpegFrameParams params;
    params.channels = channels;
    mp3::CPolyphaseSynthesis synthesis(&params, shift, 0, 0);
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> dist(-2000.0f, 2000.0f);
    std::vector<float> input(1152);
    for (float& v : input)
        v = dist(rng);
    std::vector<uint8_t> output(18 * 32 * 2 * 2);
    for (auto _ : state) {
        benchmark::DoNotOptimize(synthesis.Synthesize(input.data(), output.data(), 18));
        benchmark::ClobberMemory();
    }
    // Samples per second, all channels.
    state.SetItemsProcessed(state.iterations() * 18 * (32 >> shift) * channels);
}

}  // namespace

BENCHMARK(BM_SynthesizeGranule)
    ->ArgNames({"channels", "shift"})
    ->Args({2, 0})
    ->Args({1, 0})
    ->Args({2, 1})
    ->Args({2, 2});

BENCHMARK_MAIN();
