#include <gtest/gtest.h>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/MetaDataListener.h"
#include "engine/PlayStateListener.h"
#include "engine/PlayStream.h"
#include "engine/PlayStreamFactory.h"
#include "engine/RadioPlayer.h"
#include "platform/RunLoop.h"
#include "support/Env.h"
#include "support/Pcm.h"
#include "support/TestServer.h"

using namespace Amp;
using namespace std::chrono_literals;
using zymtest::TestServer;

namespace {

struct Event {
    Event(std::string kind, std::string url, int a = 0, int b = 0)
        : kind(std::move(kind)), url(std::move(url)), a(a), b(b) {}
    std::string kind;  // "state", "error", "position", "meta"
    std::string url;
    int a = 0, b = 0;
    std::string text;
    double trackStart = 0;
};

class Recorder : public PlayStateListener, public MetaDataListener {
public:
    void PlayStateChanged(const std::string& url, int from, int to) override {
        events.emplace_back("state", url, from, to);
    }
    void PlayPosition(const std::string& url, float position, float length, float) override {
        events.emplace_back("position", url, int(position * 1000), int(length * 1000));
    }
    void PlayingError(const std::string& url, int domain, int code) override {
        events.emplace_back("error", url, domain, code);
    }
    void ReceivedMetaData(const std::string& url, const uint8_t* bytes, uint32_t length, double trackStart) override {
        Event e{"meta", url};
        e.text.assign(reinterpret_cast<const char*>(bytes), length);
        e.trackStart = trackStart;
        events.push_back(e);
    }
    std::vector<std::pair<int, int>> States(const std::string& url) const {
        std::vector<std::pair<int, int>> out;
        for (const Event& e : events)
            if (e.kind == "state" && e.url == url) out.push_back({e.a, e.b});
        return out;
    }
    std::vector<Event> Of(const std::string& kind) const {
        std::vector<Event> out;
        for (const Event& e : events)
            if (e.kind == kind) out.push_back(e);
        return out;
    }
    std::vector<Event> events;
};

// The player as the program uses it: streams made by the real factory, audio to a WAV file.
class PlayRoad : public ::testing::Test {
protected:
    void SetUp() override {
        previousFactory_ = SetPlayStreamFactory(CreatePlayStream);
        wavPath_ = zymtest::TempPath(".wav");
        setenv("ZYM_AUDIO_OUTPUT", ("wav:" + wavPath_).c_str(), 1);
        setenv("ZYM_AUDIO_PACE", "4", 1);
        player_ = std::make_unique<RadioPlayer>("");
        player_->AddPlayStateListener(&recorder_);
        player_->AddMetaDataListener(&recorder_);
        player_->SetStreamConnectionStartTimeout(30);
        player_->SetStreamConnectionStaleTimeout(30);
        player_->SetBufferingLevels(0.5f, 1.0f);
        player_->SetVolume(1.0f);  // the samples come back unscaled
    }
    void TearDown() override {
        player_->Stop();
        // Let every stopped stream's end event arrive before the player goes.
        platform::RunLoop::Current().RunFor(50ms);
        player_.reset();
        SetPlayStreamFactory(previousFactory_);
        setenv("ZYM_AUDIO_OUTPUT", "null", 1);
        unsetenv("ZYM_AUDIO_PACE");
        std::remove(wavPath_.c_str());
    }
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 20s) {
        return platform::RunLoop::Current().RunUntil(done, zymtest::Scaled(timeout));
    }
    bool Ended() const { return !player_->IsPlaying(); }

    // The float32 stereo WAV the sink wrote, as 16-bit samples (the decoder's own scale).
    std::vector<int16_t> WrittenPcm() {
        std::vector<int16_t> out;
        EXPECT_TRUE(zymtest::ReadFloatWavAs16(wavPath_, out));
        return out;
    }

    std::unique_ptr<RadioPlayer> player_;
    Recorder recorder_;
    std::string wavPath_;
    PlayStreamFactory previousFactory_;
};

const char* kMp3Fixture = "chirp-64k.mp3";

std::string FixturePath(const char* name) { return zymtest::DataPath(std::string("streams/") + name); }

