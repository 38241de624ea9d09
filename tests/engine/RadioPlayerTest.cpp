#include "engine/RadioPlayer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <new>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "runtime/LThreadEventQueue.h"
#include "runtime/LogMessage.h"
#include "platform/RunLoop.h"

using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

constexpr auto kWait = 5s;

// What the fake streams do, in order, across the test.
struct StreamLog {
    std::vector<std::string> calls;
    int created = 0;
    int deleted = 0;
};

class PlayerEndEvent;

// Stands in for the stream thread: records the player's calls and, like the real stream,
// posts its end event to its own queue and releases that queue when deleted.
class FakeStream : public Amp::PlayStreamInterface {
public:
    FakeStream(Amp::PlayStreamHost& player, std::string url, StreamLog& log, bool startOk)
        : player_(player), url_(std::move(url)), log_(log), startOk_(startOk), queue_(LThreadEventQueue::Create()) {
        ++log_.created;
    }
    ~FakeStream() override {
        ++log_.deleted;
        log_.calls.push_back("delete " + url_);
        queue_->Release();
    }
    bool Start() override {
        log_.calls.push_back("Start " + url_);
        return startOk_;
    }
    void Stop() override { log_.calls.push_back("Stop " + url_); }
    void SetBufferingLevels(float lo, float hi) override {
        log_.calls.push_back("Levels " + std::to_string(lo) + " " + std::to_string(hi));
    }
    void SetVolume(float v) override { log_.calls.push_back("Volume " + std::to_string(v)); }
    void SetStreamConnectionStartTimeout(float s) override {
        log_.calls.push_back("StartTimeout " + std::to_string(s));
    }
    void SetStreamConnectionStaleTimeout(float s) override {
        log_.calls.push_back("StaleTimeout " + std::to_string(s));
    }

    // The thread's last act.
    void PostEnd();

    Amp::PlayStreamHost& player_;
    std::string url_;

private:
    StreamLog& log_;
    bool startOk_;
    LThreadEventQueue* queue_;
};

class PlayerEndEvent : public LThreadEvent {
public:
    explicit PlayerEndEvent(FakeStream* s) : stream_(s) {}
    void Fire() override { stream_->player_.PlayStreamEnded(stream_); }

private:
    FakeStream* stream_;
};

void FakeStream::PostEnd() { queue_->Post(new PlayerEndEvent(this)); }

struct Recorder : Amp::PlayStateListener, Amp::MetaDataListener {
    std::vector<std::string> calls;
    std::vector<std::thread::id> threads;
    void PlayStateChanged(const std::string& url, int from, int to) override {
        Note(url + " state " + std::to_string(from) + "->" + std::to_string(to));
    }
    void PlayPosition(const std::string& url, float position, float length, float buffered) override {
        std::ostringstream s;
        s << url << " position " << position << " " << length << " " << buffered;
        Note(s.str());
    }
    void PlayingError(const std::string& url, int domain, int code) override {
        Note(url + " error " + std::to_string(domain) + "," + std::to_string(code));
    }
    void ReceivedMetaData(const std::string& url, const uint8_t* bytes, uint32_t length, double trackStart) override {
        std::ostringstream s;
        s << url << " meta '" << std::string(reinterpret_cast<const char*>(bytes), length) << "' " << trackStart;
        Note(s.str());
    }
    void Note(const std::string& line) {
        calls.push_back(line);
        threads.push_back(std::this_thread::get_id());
    }
};

class RadioPlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("zym-player-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        logPath_ = (dir_ / "player.log").string();
        InitLogFile(logPath_.c_str(), 2, 0);
        saved_ = Amp::SetPlayStreamFactory(
            [this](Amp::PlayStreamHost& player, const std::string& url, const std::string& userAgent) {
                userAgent_ = userAgent;
                if (factoryBehaviour_ == Factory::ThrowPlayer) throw player_exception(3, 6);
                if (factoryBehaviour_ == Factory::ThrowOther) throw std::bad_alloc();
                if (factoryBehaviour_ == Factory::Null) return static_cast<FakeStream*>(nullptr);
                auto* s = new FakeStream(player, url, log_, factoryBehaviour_ != Factory::StartFails);
                streams_.push_back(s);
                return s;
            });
    }
    void TearDown() override {
        Amp::SetPlayStreamFactory(saved_);
        OpenLogFile(nullptr, 0);
        fs::remove_all(dir_);
    }

    std::string LogText() {
        std::ifstream in(logPath_);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    bool Run(const std::function<bool()>& done) { return platform::RunLoop::Current().RunUntil(done, kWait); }

    enum class Factory { Ok, StartFails, ThrowPlayer, ThrowOther, Null };
    Factory factoryBehaviour_ = Factory::Ok;
    StreamLog log_;
    std::vector<FakeStream*> streams_;  // every stream made, in order (not owned)
    std::string userAgent_;
    Amp::PlayStreamFactory saved_;
    fs::path dir_;
    std::string logPath_;
};

TEST_F(RadioPlayerTest, Defaults) {
    Amp::RadioPlayer player("UA/1.0");
    EXPECT_EQ(player.GetPlayState(), 1);
    EXPECT_FALSE(player.IsPlaying());
    float lo = 0, hi = 0;
    player.GetBufferingLevels(lo, hi);
    EXPECT_FLOAT_EQ(lo, 2.0f);
    EXPECT_FLOAT_EQ(hi, 4.0f);
    EXPECT_FLOAT_EQ(player.GetVolume(), 0.5f);
    EXPECT_FLOAT_EQ(player.GetStreamConnectionStartTimeout(), 5.0f);
    EXPECT_FLOAT_EQ(player.GetStreamConnectionStaleTimeout(), 5.0f);
}

TEST_F(RadioPlayerTest, PlayHandsStoredSettingsToTheNewStreamThenStartsIt) {
    Amp::RadioPlayer player("UA/1.0");
    player.SetVolume(0.25f);  // idle: only stored
    player.SetBufferingLevels(5.0f, 7.0f);
    player.SetStreamConnectionStartTimeout(0.5f);
    player.SetStreamConnectionStaleTimeout(0.75f);
    EXPECT_TRUE(log_.calls.empty());

    player.Play("http://a/");
    EXPECT_TRUE(player.IsPlaying());
    EXPECT_EQ(userAgent_, "UA/1.0");
    EXPECT_EQ(log_.calls,
              (std::vector<std::string>{"Levels 5.000000 7.000000", "Volume 0.250000", "StartTimeout 0.500000",
                                        "StaleTimeout 0.750000", "Start http://a/"}));
    log_.calls.clear();

    player.SetVolume(0.9f);
    player.SetBufferingLevels(1.0f, 3.0f);
    player.SetStreamConnectionStartTimeout(2.0f);
    player.SetStreamConnectionStaleTimeout(3.0f);
    EXPECT_EQ(log_.calls, (std::vector<std::string>{"Volume 0.900000", "Levels 1.000000 3.000000",
                                                    "StartTimeout 2.000000", "StaleTimeout 3.000000"}));
    EXPECT_FLOAT_EQ(player.GetVolume(), 0.9f);
    EXPECT_FLOAT_EQ(player.GetStreamConnectionStartTimeout(), 2.0f);
    EXPECT_FLOAT_EQ(player.GetStreamConnectionStaleTimeout(), 3.0f);
}

TEST_F(RadioPlayerTest, PlayingTheCurrentUrlAgainChangesNothing) {
    Amp::RadioPlayer player("UA");
    player.Play("http://a/");
    player.Play("http://a/");
    EXPECT_EQ(log_.created, 1);
    player.Play("");  // another URL: stops a
    EXPECT_EQ(log_.created, 2);

    Amp::RadioPlayer idle("UA");
    idle.Play("");  // empty URL while nothing plays: nothing happens
    EXPECT_EQ(log_.created, 2);
    EXPECT_FALSE(idle.IsPlaying());
}

