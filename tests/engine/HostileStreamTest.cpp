// Streams built to hurt the player, over the local test server: a flood of metadata must
// neither grow memory nor keep the main thread from its other work, and bytes that no
// decoder can play must end the stream with an error instead of "buffering" for ever.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonObject>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/MetaDataListener.h"
#include "engine/PlayerEvents.h"
#include "engine/PlayStateListener.h"
#include "engine/PlayStream.h"
#include "engine/PlayStreamFactory.h"
#include "engine/RadioPlayer.h"
#include "platform/RunLoop.h"
#include "support/Env.h"
#include "support/TestServer.h"

using namespace Amp;
using namespace std::chrono_literals;
using zymtest::TestServer;

namespace {

// Counts the metadata the stream thread hands to the player, and lets the test wait for a
// number of them without running the main loop (a main thread busy elsewhere).
class CountingPlayer : public RadioPlayer {
public:
    CountingPlayer() : RadioPlayer("") {}
    void PostMetaData(const std::string& url, const void* bytes, uint32_t length, double trackStart) override {
        RadioPlayer::PostMetaData(url, bytes, length, trackStart);
        std::lock_guard<std::mutex> lock(mutex_);
        ++posted_;
        changed_.notify_all();
    }
    bool WaitForPosted(long count, std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return posted_ >= count; });
    }
    long Posted() {
        std::lock_guard<std::mutex> lock(mutex_);
        return posted_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    long posted_ = 0;
};

struct Listener : PlayStateListener, MetaDataListener {
    void PlayStateChanged(const std::string&, int, int to) override { state = to; }
    void PlayPosition(const std::string&, float, float, float) override { ++positions; }
    void PlayingError(const std::string&, int d, int c) override {
        domain = d;
        code = c;
    }
    void ReceivedMetaData(const std::string&, const uint8_t*, uint32_t, double) override {
        ++documents;
        // Without a bound a flood never lets the dispatch end: stop the stream so that the
        // test fails instead of hanging.
        if (documents > 1000 && player) player->Stop();
    }
    int state = 1;
    int domain = 0;
    int code = 0;
    long documents = 0;
    long positions = 0;
    RadioPlayer* player = nullptr;
};

// Resident size of this process in kB, from /proc.
long ResidentKb() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return 0;
}

class HostileStream : public ::testing::Test {
protected:
    void SetUp() override {
        previousFactory_ = SetPlayStreamFactory(CreatePlayStream);
        setenv("ZYM_AUDIO_OUTPUT", "null", 1);
        player_ = std::make_unique<CountingPlayer>();
        player_->AddPlayStateListener(&listener_);
        player_->AddMetaDataListener(&listener_);
        player_->SetStreamConnectionStartTimeout(float(zymtest::Scaled(10.0)));
        player_->SetStreamConnectionStaleTimeout(float(zymtest::Scaled(10.0)));
        player_->SetBufferingLevels(0.5f, 1.0f);
        listener_.player = player_.get();
    }
    void TearDown() override {
        player_->Stop();
        platform::RunLoop::Current().RunFor(50ms);
        player_.reset();
        SetPlayStreamFactory(previousFactory_);
    }
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 20s) {
        return platform::RunLoop::Current().RunUntil(done, zymtest::Scaled(timeout));
    }
    std::string Serve(QJsonObject script) {
        TestServer& server = TestServer::Get();
        const std::string path = server.NewPrefix() + "stream";
        script["path"] = QString::fromStdString(path);
        server.Script(script);
        return server.Url(path);
    }

    std::unique_ptr<CountingPlayer> player_;
    Listener listener_;
    PlayStreamFactory previousFactory_;
};

// A station that sends a new track's documents thousands of times a second (with a little
// audio, so that it plays on): while the main thread is busy the queued documents do not
// pile up, and once it runs again its other work (here a posted callback, in the program
// the Ctrl-C handler or a quit) runs after the few newest documents.
TEST_F(HostileStream, MetadataFloodStaysBoundedAndLeavesTheMainLoopFree) {
    const std::string url = Serve({{"kind", "metadata_flood"},
                                   {"doc_bytes", 300},
                                   {"audio", QJsonObject{{"file", "chirp-64k.mp3"}}},
                                   {"audio_every", 200}});
    const long residentBefore = ResidentKb();
    player_->Play(url);

    // The main thread is busy while the stream posts thousands of documents.
    ASSERT_TRUE(player_->WaitForPosted(3000, zymtest::Scaled(20s))) << "the flood did not arrive";
    bool markRan = false;
    long documentsBeforeMark = -1;
    platform::RunLoop::Current().Post([&] {
        markRan = true;
        documentsBeforeMark = listener_.documents;
        listener_.player = nullptr;
    });
    ASSERT_TRUE(RunUntil([&] { return markRan; }));
    EXPECT_LE(documentsBeforeMark, long(MetaDataEvent::kKeepNewest)) << "the queued documents were all kept";

    // The flood goes on for seconds with the main thread running: documents still arrive,
    // and memory stays where it was (the flood itself is hundreds of megabytes).
    const long postedBefore = player_->Posted();
    long peakKb = 0;
    const auto until = std::chrono::steady_clock::now() + 3s;
    RunUntil(
        [&] {
            peakKb = std::max(peakKb, ResidentKb());
            return std::chrono::steady_clock::now() >= until || !player_->IsPlaying();
        },
        10s);
    EXPECT_TRUE(player_->IsPlaying()) << "error " << listener_.domain << "," << listener_.code;
    EXPECT_GT(player_->Posted() - postedBefore, 1000) << "the flood slowed down";
    EXPECT_GT(listener_.documents, 10);
    EXPECT_LT(peakKb - residentBefore, 100 * 1024) << "resident size grew by " << (peakKb - residentBefore) << " kB";
}

}  // namespace