// `edgeFrames` at both ends are left out where decoders legitimately differ (AAC's first
// frame without overlap and its last, cut frame).
void ExpectMatchesReference(const std::vector<int16_t>& written, const std::string& source = FixturePath(kMp3Fixture),
                            int maxError = 2, size_t edgeFrames = 0) {
    zymtest::Pcm reference;
    if (source.size() > 4 && source.substr(source.size() - 4) == ".mp3") {
        ASSERT_TRUE(zymtest::DecodeWithMpg123(source, reference)) << "mpg123 is needed";
    } else {
        ASSERT_TRUE(zymtest::DecodeWithFfmpeg(source, reference)) << "ffmpeg is needed";
    }
    std::vector<int16_t> ref = reference.samples;
    if (reference.channels == 1) {
        ref.clear();
        for (int16_t s : reference.samples)
            ref.insert(ref.end(), {s, s});
    }
    std::vector<int16_t> ours = zymtest::TrimSilence(zymtest::DropUnderrunGaps(written));
    if (edgeFrames > 0 && ours.size() > 4 * edgeFrames * 2)
        ours = std::vector<int16_t>(ours.begin() + long(2 * edgeFrames), ours.end() - long(2 * edgeFrames));
    ref = zymtest::TrimSilence(ref);
    ASSERT_GT(ours.size() + 4 * edgeFrames, ref.size() * 9 / 10);
    const long offset = zymtest::FindOffset(ours, ref, 2, 2000 + long(edgeFrames), 20000);
    const zymtest::PcmDiff diff = zymtest::Compare(ours, ref, 2, offset);
    // The decoder's bound against its reference; the chain adds at most the rounding of
    // the float hand-over.
    EXPECT_LE(diff.rms, 1.0);
    EXPECT_LE(diff.maxAbs, maxError);
    EXPECT_GT(diff.compared + 4 * edgeFrames, ref.size() * 9 / 10);
}

QJsonObject FileAudio(const char* name) { return QJsonObject{{"file", name}}; }

}  // namespace

TEST_F(PlayRoad, PlainMpegStreamPlaysToTheEnd) {
    TestServer& server = TestServer::Get();
    const std::string path = server.NewPrefix() + "station.mp3";
    server.Script(QJsonObject{{"path", QString::fromStdString(path)},
                              {"headers", QJsonArray{QJsonArray{"Content-Type", "audio/mpeg"}}},
                              {"file", kMp3Fixture},
                              {"piece", 1500}});
    const std::string url = server.Url(path);
    player_->Play(url);
    ASSERT_TRUE(RunUntil([&] { return Ended(); }));
    EXPECT_EQ(recorder_.States(url), (std::vector<std::pair<int, int>>{{1, 2}, {1, 3}, {3, 4}, {4, 5}, {5, 1}}));
    EXPECT_TRUE(recorder_.Of("error").empty());
    ExpectMatchesReference(WrittenPcm());
}

TEST_F(PlayRoad, QuintrelStreamSplitAnywhereWithMetadata) {
    TestServer& server = TestServer::Get();
    const std::string path = server.NewPrefix() + "station";
    QJsonArray packets{
        QJsonObject{{"raw_b64", QString(QByteArray("garbage").toBase64())}},
        QJsonObject{{"title", "Some Artist - Some Song"}},
        QJsonObject{{"timing", QJsonArray{176000, 88000}}},
        QJsonObject{{"xml", "<metadata><song><name>X</name></song></metadata>"}, {"parts", 3}, {"id", 7}},
        QJsonObject{{"audio", FileAudio(kMp3Fixture)}, {"codec", "mp3"}, {"split", QJsonArray{1, 333, 4096, 17, 999}}},
    };
    server.Script(QJsonObject{{"path", QString::fromStdString(path)},
                              {"kind", "quintrel"},
                              {"packets", packets},
                              {"avg_bitrate", 64000},
                              {"piece", 777}});
    const std::string url = "qint" + server.Url(path).substr(4);
    const double before = GetTimeOfDaySeconds();
    player_->Play(url);
    ASSERT_TRUE(RunUntil([&] { return Ended(); }));
    // Every callback carries the URL as given, qint:// included.
    EXPECT_EQ(recorder_.States(url), (std::vector<std::pair<int, int>>{{1, 2}, {1, 3}, {3, 4}, {4, 5}, {5, 1}}));
    EXPECT_TRUE(recorder_.Of("error").empty());
    const auto meta = recorder_.Of("meta");
    ASSERT_EQ(meta.size(), 2u);
    EXPECT_EQ(meta[0].text, "<metadata><song><name>Some Song</name><artist>Some Artist</artist></song></metadata>");
    EXPECT_EQ(meta[1].text, "<metadata><song><name>X</name></song></metadata>");
    // Read before any audio: heard about now.
    EXPECT_GE(meta[0].trackStart, before);
    EXPECT_LT(meta[0].trackStart, before + 10);
    const auto position = recorder_.Of("position");
    ASSERT_EQ(position.size(), 1u);
    EXPECT_EQ(position[0].a, 11000);  // 88000 bytes at 8000 bytes/s
    EXPECT_EQ(position[0].b, 22000);
    ExpectMatchesReference(WrittenPcm());
}