TEST_F(RadioPlayerTest, PlayingAnotherUrlStopsTheOldStreamWhichIsDeletedWhenItsEndEventArrives) {
    Amp::RadioPlayer player("UA");
    player.Play("http://a/");
    FakeStream* a = streams_.at(0);
    player.Play("http://b/");
    ASSERT_EQ(streams_.size(), 2u);
    EXPECT_TRUE(player.IsPlaying());
    EXPECT_EQ(log_.deleted, 0) << "the stopped stream lives until its end event";
    ASSERT_EQ(log_.calls.size(), 11u);
    EXPECT_EQ(log_.calls[5], "Stop http://a/") << "a is stopped before b is made";
    EXPECT_EQ(log_.calls[10], "Start http://b/");

    a->PostEnd();
    ASSERT_TRUE(Run([&] { return log_.deleted == 1; }));
    EXPECT_EQ(log_.calls.back(), "delete http://a/");
    EXPECT_TRUE(player.IsPlaying()) << "b stays current";
}

TEST_F(RadioPlayerTest, StopThenPlayOfTheSameUrlStartsASecondStream) {
    Amp::RadioPlayer player("UA");
    player.Play("http://a/");
    player.Stop();
    EXPECT_FALSE(player.IsPlaying());
    player.Play("http://a/");
    EXPECT_EQ(log_.created, 2);
    EXPECT_TRUE(player.IsPlaying());
}

TEST_F(RadioPlayerTest, StreamEndingByItselfIsStoppedAndDeleted) {
    Amp::RadioPlayer player("UA");
    player.Play("http://a/");
    streams_.at(0)->PostEnd();
    ASSERT_TRUE(Run([&] { return log_.deleted == 1; }));
    EXPECT_FALSE(player.IsPlaying());
    const std::vector<std::string> tail(log_.calls.end() - 2, log_.calls.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"Stop http://a/", "delete http://a/"}));
    player.Play("http://a/");  // the URL was cleared, so this plays again
    EXPECT_EQ(log_.created, 2);
}

struct SetupFailureCase {
    const char* name;
    int behaviour;  // RadioPlayerTest::Factory
    const char* logLine;
    int streamsMade;
};

class RadioPlayerSetupFailure : public RadioPlayerTest, public ::testing::WithParamInterface<SetupFailureCase> {};