namespace {

struct GarbageCase {
    const char* name;
    const char* framing;
    const char* contentType;  // "" keeps the kind's default
    const char* codec;        // Quintrel framing only
    bool icy;
    int code;  // the error: 14 the time-out, or the nearer one the chain meets first
};

class GarbageStream : public HostileStream, public ::testing::WithParamInterface<GarbageCase> {};

// Bytes that no decoder can play, on a fast link: the stream ends with the time-out error
// once a bounded amount has come without a frame, instead of buffering for ever.
TEST_P(GarbageStream, EndsWithAnErrorAfterABoundedAmount) {
    const GarbageCase& c = GetParam();
    QJsonObject script{{"kind", "garbage"}, {"framing", c.framing}, {"icy", c.icy}};
    if (*c.contentType) script["content_type"] = c.contentType;
    if (*c.codec) script["codec"] = c.codec;
    player_->Play(Serve(script));
    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(RunUntil([&] { return !player_->IsPlaying(); }, 30s)) << "still playing garbage";
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_EQ(listener_.domain, 3);
    EXPECT_EQ(listener_.code, c.code);
    EXPECT_EQ(listener_.state, 1);
    std::printf("%s: error after %.2f s\n", c.name, seconds);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, GarbageStream,
    // MPEG audio frames of noise are not here: they decode to noise, as with any decoder.
    ::testing::Values(GarbageCase{"RandomAsMpeg", "raw", "audio/mpeg", "", false, 14},
                      GarbageCase{"RandomAsAac", "raw", "audio/aacp", "", false, 14},
                      GarbageCase{"RandomAfterIcyHeader", "raw", "audio/mpeg", "", true, 14},
                      // A packet of an unknown class comes first.
                      GarbageCase{"RandomAsQuintrel", "raw", "application/x-quintrel", "", false, 9},
                      // The noise announces a channel layout the output refuses.
                      GarbageCase{"AdtsFramesOfNoise", "adts", "audio/aacp", "", false, 12},
                      GarbageCase{"QuintrelMpegPacketsOfNoise", "quintrel", "", "mp3", false, 14},
                      GarbageCase{"QuintrelVlbPacketsOfNoise", "quintrel", "", "vlb", false, 14},
                      GarbageCase{"QuintrelAacPlusPacketsOfNoise", "quintrel", "", "aacp", false, 14}),
    [](const ::testing::TestParamInfo<GarbageCase>& info) { return std::string(info.param.name); });

// At a station's real rate the guard waits for the start time-out (and enough bytes), not
// for a megabyte: a 128 kbit/s stream of noise ends within seconds.
TEST_F(HostileStream, PacedGarbageEndsAtTheStartTimeOut) {
    player_->SetStreamConnectionStartTimeout(1.0f);
    player_->Play(Serve({{"kind", "garbage"}, {"rate", 16000}}));
    ASSERT_TRUE(RunUntil([&] { return !player_->IsPlaying(); }, 30s));
    EXPECT_EQ(listener_.code, 14);
}

// The bound counts bytes since the last audio: a real stream with a metadata flood keeps
// playing (the flood test above), and so does a station whose audio comes slowly.
TEST_F(HostileStream, SlowAudioIsNotTakenForGarbage) {
    player_->SetStreamConnectionStartTimeout(1.0f);
    player_->Play(Serve({{"kind", "http"},
                         {"headers", QJsonArray{QJsonArray{"Content-Type", "audio/mpeg"}}},
                         {"file", "chirp-64k.mp3"},
                         {"repeat", true},
                         {"rate", 8000}}));
    ASSERT_TRUE(RunUntil([&] { return listener_.state == 5 || !player_->IsPlaying(); }));
    const auto until = std::chrono::steady_clock::now() + 3s;
    RunUntil([&] { return std::chrono::steady_clock::now() >= until || !player_->IsPlaying(); });
    EXPECT_TRUE(player_->IsPlaying()) << "error " << listener_.domain << "," << listener_.code;
}

}  // namespace
