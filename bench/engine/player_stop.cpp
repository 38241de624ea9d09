// Latency of Amp::RadioPlayer::Stop (30 s time-outs) while the stream connects to a silent
// server, waits on a stalled Quintrel stream, and plays an MP3 stream into the null sink.
//
//   build-x/bench/engine/engine_bench --benchmark_repetitions=3
//
// Reported time per iteration is the time Stop takes (manual timing).

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonObject>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>

#include "engine/PlayStream.h"
#include "engine/PlayStreamFactory.h"
#include "engine/RadioPlayer.h"
#include "platform/RunLoop.h"
#include "support/TestServer.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

void StopLatency(benchmark::State& state, const QJsonObject& script, int waitForState) {
    setenv("ZYM_SOURCE_DIR", ZYM_SOURCE_DIR_DEFAULT, 0);
    setenv("ZYM_AUDIO_OUTPUT", "null", 1);
    auto& server = zymtest::TestServer::Get();
    Amp::SetPlayStreamFactory(Amp::CreatePlayStream);
    const std::string path = server.NewPrefix() + "station";
    QJsonObject s = script;
    s["path"] = QString::fromStdString(path);
    server.Script(s);
    const std::string url = server.Url(path);
    Amp::RadioPlayer player("");
    player.SetStreamConnectionStartTimeout(30);
    player.SetStreamConnectionStaleTimeout(30);
    player.SetBufferingLevels(0.5f, 1.0f);
    auto& loop = platform::RunLoop::Current();
    for (auto _ : state) {
        player.Play(url);
        if (!loop.RunUntil([&] { return player.GetPlayState() == waitForState; }, 10s)) {
            state.SkipWithError("the stream did not reach its state");
            break;
        }
        loop.RunFor(100ms);
        const auto start = Clock::now();
        player.Stop();
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        loop.RunFor(20ms);
    }
}

QJsonObject Mp3Station(bool stall) {
    QJsonObject packets{{"audio", QJsonObject{{"file", "chirp-64k.mp3"}}}, {"codec", "mp3"}};
    QJsonObject s{{"kind", "quintrel"}, {"packets", QJsonArray{packets}}, {"repeat", true}, {"content_length", false}};
    if (stall)
        s["stall_after"] = 2000;  // less than the low buffering level: it stays buffering
    else
        s["rate"] = 8000;
    return s;
}

void BM_StopWhileConnecting(benchmark::State& state) { StopLatency(state, QJsonObject{{"silent", true}}, 2); }
void BM_StopWhileStalled(benchmark::State& state) { StopLatency(state, Mp3Station(true), 3); }
void BM_StopWhilePlaying(benchmark::State& state) { StopLatency(state, Mp3Station(false), 5); }

BENCHMARK(BM_StopWhileConnecting)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_StopWhileStalled)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_StopWhilePlaying)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