TEST_P(RadioPlayerSetupFailure, IsLoggedLeavesThePlayerIdleAndLeaksNothing) {
    const SetupFailureCase& c = GetParam();
    factoryBehaviour_ = static_cast<Factory>(c.behaviour);
    Recorder rec;
    {
        Amp::RadioPlayer player("UA");
        player.AddPlayStateListener(&rec);
        player.Play("http://a/");
        EXPECT_FALSE(player.IsPlaying());
        EXPECT_EQ(log_.created, c.streamsMade);
        EXPECT_EQ(log_.deleted, c.streamsMade) << "a stream that failed its set-up is deleted";
        EXPECT_NE(LogText().find(c.logLine), std::string::npos) << LogText();

        factoryBehaviour_ = Factory::Ok;
        player.Play("http://a/");  // the URL was cleared: the same URL is tried again
        EXPECT_TRUE(player.IsPlaying());
        platform::RunLoop::Current().RunFor(10ms);
        EXPECT_TRUE(rec.calls.empty()) << "listeners hear nothing of a failed set-up";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RadioPlayerSetupFailure,
    ::testing::Values(SetupFailureCase{"PlayerException", 2, "error setting up play stream. domain=3, code=6\n", 0},
                      SetupFailureCase{"OtherException", 3, "unknown error setting up play stream\n", 0},
                      SetupFailureCase{"NoStream", 4, "unknown error setting up play stream\n", 0},
                      SetupFailureCase{"ThreadNotStarted", 1,
                                       "error setting up play stream: its thread could not be started\n", 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RadioPlayerWithoutStreams, PlayFailsItsSetUpCleanly) {
    Amp::PlayStreamFactory saved = Amp::SetPlayStreamFactory(nullptr);
    {
        Amp::RadioPlayer player("UA");
        player.Play("http://a/");
        EXPECT_FALSE(player.IsPlaying());
        EXPECT_EQ(player.GetPlayState(), 1);
    }
    Amp::SetPlayStreamFactory(saved);
}

TEST_F(RadioPlayerTest, EventsPostedFromAStreamThreadReachListenersOnTheMainThreadInOrder) {
    Amp::RadioPlayer player("UA");
    Recorder rec;
    player.AddPlayStateListener(&rec);
    player.AddPlayStateListener(&rec);  // twice: still called once
    player.AddMetaDataListener(&rec);

    std::thread worker([&] {
        char meta[] = "<x>song</x>";
        player.PostPlayStateChange("u", 1, 2);
        player.PostPlayStateChange("u", 1, 3);
        player.PostTrackProgress("u", 1.5f, 180.0f, 2.25f);
        player.PostMetaData("u", meta, static_cast<uint32_t>(std::strlen(meta)), 1234.5);
        std::memset(meta, '!', std::strlen(meta));  // the event holds its own copy
        player.PostPlayerError("u", 3, 14);
        player.PostPlayStateChange("u", 3, 1);
    });
    worker.join();
    EXPECT_TRUE(rec.calls.empty()) << "nothing is called on the posting thread";

    ASSERT_TRUE(Run([&] { return rec.calls.size() == 6; }));
    EXPECT_EQ(rec.calls, (std::vector<std::string>{"u state 1->2", "u state 1->3", "u position 1.5 180 2.25",
                                                   "u meta '<x>song</x>' 1234.5", "u error 3,14", "u state 3->1"}));
    for (auto id : rec.threads)
        EXPECT_EQ(id, std::this_thread::get_id());
    EXPECT_EQ(player.GetPlayState(), 1);
}

TEST_F(RadioPlayerTest, PlayStateIsTheLastDeliveredState) {
    Amp::RadioPlayer player("UA");
    player.PostPlayStateChange("u", 1, 2);
    EXPECT_EQ(player.GetPlayState(), 1) << "changes only when the event fires";
    ASSERT_TRUE(Run([&] { return player.GetPlayState() == 2; }));
}

TEST_F(RadioPlayerTest, DeletingThePlayerDropsQueuedEventsAndStreamsStillEnding) {
    Recorder rec;
    {
        Amp::RadioPlayer player("UA");
        player.AddPlayStateListener(&rec);
        player.Play("http://a/");
        player.Play("http://b/");   // a waits for its end event
        streams_.at(0)->PostEnd();  // queued on a's own queue, not yet fired
        player.PostPlayStateChange("http://b/", 1, 2);
    }
    EXPECT_EQ(log_.deleted, 2) << "both streams go with the player";
    platform::RunLoop::Current().RunFor(20ms);  // nothing may fire on the deleted player
    EXPECT_TRUE(rec.calls.empty());
}

TEST_F(RadioPlayerTest, EmptyMetadataIsDelivered) {
    Amp::RadioPlayer player("UA");
    Recorder rec;
    player.AddMetaDataListener(&rec);
    player.PostMetaData("u", nullptr, 0, 0.0);
    ASSERT_TRUE(Run([&] { return rec.calls.size() == 1; }));
    EXPECT_EQ(rec.calls[0], "u meta '' 0");
}

TEST(PlayerException, CarriesDomainAndCode) {
    try {
        throw player_exception(3, 14);
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "player exception");
        const auto* p = dynamic_cast<const Amp::player_exception*>(&e);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->domain, 3);
        EXPECT_EQ(p->code, 14);
    }
}

}  // namespace
