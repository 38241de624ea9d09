// The player wrapper: over a test double of the engine for the guards and the state
// mapping, and over the real engine playing test-server stations into the null sink.

#include "app/radio/RadioPlayer.h"

#include "engine/MetaDataListener.h"
#include "engine/PlayStateListener.h"
#include "platform/RunLoop.h"
#include "support/TestServer.h"

#include "../foundation/AppTestSupport.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonObject>

#include <chrono>
#include <cstdlib>
#include <stdexcept>

using namespace std::chrono_literals;
using zymtest::TestServer;

namespace {

// Records every delegate message as one line.
class RecordingDelegate : public RadioPlayerDelegate {
public:
    QStringList calls;
    std::vector<ErrorDescription> errors;
    std::vector<QByteArray> metaData;
    std::vector<QDateTime> trackStarts;
    QStringList urls;

    void playingStopped(const QString& u) override { note("stopped", u); }
    void connecting(const QString& u) override { note("connecting", u); }
    void bufferingStarted(const QString& u) override { note("buffering", u); }
    void playingWillStart(const QString& u) override { note("willStart", u); }
    void playingStarted(const QString& u) override { note("started", u); }
    void trackProgressAt(float position, float total, float buffered, const QString& u) override {
        note(QString("progress %1 %2 %3").arg(position).arg(total).arg(buffered), u);
    }
    void receivedMetaData(const QByteArray& m, const QDateTime& start, const QString& u) override {
        metaData.push_back(m);
        trackStarts.push_back(start);
        note("metadata", u);
    }
    void playingError(const ErrorDescription& e, const QString& u) override {
        errors.push_back(e);
        note("error " + e.domain() + " " + QString::number(e.code()), u);
    }
    void note(const QString& what, const QString& url) {
        calls << what;
        urls << url;
    }
    // The calls without repeats of the one before (progress comes often).
    QStringList kinds() const {
        QStringList out;
        for (QString c : calls) {
            c = c.section(' ', 0, 0);
            if (out.isEmpty() || out.last() != c) out << c;
        }
        return out;
    }
};

class OnlyStarted : public RadioPlayerDelegate {
public:
    int started = 0;
    void playingStarted(const QString&) override { ++started; }
};

// The engine's test double: answers what the test sets, throws where it is told to.
class FakeEngine : public RadioPlayerEngine {
public:
    struct Shared {
        Amp::PlayStateListener* stateListener = nullptr;
        Amp::MetaDataListener* metaListener = nullptr;
        QStringList calls;
        bool throwing = false;
        int state = 1;
        float start = 5, stale = 5, lo = 2, hi = 4, volume = 0.5f;
        bool destroyed = false;
    };
    explicit FakeEngine(Shared& s) : s_(s) {}
    ~FakeEngine() override { s_.destroyed = true; }

    void check(const QString& call) {
        s_.calls << call;
        if (s_.throwing) throw std::runtime_error("engine failure");
    }
    void Play(const std::string& url) override { check("Play " + QString::fromStdString(url)); }
    void Stop() override { check("Stop"); }
    bool IsPlaying() override { return check("IsPlaying"), true; }
    int GetPlayState() override { return check("GetPlayState"), s_.state; }
    void SetVolume(float v) override { check("SetVolume"), s_.volume = v; }
    float GetVolume() override { return check("GetVolume"), s_.volume; }
    void SetBufferingLevels(float lo, float hi) override { check("SetBufferingLevels"), s_.lo = lo, s_.hi = hi; }
    void GetBufferingLevels(float& lo, float& hi) override {
        check("GetBufferingLevels");
        lo = s_.lo;
        hi = s_.hi;
    }
    void SetStreamConnectionStartTimeout(float v) override { check("SetStart"), s_.start = v; }
    void SetStreamConnectionStaleTimeout(float v) override { check("SetStale"), s_.stale = v; }
    float GetStreamConnectionStartTimeout() override { return check("GetStart"), s_.start; }
    float GetStreamConnectionStaleTimeout() override { return check("GetStale"), s_.stale; }
    void AddPlayStateListener(Amp::PlayStateListener* l) override { s_.stateListener = l; }
    void AddMetaDataListener(Amp::MetaDataListener* l) override { s_.metaListener = l; }

private:
    Shared& s_;
};

class RadioPlayerWrapperTest : public ::testing::Test {
protected:
    std::unique_ptr<RadioPlayer> Make() {
        return RadioPlayer::create("UA/1.0", [this](const std::string& ua) {
            userAgent = ua;
            return std::make_unique<FakeEngine>(engine);
        });
    }
    FakeEngine::Shared engine;
    std::string userAgent;
};

}  // namespace