TEST_F(PlayRoad, StreamErrorsReachTheListener) {
    TestServer& server = TestServer::Get();
    const std::string prefix = server.NewPrefix();
    struct Row {
        const char* name;
        QJsonObject script;
        int domain, code;
    } rows[] = {
        {"class 2 packet",
         QJsonObject{{"kind", "quintrel"}, {"packets", QJsonArray{QJsonObject{{"packet", QJsonObject{{"class", 2}}}}}}},
         3, 9},
        {"closed mid-packet",
         QJsonObject{{"kind", "quintrel"},
                     {"content_length", false},
                     {"packets",
                      QJsonArray{QJsonObject{{"raw_b64", QString(QByteArray("\x5A\x00\x70\x00\x03", 5).toBase64())}}}}},
         3, 8},
        {"404", QJsonObject{{"status", 404}, {"reason", "Not Found"}, {"body", "gone"}}, 3, 7},
    };
    for (const Row& r : rows) {
        recorder_.events.clear();
        QJsonObject script = r.script;
        std::string path = prefix + r.name;
        std::replace(path.begin(), path.end(), ' ', '-');
        script["path"] = QString::fromStdString(path);
        server.Script(script);
        const std::string url = server.Url(path);
        player_->Play(url);
        ASSERT_TRUE(RunUntil([&] { return Ended(); })) << r.name;
        const auto errors = recorder_.Of("error");
        ASSERT_EQ(errors.size(), 1u) << r.name;
        EXPECT_EQ(errors[0].a, r.domain) << r.name;
        EXPECT_EQ(errors[0].b, r.code) << r.name;
        ASSERT_FALSE(recorder_.States(url).empty());
        EXPECT_EQ(recorder_.States(url).front(), std::make_pair(1, 2)) << r.name;
    }
}

TEST_F(PlayRoad, ContentTypeFromHeaderLinesInTheBody) {
    TestServer& server = TestServer::Get();
    const std::string path = server.NewPrefix() + "icy";
    std::vector<uint8_t> mp3;
    ASSERT_TRUE(zymtest::ReadFile(FixturePath(kMp3Fixture), mp3));
    QByteArray body("ICY 200 OK\r\ncontent-type: audio/mpeg\r\n\r\n");
    body.append(reinterpret_cast<const char*>(mp3.data()), qsizetype(mp3.size()));
    // Headers arrive a few bytes at a time: a slow server must still get the right chain.
    server.Script(QJsonObject{{"path", QString::fromStdString(path)},
                              {"no_status", true},
                              {"body_b64", QString(body.toBase64())},
                              {"piece", 5},
                              {"rate", 400000}});
    const std::string url = server.Url(path);
    player_->Play(url);
    ASSERT_TRUE(RunUntil([&] { return Ended(); }));
    EXPECT_TRUE(recorder_.Of("error").empty());
    ExpectMatchesReference(WrittenPcm());
}

