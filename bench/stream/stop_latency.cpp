// Stop latency of Amp::HTTPReader: the time from raising the stream's stop flag to the
// reader giving up, while it waits for data from a stalled server (30 s time-outs) and
// while it waits for a response header that never comes.
//
//   build-x/bench/stream/stream_bench --benchmark_repetitions=5
//
// Reported time per iteration is that latency (manual timing).

#include "engine/HttpStreamReader.h"
#include "support/TestServer.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

zymtest::TestServer& Server() {
    setenv("ZYM_SOURCE_DIR", ZYM_SOURCE_DIR_DEFAULT, 0);
    return zymtest::TestServer::Get();
}

void StopLatency(benchmark::State& state, bool headerWait) {
    auto& server = Server();
    const std::string path = headerWait ? "/bench/silent" : "/bench/stall";
    server.Script(QJsonObject{{"path", "/bench/silent"}, {"silent", true}});
    server.Script(QJsonObject{{"path", "/bench/stall"},
                              {"headers", QJsonArray{QJsonArray{"Content-Type", "audio/mpeg"}}},
                              {"size", 4000},
                              {"stall_after", 1000}});
    const std::string url = server.Url(path);
    for (auto _ : state) {
        std::atomic<bool> stop{false};
        Amp::HTTPReader reader(url.c_str(), "");
        reader.SetConnectionStartTimeout(30.0f);
        reader.SetConnectionStaleTimeout(30.0f);
        reader.SetStopFlag(&stop);
        reader.Connect();
        Clock::time_point raised;
        std::thread stopper([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            raised = Clock::now();
            // What a stream's Stop does: raise the flag, then wake the reader's wait.
            stop = true;
            reader.WakeUp();
        });
        char buf[2048];
        try {
            if (headerWait) reader.GetResponseHeader("Content-Type");
            for (;;)
                reader.Read(buf, sizeof buf);
        } catch (const Amp::stream_stopped&) {
        } catch (const std::exception& e) {
            state.SkipWithError(e.what());
        }
        const auto ended = Clock::now();
        stopper.join();
        state.SetIterationTime(std::chrono::duration<double>(ended - raised).count());
    }
}

void BM_StopWhileReadingStalledStream(benchmark::State& state) { StopLatency(state, false); }
void BM_StopWhileWaitingForHeader(benchmark::State& state) { StopLatency(state, true); }

double Max(const std::vector<double>& v) { return v.empty() ? 0 : *std::max_element(v.begin(), v.end()); }

BENCHMARK(BM_StopWhileReadingStalledStream)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(40)
    ->Repetitions(3)
    ->ComputeStatistics("max", Max);
BENCHMARK(BM_StopWhileWaitingForHeader)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(40)
    ->Repetitions(3)
    ->ComputeStatistics("max", Max);

}  // namespace

BENCHMARK_MAIN();