TEST_F(RadioPlayerWrapperTest, CreationFailures) {
    LogCapture log;
    EXPECT_EQ(
        RadioPlayer::create(QString(), [this](const std::string&) { return std::make_unique<FakeEngine>(engine); }),
        nullptr);
    EXPECT_EQ(RadioPlayer::create("UA",
                                  [](const std::string&) -> std::unique_ptr<RadioPlayerEngine> {
                                      throw std::runtime_error("no engine");
                                  }),
              nullptr);
    EXPECT_EQ(log.lines, (QStringList{"Error creating player", "Error creating player"}));
    auto p = RadioPlayer::create(QString::fromUtf8("Zym Radio/4.2 (Ærø)"), [this](const std::string& ua) {
        userAgent = ua;
        return std::make_unique<FakeEngine>(engine);
    });
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(userAgent, "Zym Radio/4.2 (\xC3\x86r\xC3\xB8)");
    EXPECT_NE(engine.stateListener, nullptr);
    EXPECT_NE(engine.metaListener, nullptr);
}

TEST_F(RadioPlayerWrapperTest, StatesAreRenumbered) {
    auto p = Make();
    const struct {
        int engine, wrapper;
    } rows[] = {{1, 0}, {2, 1}, {3, 2}, {4, 3}, {5, 4}, {0, 5}, {6, 0}, {-1, 0}, {99, 0}};
    for (const auto& r : rows) {
        engine.state = r.engine;
        EXPECT_EQ(p->playerState(), r.wrapper) << r.engine;
    }
}

TEST_F(RadioPlayerWrapperTest, EveryEngineFailureLogsItsLineAndAnswersNeutrally) {
    auto p = Make();
    engine.throwing = true;
    LogCapture log;
    float lo = 7, hi = 8;
    p->play("http://a/");
    p->stop();
    EXPECT_FALSE(p->isActive());
    EXPECT_EQ(p->playerState(), 0);
    p->setVolume(0.3f);
    EXPECT_EQ(p->volume(), 0.0f);
    p->setBufferingLevels(1, 2);
    p->getBufferingLevels(&lo, &hi);
    p->setStreamConnectionStartTimeout(1);
    p->setStreamConnectionStaleTimeout(1);
    EXPECT_EQ(p->streamConnectionStartTimeout(), -1.0f);
    EXPECT_EQ(p->streamConnectionStaleTimeout(), -1.0f);
    EXPECT_EQ(lo, 7);
    EXPECT_EQ(hi, 8);
    EXPECT_EQ(log.lines,
              (QStringList{"Error playing", "Error stopping", "Error calling IsPlaying", "Error calling GetPlayState",
                           "Error setting volume", "Error getting volume", "Error setting buffer levels",
                           "Error getting buffer levels", "Error setting connection start timeout",
                           "Error setting connection stale timeout", "Error getting connection start timeout",
                           "Error getting connection stale timeout"}));

    engine.throwing = false;
    log.lines.clear();
    engine.calls.clear();
    p->play(QString());
    EXPECT_EQ(log.lines, QStringList{"Error playing"});
    EXPECT_TRUE(engine.calls.isEmpty()) << "a null URL plays nothing";
}