// A stop never reports an error of its own making, and returns promptly wherever the
// stream is: connecting to a silent server, waiting on a stalled one, or playing.
TEST_F(PlayRoad, StopIsQuietAndPrompt) {
    TestServer& server = TestServer::Get();
    const std::string prefix = server.NewPrefix();
    struct Row {
        const char* name;
        QJsonObject script;
        int waitForState;
    } rows[] = {
        {"silent", QJsonObject{{"silent", true}}, 2},
        {"quintrel stalled",
         QJsonObject{{"kind", "quintrel"},
                     {"stall_after", 2000},
                     {"content_length", false},
                     {"packets", QJsonArray{QJsonObject{{"audio", FileAudio(kMp3Fixture)}, {"codec", "mp3"}}}}},
         3},
        {"playing",
         QJsonObject{{"headers", QJsonArray{QJsonArray{"Content-Type", "audio/mpeg"}}},
                     {"file", kMp3Fixture},
                     {"repeat", true},
                     {"rate", 16000}},
         5},
    };
    for (const Row& r : rows) {
        recorder_.events.clear();
        QJsonObject script = r.script;
        std::string path = prefix + r.name;
        std::replace(path.begin(), path.end(), ' ', '-');
        script["path"] = QString::fromStdString(path);
        server.Script(script);
        const std::string url = server.Url(path);
        player_->Play(url);
        ASSERT_TRUE(RunUntil([&] { return player_->GetPlayState() == r.waitForState; })) << r.name;
        if (r.waitForState == 2) platform::RunLoop::Current().RunFor(200ms);
        const auto start = std::chrono::steady_clock::now();
        player_->Stop();
        EXPECT_LT(std::chrono::steady_clock::now() - start, zymtest::Scaled(1s)) << r.name;
        platform::RunLoop::Current().RunFor(100ms);
        EXPECT_TRUE(recorder_.Of("error").empty()) << r.name;
        EXPECT_FALSE(player_->IsPlaying());
    }
}

TEST_F(PlayRoad, PlayingAnotherUrlStopsTheFirst) {
    TestServer& server = TestServer::Get();
    const std::string prefix = server.NewPrefix();
    for (const char* name : {"a", "b"}) {
        server.Script(QJsonObject{{"path", QString::fromStdString(prefix + name)},
                                  {"headers", QJsonArray{QJsonArray{"Content-Type", "audio/mpeg"}}},
                                  {"file", kMp3Fixture},
                                  {"repeat", true},
                                  {"rate", 16000}});
    }
    const std::string a = server.Url(prefix + "a"), b = server.Url(prefix + "b");
    player_->Play(a);
    ASSERT_TRUE(RunUntil([&] { return player_->GetPlayState() == 5; }));
    player_->Play(b);
    ASSERT_TRUE(RunUntil([&] { return !recorder_.States(b).empty() && recorder_.States(b).back().second == 5; }));
    // A's stop is its last word: after B's first callback nothing more of A arrives.
    size_t firstB = 0;
    while (recorder_.events[firstB].url != b)
        ++firstB;
    for (size_t i = firstB; i < recorder_.events.size(); ++i) {
        if (recorder_.events[i].url == a) {
            EXPECT_EQ(recorder_.events[i].kind, "state");
            EXPECT_EQ(recorder_.events[i].b, 1);
        }
    }
    EXPECT_EQ(recorder_.States(a).back().second, 1);
    EXPECT_TRUE(recorder_.Of("error").empty());
}

// VLB audio in Quintrel packets (the wrapper starts with the VLB decoder); the same
// station trickled, so that the decoder waits out empty reads without taking them for the
// end of its input.
TEST_F(PlayRoad, QuintrelVlbStationPlays) {
    TestServer& server = TestServer::Get();
    const std::string vlb = zymtest::DataPath("vlb/stereo44k.aac");
    std::vector<uint8_t> adts;
    ASSERT_TRUE(zymtest::ReadFile(vlb, adts));
    const QString audio =
        QString(QByteArray(reinterpret_cast<const char*>(adts.data()), qsizetype(adts.size())).toBase64());
    for (bool trickle : {false, true}) {
        recorder_.events.clear();
        const std::string path = server.NewPrefix() + (trickle ? "trickled" : "vlb");
        QJsonObject script{{"path", QString::fromStdString(path)},
                           {"kind", "quintrel"},
                           {"packets", QJsonArray{QJsonObject{{"audio", QJsonObject{{"body_b64", audio}}},
                                                              {"codec", "vlb"},
                                                              {"split", QJsonArray{700, 13, 2000}}}}}};
        if (trickle) script["trickle"] = QJsonObject{{"bytes", 1500}, {"interval_ms", 60}};
        server.Script(script);
        const std::string url = server.Url(path);
        player_->Play(url);
        ASSERT_TRUE(RunUntil([&] { return Ended(); }, 60s));
        EXPECT_TRUE(recorder_.Of("error").empty());
        ASSERT_FALSE(recorder_.States(url).empty());
        EXPECT_EQ(recorder_.States(url).back().second, 1);
        // Underruns of the trickled stream put silence between the frames; compare the
        // steady one only.
        if (!trickle) ExpectMatchesReference(WrittenPcm(), vlb, 3);
    }
}