TEST_F(RadioPlayerWrapperTest, TimeoutAndBufferingRows) {
    auto p = Make();
    p->setStreamConnectionStartTimeout(-1.0f);
    p->setStreamConnectionStaleTimeout(-0.5f);
    EXPECT_EQ(engine.calls, QStringList{});
    EXPECT_EQ(p->streamConnectionStartTimeout(), 5.0f);
    p->setStreamConnectionStartTimeout(0.0f);
    p->setStreamConnectionStaleTimeout(2.5f);
    EXPECT_EQ(p->streamConnectionStartTimeout(), 0.0f);
    EXPECT_EQ(p->streamConnectionStaleTimeout(), 2.5f);

    float lo = 7, hi = 8;
    engine.calls.clear();
    p->getBufferingLevels(&lo, nullptr);
    p->getBufferingLevels(nullptr, &hi);
    EXPECT_EQ(lo, 7);
    EXPECT_EQ(hi, 8);
    EXPECT_TRUE(engine.calls.isEmpty());
    p->setBufferingLevels(1.5f, 3.0f);
    p->getBufferingLevels(&lo, &hi);
    EXPECT_EQ(lo, 1.5f);
    EXPECT_EQ(hi, 3.0f);
}

TEST_F(RadioPlayerWrapperTest, EngineCallbacksBecomeDelegateMessages) {
    auto p = Make();
    auto* state = engine.stateListener;
    auto* meta = engine.metaListener;
    // No delegate at all: nothing happens.
    state->PlayStateChanged("http://a/", 1, 2);

    RecordingDelegate d;
    p->setDelegate(&d);
    for (int to : {2, 3, 4, 5, 1, 0, 6, -3})
        state->PlayStateChanged("http://a/", 9, to);
    EXPECT_EQ(d.calls, (QStringList{"connecting", "buffering", "willStart", "started", "stopped"}));

    d.calls.clear();
    state->PlayPosition("http://a/", 1.5f, 180.25f, 3.0f);
    EXPECT_EQ(d.calls, QStringList{"progress 1.5 180.25 3"});

    const struct {
        int domain, code;
        const char* text;
    } rows[] = {{1, 61, "POSIXErrorDomain"},
                {2, -50, "OSStatusErrorDomain"},
                {3, 14, "ErrorDescApplicationErrorDomain"},
                {0, 5, "ErrorDescApplicationErrorDomain"},
                {-1, 7, "ErrorDescApplicationErrorDomain"}};
    for (const auto& r : rows) {
        d.errors.clear();
        state->PlayingError("http://a/", r.domain, r.code);
        ASSERT_EQ(d.errors.size(), 1u);
        EXPECT_EQ(d.errors[0].domain(), r.text);
        EXPECT_EQ(d.errors[0].code(), r.code);
        EXPECT_FALSE(d.errors[0].userInfo().has_value());
    }

    // Metadata: the bytes as they came, NULs and non-ASCII included; the track start to the millisecond.
    static const char raw[] = "<metadata>\xC3\x86r\xC3\xB8 Caf\xC3\xA9\0tail</metadata>";
    const QByteArray bytes(raw, sizeof raw - 1);
    meta->ReceivedMetaData("http://a/\xC3\xA6", reinterpret_cast<const uint8_t*>(bytes.constData()),
                           uint32_t(bytes.size()), 1700000000.25);
    ASSERT_EQ(d.metaData.size(), 1u);
    EXPECT_EQ(d.metaData[0], bytes);
    EXPECT_EQ(d.trackStarts[0], QDateTime::fromMSecsSinceEpoch(1700000000250LL, Qt::UTC));
    EXPECT_EQ(d.urls.last(), QString::fromUtf8("http://a/æ"));

    // A delegate that implements only playingStarted: gets just that; one that
    // implements nothing gets nothing, and nothing fails.
    OnlyStarted only;
    p->setDelegate(&only);
    for (int to : {0, 1, 2, 3, 4, 5})
        state->PlayStateChanged("u", 1, to);
    EXPECT_EQ(only.started, 1);
    RadioPlayerDelegate nothing;
    p->setDelegate(&nothing);
    state->PlayStateChanged("u", 1, 5);
    state->PlayPosition("u", 1, 2, 3);
    state->PlayingError("u", 1, 61);
    meta->ReceivedMetaData("u", reinterpret_cast<const uint8_t*>("x"), 1, 0);
}