// A station whose VLB audio changes rate and channel count mid-stream: the new format is
// announced to the output, so both parts play for their own length, not sped up or slowed.
TEST_F(PlayRoad, VlbFormatChangeMidStreamKeepsTheSpeed) {
    TestServer& server = TestServer::Get();
    QJsonArray packets;
    double seconds = 0;
    for (const char* name : {"vlb/mono16k.aac", "vlb/stereo44k.aac"}) {
        std::vector<uint8_t> adts;
        ASSERT_TRUE(zymtest::ReadFile(zymtest::DataPath(name), adts));
        zymtest::Pcm reference;
        ASSERT_TRUE(zymtest::DecodeWithFfmpeg(zymtest::DataPath(name), reference));
        seconds += double(reference.Frames()) / reference.sampleRate;
        const QString audio =
            QString(QByteArray(reinterpret_cast<const char*>(adts.data()), qsizetype(adts.size())).toBase64());
        packets.append(QJsonObject{{"audio", QJsonObject{{"body_b64", audio}}}, {"codec", "vlb"}, {"split", 1000}});
    }
    const std::string path = server.NewPrefix() + "change";
    server.Script(QJsonObject{{"path", QString::fromStdString(path)}, {"kind", "quintrel"}, {"packets", packets}});
    const std::string url = server.Url(path);
    player_->Play(url);
    ASSERT_TRUE(RunUntil([&] { return Ended(); }, 60s));
    EXPECT_TRUE(recorder_.Of("error").empty());
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(zymtest::ReadFile(wavPath_, bytes));
    uint32_t rate = 0;
    std::memcpy(&rate, &bytes[24], 4);
    const double played = double(zymtest::TrimSilence(WrittenPcm()).size()) / 2 / rate;
    EXPECT_NEAR(played, seconds, 0.1 * seconds);
}

// AAC stations: audio/aac and audio/aacp (any case) go to the aacPlus decoder; a Quintrel
// station switching from MP3 to aacPlus plays on through the switch.
TEST_F(PlayRoad, AacStationsPlay) {
    TestServer& server = TestServer::Get();
    const std::string prefix = server.NewPrefix();
    const std::string aac = FixturePath("chirp-64k.aac");
    for (const char* type : {"audio/aac", "AUDIO/AACP"}) {
        recorder_.events.clear();
        std::string path = prefix + type;
        std::replace(path.begin(), path.end(), '/', '-');
        path = prefix + path.substr(prefix.size());
        server.Script(QJsonObject{{"path", QString::fromStdString(path)},
                                  {"headers", QJsonArray{QJsonArray{"Content-Type", type}}},
                                  {"file", "chirp-64k.aac"},
                                  {"piece", 1000}});
        const std::string url = server.Url(path);
        player_->Play(url);
        ASSERT_TRUE(RunUntil([&] { return Ended(); })) << type;
        EXPECT_TRUE(recorder_.Of("error").empty()) << type;
        EXPECT_EQ(recorder_.States(url).back().second, 1) << type;
        // The engine runs the decoder with its output limiter on, which ffmpeg does not have:
        // single samples may differ by a few tens of LSB, the whole stays within 1 LSB RMS.
        ExpectMatchesReference(WrittenPcm(), aac, 32, 2048);
    }

    recorder_.events.clear();
    const std::string path = prefix + "switch";
    server.Script(QJsonObject{
        {"path", QString::fromStdString(path)},
        {"kind", "quintrel"},
        {"packets",
         QJsonArray{QJsonObject{{"audio", FileAudio(kMp3Fixture)}, {"codec", "mp3"}, {"split", 900}},
                    QJsonObject{{"audio", FileAudio("chirp-64k.aac")}, {"codec", "aacp"}, {"split", 900}}}}});
    const std::string url = server.Url(path);
    player_->Play(url);
    ASSERT_TRUE(RunUntil([&] { return Ended(); }));
    EXPECT_TRUE(recorder_.Of("error").empty());
    // Both chirps are heard: about six seconds of sound.
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(zymtest::ReadFile(wavPath_, bytes));
    uint32_t rate = 0;
    std::memcpy(&rate, &bytes[24], 4);
    const double played = double(zymtest::TrimSilence(zymtest::DropUnderrunGaps(WrittenPcm())).size()) / 2 / rate;
    EXPECT_NEAR(played, 6.0, 0.5);
}

namespace {

// The first `count` frames of an ADTS stream (each frame carries its length).
std::vector<uint8_t> FirstAdtsFrames(const std::vector<uint8_t>& adts, int count) {
    size_t pos = 0;
    for (int i = 0; i < count && pos + 7 <= adts.size(); ++i) {
        const size_t length = (size_t(adts[pos + 3] & 3) << 11) | (size_t(adts[pos + 4]) << 3) | (adts[pos + 5] >> 5);
        if (length < 7) break;
        pos += length;
    }
    return std::vector<uint8_t>(adts.begin(), adts.begin() + long(std::min(pos, adts.size())));
}

}  // namespace

// HE-AAC stations: spectral band replication (and parametric stereo, where the stream has
// it) through the whole engine, at the output rate and channel count the stream decodes to.
TEST_F(PlayRoad, HeAacStationsPlay) {
    struct Station {
        std::string file;
        int frames;  // a few seconds are enough
        uint32_t rate;
    };
    // HE-AAC v2: a mono core of 16 kHz with SBR and parametric stereo (no 44.1 kHz HE-AAC v2
    // material can be made here: Debian has no HE-AAC encoder).
    std::vector<Station> stations{{zymtest::DataPath("aacplus/ps_baseline_mixed.adts"), 1000, 32000}};
    if (!zymtest::SharedDir().empty())
        stations.push_back({zymtest::SharedDir() + "/vectors/aac/iso14496-4/al_sbr_cm_48_2.adts.aac", 150, 48000});
    TestServer& server = TestServer::Get();
    for (const Station& s : stations) {
        recorder_.events.clear();
        std::vector<uint8_t> adts;
        ASSERT_TRUE(zymtest::ReadFile(s.file, adts)) << s.file;
        adts = FirstAdtsFrames(adts, s.frames);
        const std::string cut = zymtest::TempPath(".aac");
        ASSERT_TRUE(zymtest::WriteFile(cut, adts));
        const std::string path = server.NewPrefix() + "heaac";
        server.Script(QJsonObject{
            {"path", QString::fromStdString(path)},
            {"headers", QJsonArray{QJsonArray{"Content-Type", "audio/aacp"}}},
            {"body_b64",
             QString(QByteArray(reinterpret_cast<const char*>(adts.data()), qsizetype(adts.size())).toBase64())},
            {"piece", 1000}});
        const std::string url = server.Url(path);
        // The file is the station's own, never what the one before left behind.
        std::remove(wavPath_.c_str());
        player_->Play(url);
        ASSERT_TRUE(RunUntil([&] { return Ended(); }, 60s)) << s.file;
        EXPECT_TRUE(recorder_.Of("error").empty()) << s.file;
        const auto states = recorder_.States(url);
        ASSERT_NE(std::find(states.begin(), states.end(), std::make_pair(4, 5)), states.end())
            << s.file << ": nothing was played";
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(zymtest::ReadFile(wavPath_, bytes));
        uint32_t rate = 0;
        std::memcpy(&rate, &bytes[24], 4);
        EXPECT_EQ(rate, s.rate) << s.file;

        zymtest::Pcm reference;
        ASSERT_TRUE(zymtest::DecodeWithFfmpeg(cut, reference)) << "ffmpeg is needed";
        std::remove(cut.c_str());
        ASSERT_EQ(reference.channels, 2);
        // Silent stretches of the stream itself go with the output's underrun gaps.
        const std::vector<int16_t> ours = zymtest::TrimSilence(zymtest::DropUnderrunGaps(WrittenPcm()));
        const std::vector<int16_t> ref = zymtest::TrimSilence(zymtest::DropUnderrunGaps(reference.samples));
        ASSERT_GT(ours.size(), ref.size() * 9 / 10) << s.file;
        const long offset = zymtest::FindOffset(ours, ref, 2, 4096, 20000);
        // SNR over the overlap, leaving out the last frame (cut mid-stream).
        double signal = 0, noise = 0;
        const long frames = long(ours.size() / 2);
        for (long i = 0; i < frames - 2048; ++i) {
            const long j = i + offset;
            if (j < 0 || j >= long(ref.size() / 2)) continue;
            for (int c = 0; c < 2; ++c) {
                const double y = ref[size_t(2 * j + c)], d = double(ours[size_t(2 * i + c)]) - y;
                signal += y * y;
                noise += d * d;
            }
        }
        // The engine's output limiter is on (ffmpeg has none): still within 70 dB here.
        EXPECT_GE(10 * std::log10(signal / std::max(noise, 1e-9)), 70.0) << s.file;
    }
}