TEST_F(RadioPlayerWrapperTest, ADelegateThatThrowsIsCaughtAtTheListener) {
    auto p = Make();
    struct Thrower : RadioPlayerDelegate {
        void playingStarted(const QString&) override { throw std::runtime_error("delegate failure"); }
        void receivedMetaData(const QByteArray&, const QDateTime&, const QString&) override { throw 1; }
    } thrower;
    p->setDelegate(&thrower);
    LogCapture log;
    engine.stateListener->PlayStateChanged("u", 4, 5);
    engine.metaListener->ReceivedMetaData("u", nullptr, 0, 0);
    EXPECT_EQ(log.lines, (QStringList{"RadioPlayStateListener::PlayStateChanged: exception: delegate failure",
                                      "RadioMetaDataListener::ReceivedMetaData: unknown exception"}));
}

TEST_F(RadioPlayerWrapperTest, TheEngineGoesBeforeItsListeners) {
    auto p = Make();
    p.reset();
    EXPECT_TRUE(engine.destroyed);
}

// ---- The real engine ----

namespace {

class RealPlayer : public ::testing::Test {
protected:
    void SetUp() override {
        player = RadioPlayer::create("ZymRadioTest/1.0");
        ASSERT_NE(player, nullptr);
        player->setDelegate(&delegate);
        player->setBufferingLevels(0.3f, 0.6f);
        player->setStreamConnectionStartTimeout(30);
        player->setStreamConnectionStaleTimeout(30);
    }
    void TearDown() override {
        if (player) player->stop();
        platform::RunLoop::Current().RunFor(50ms);
        player.reset();  // ASan: no callback may reach the freed listeners
    }
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds t = 30s) {
        return platform::RunLoop::Current().RunUntil(done, t);
    }
    std::unique_ptr<RadioPlayer> player;
    RecordingDelegate delegate;
};

}  // namespace

TEST_F(RealPlayer, AQuintrelStationPlaysAndStopsWithEveryEventInOrder) {
    TestServer& server = TestServer::Get();
    const std::string path = server.NewPrefix() + "station";
    const QString xml = QString::fromUtf8("<metadata><song><name>Ærø Café</name></song></metadata>");
    QJsonArray packets{
        QJsonObject{{"xml", xml}, {"parts", 2}, {"id", 3}},
        QJsonObject{{"timing", QJsonArray{176000, 8000}}},
        QJsonObject{{"audio", QJsonObject{{"file", "chirp-64k.mp3"}}}, {"codec", "mp3"}},
    };
    // Slow enough that it still plays when the test stops it.
    server.Script(QJsonObject{{"path", QString::fromStdString(path)},
                              {"kind", "quintrel"},
                              {"packets", packets},
                              {"avg_bitrate", 64000},
                              {"rate", 8000}});
    const QString url = QString::fromStdString("qint" + server.Url(path).substr(4));
    player->play(url);
    EXPECT_TRUE(player->isActive());
    ASSERT_TRUE(RunUntil([&] {
        return delegate.calls.contains("started") && !delegate.metaData.empty() &&
               delegate.kinds().contains("progress");
    })) << delegate.calls.join(", ").toStdString();
    EXPECT_EQ(player->playerState(), RadioPlayer::Playing);
    player->stop();
    ASSERT_TRUE(RunUntil([&] { return delegate.calls.contains("stopped"); }));

    QStringList order = delegate.kinds();
    order.removeAll("progress");
    order.removeAll("metadata");
    EXPECT_EQ(order, (QStringList{"connecting", "buffering", "willStart", "started", "stopped"}));
    EXPECT_EQ(delegate.kinds().last(), "stopped");
    EXPECT_LT(delegate.kinds().indexOf("connecting"), delegate.kinds().indexOf("progress"));
    for (const QString& u : delegate.urls)
        EXPECT_EQ(u, url);
    // Exactly the bytes the stream carried.
    ASSERT_EQ(delegate.metaData.size(), 1u);
    EXPECT_EQ(delegate.metaData[0], xml.toUtf8());
    EXPECT_TRUE(delegate.metaData[0].contains("\xC3\x86r\xC3\xB8 Caf\xC3\xA9"));
    EXPECT_TRUE(delegate.errors.empty());
    EXPECT_EQ(player->playerState(), RadioPlayer::Stopped);
    EXPECT_FALSE(player->isActive());
}

TEST_F(RealPlayer, ANonAsciiStreamUrlReachesTheDelegateUnchanged) {
    TestServer& server = TestServer::Get();
    // The script answers every path under the prefix, however the name goes on the wire.
    const std::string prefix = server.NewPrefix();
    server.Script(QJsonObject{{"path", QString::fromStdString(prefix)},
                              {"headers", QJsonArray{QJsonArray{"Content-Type", "audio/mpeg"}}},
                              {"file", "chirp-64k.mp3"},
                              {"rate", 8000}});
    const QString url = QString::fromStdString(server.Url(prefix)) + QString::fromUtf8("Ærø-stætion.mp3");
    player->play(url);
    ASSERT_TRUE(RunUntil([&] { return delegate.calls.contains("started") || !delegate.errors.empty(); }))
        << delegate.calls.join(", ").toStdString();
    EXPECT_TRUE(delegate.errors.empty()) << delegate.calls.join(", ").toStdString();
    ASSERT_FALSE(delegate.urls.isEmpty());
    for (const QString& u : delegate.urls)
        EXPECT_EQ(u, url);
}

TEST_F(RealPlayer, ARefusedPortGivesPosixError61) {
    const QString url = QString("http://127.0.0.1:%1/station").arg(TestServer::ClosedPort());
    player->play(url);
    ASSERT_TRUE(RunUntil([&] { return !delegate.errors.empty(); }));
    EXPECT_EQ(delegate.errors[0].domain(), "POSIXErrorDomain");
    EXPECT_EQ(delegate.errors[0].code(), 61);
    EXPECT_EQ(delegate.errors[0].localizedDescription(), "Error: domain=POSIXErrorDomain code=61");
    EXPECT_EQ(delegate.urls.last(), url);
}

TEST_F(RealPlayer, EngineSettingsAndTheSilentDelegate) {
    RadioPlayerDelegate nothing;
    player->setDelegate(&nothing);
    player->setVolume(0.25f);
    EXPECT_FLOAT_EQ(player->volume(), 0.25f);
    player->setStreamConnectionStartTimeout(-1.0f);
    EXPECT_FLOAT_EQ(player->streamConnectionStartTimeout(), 30.0f);
    player->setStreamConnectionStartTimeout(0.0f);
    EXPECT_FLOAT_EQ(player->streamConnectionStartTimeout(), 0.0f);
    float lo = 9, hi = 9;
    player->getBufferingLevels(&lo, nullptr);
    EXPECT_EQ(lo, 9);
    player->getBufferingLevels(&lo, &hi);
    EXPECT_FLOAT_EQ(lo, 0.3f);
    EXPECT_FLOAT_EQ(hi, 0.6f);
    EXPECT_EQ(player->playerState(), RadioPlayer::Stopped);
    // A delegate implementing nothing: a whole failed play goes by without effect.
    player->play(QString("http://127.0.0.1:%1/x").arg(TestServer::ClosedPort()));
    ASSERT_TRUE(RunUntil([&] { return !player->isActive(); }));
}

// The wrapper goes while a stream plays and its events are queued: the engine is deleted
// before its listeners, so nothing reaches freed memory (ASan) or the delegate.
TEST_F(RealPlayer, DeletedWhilePlaying) {
    TestServer& server = TestServer::Get();
    const std::string path = server.NewPrefix() + "station.mp3";
    server.Script(QJsonObject{{"path", QString::fromStdString(path)},
                              {"headers", QJsonArray{QJsonArray{"Content-Type", "audio/mpeg"}}},
                              {"file", "chirp-64k.mp3"},
                              {"rate", 16000}});
    player->play(QString::fromStdString(server.Url(path)));
    ASSERT_TRUE(RunUntil([&] { return delegate.calls.contains("started"); }))
        << delegate.calls.join(", ").toStdString();
    player.reset();
    const int heard = int(delegate.calls.size());
    platform::RunLoop::Current().RunFor(300ms);
    EXPECT_EQ(delegate.calls.size(), heard);
}
