#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>

#include "AudioOutTestSupport.h"
#include "engine/DeviceAudioOut.h"
#include "runtime/LogMessage.h"
#include "platform/audio/AudioSinks.h"

using namespace audiotest;
using Amp::DeviceAudioOut;
using platform::PacedOutputUnit;

namespace {

using Changes = std::vector<std::pair<int, int>>;
const Changes kFullPlay = {{1, 3}, {3, 4}, {4, 5}, {5, 1}};

// A DeviceAudioOut on a hand-stepped WAV sink, its source, its recorder and a stream
// thread that runs the fill loop.
class Harness {
public:
    explicit Harness(const std::string& name, double deviceRate = 0, float low = 0.2f, float high = 0.6f)
        : wav_(TempPath(name + ".wav")) {
        out_ = std::make_unique<DeviceAudioOut>(&recorder, [this, deviceRate](int* status) {
            *status = 0;
            auto unit =
                std::make_unique<platform::WavOutputUnit>(wav_, PacedOutputUnit::Options{1.0, true, deviceRate, 512});
            unit_.store(unit.get());
            return std::unique_ptr<platform::AudioOutputUnit>(std::move(unit));
        });
        out_->SetVolume(1.0f);
        out_->SetBufferingLevels(low, high);
        source = std::make_unique<PcmSource>(out_.get());
        out_->SetSource(source.get());
    }
    ~Harness() { Join(); }

    DeviceAudioOut& out() { return *out_; }
    PacedOutputUnit* unit() { return unit_.load(); }

    void Start() {
        thread_ = std::thread([this] {
            try {
                out_->Run();
            } catch (const Amp::player_exception& e) {
                error_ = {e.domain, e.code};
            }
            returned_.store(true);
        });
    }
    void Join() {
        if (thread_.joinable()) thread_.join();
    }
    // Whether Run returns within `ms`: a test fails here rather than hanging in a join.
    bool Returns(int ms = 10000) {
        if (!WaitUntil([&] { return returned_.load(); }, ms)) return false;
        Join();
        return true;
    }
    bool WaitForState(int state, int ms = 5000) {
        return WaitUntil([&] { return out_->GetState() == state; }, ms);
    }
    // Steps the device in blocks of 512 frames until the output stops by itself. A step
    // waits for the fill loop to have refilled (the hand-stepped device is much faster
    // than real time), so that only a source that stalls makes an underrun.
    // Steps of irregular sizes make the render side cross chunk ends mid-buffer.
    size_t StepToEnd(size_t maxFrames = 10'000'000) {
        static const uint32_t kSteps[] = {512, 300, 1000, 77, 1024, 641};
        size_t frames = 0;
        for (size_t i = 0; out_->GetState() != Amp::kAudioOutStopped && frames < maxFrames; ++i) {
            WaitUntil([&] {
                return out_->GetBytesReadable() >= DeviceAudioOut::kChunkSize || out_->IsDataQueuedToEnd() ||
                       out_->GetState() == Amp::kAudioOutStopped;
            });
            frames += unit()->Step(kSteps[i % std::size(kSteps)]);
        }
        return frames;
    }
    // Joins the stream thread, closes the device and returns what it wrote.
    std::vector<float> Finish() {
        Join();
        out_.reset();
        return ReadWav(wav_);
    }
    std::pair<int, int> Error() const { return error_; }

    StateRecorder recorder;
    std::unique_ptr<PcmSource> source;

private:
    std::string wav_;
    std::atomic<PacedOutputUnit*> unit_{nullptr};
    std::unique_ptr<DeviceAudioOut> out_;
    std::thread thread_;
    std::atomic<bool> returned_{false};
    std::pair<int, int> error_{0, 0};
};

// Samples that are never 0, so silence can be told from data.
std::vector<float> FloatRamp(size_t count, float scale = 1.0f) {
    std::vector<float> v(count);
    for (size_t i = 0; i < count; ++i)
        v[i] = scale * (float((i * 7919) % 2001) - 1000.5f) / 1001.0f;
    return v;
}

std::vector<int16_t> IntRamp(size_t count) {
    std::vector<int16_t> v(count);
    for (size_t i = 0; i < count; ++i)
        v[i] = static_cast<int16_t>(int((i * 7919) % 65535) - 32768 + (i % 2 ? 0 : 1));
    for (auto& s : v)
        if (s == 0) s = 1;
    return v;
}

// What the device should play for interleaved input samples: int16 scaled by 1/32768,
// mono on both channels, of more channels the first two.
template <typename T>
std::vector<float> ExpectedStereo(const std::vector<T>& in, unsigned channels) {
    std::vector<float> out;
    const float scale = std::is_same_v<T, int16_t> ? 1.0f / 32768.0f : 1.0f;
    for (size_t f = 0; f < in.size() / channels; ++f) {
        out.push_back(in[f * channels] * scale);
        out.push_back(in[f * channels + (channels > 1 ? 1 : 0)] * scale);
    }
    return out;
}

// The played samples must start with `expected` and be silent afterwards.
void ExpectPlayed(const std::vector<float>& played, const std::vector<float>& expected) {
    ASSERT_GE(played.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        ASSERT_EQ(played[i], expected[i]) << "sample " << i << " (frame " << i / 2 << ")";
    }
    for (size_t i = expected.size(); i < played.size(); ++i)
        ASSERT_EQ(played[i], 0.0f) << "sample " << i;
}

TEST(DeviceAudioOut, PlaysKnownPcmUnchangedInEveryAcceptedLayout) {
    struct Case {
        const char* name;
        AudioStreamBasicDescription format;
        std::vector<unsigned char> bytes;
        std::vector<float> expected;
    };
    const auto f2 = FloatRamp(2 * 30000), f6 = FloatRamp(6 * 9000), f5 = FloatRamp(5 * 9000);
    const auto i2 = IntRamp(2 * 30000), i1 = IntRamp(40000), i3 = IntRamp(3 * 12000);
    const std::vector<Case> cases = {
        {"float stereo: exact", FloatFormat(44100, 2), Bytes(f2), ExpectedStereo(f2, 2)},
        {"int16 stereo: x/32768", Int16Format(44100, 2), Bytes(i2), ExpectedStereo(i2, 2)},
        {"int16 mono: both channels", Int16Format(44100, 1), Bytes(i1), ExpectedStereo(i1, 1)},
        {"int16 3 channels: first two", Int16Format(32000, 3), Bytes(i3), ExpectedStereo(i3, 3)},
        {"float 6 channels: first two", FloatFormat(48000, 6), Bytes(f6), ExpectedStereo(f6, 6)},
        // 20-byte frames do not divide a chunk: chunks are closed at a whole frame.
        {"float 5 channels: first two", FloatFormat(48000, 5), Bytes(f5), ExpectedStereo(f5, 5)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Harness h(std::string("layout-") + std::to_string(&c - cases.data()));
        h.source->Add(c.format, c.bytes);
        h.source->SetMaxRead(4608);  // decoder-sized reads
        h.Start();
        ASSERT_TRUE(h.WaitForState(Amp::kAudioOutPlaying));
        AudioStreamBasicDescription device;
        ASSERT_EQ(h.out().GetOutputFormat(&device), 0);
        EXPECT_EQ(device.mSampleRate, c.format.mSampleRate) << "the sink takes the input's rate: no resampling";
        h.StepToEnd();
        EXPECT_EQ(h.out().GetUnderrunCount(), 0u);
        ExpectPlayed(h.Finish(), c.expected);
        EXPECT_EQ(h.recorder.WaitForChanges(4), kFullPlay);
        EXPECT_TRUE(h.recorder.FiredOnMainThread());
    }
}

std::string ReadFile(const std::string& path) {
    std::string text;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
            text.append(buf, n);
        std::fclose(f);
    }
    return text;
}

TEST(DeviceAudioOut, UnderrunPlaysSilenceThenTheRestInOrder) {
    const std::string log = TempPath("underrun.log");
    InitLogFile(log.c_str(), 2, 0);
    Harness h("underrun");
    const auto data = FloatRamp(2 * 40000);
    h.source->Add(FloatFormat(44100, 2), Bytes(data));
    h.source->StallAt(3 * DeviceAudioOut::kChunkSize);
    h.Start();
    ASSERT_TRUE(h.WaitForState(Amp::kAudioOutPlaying));
    // Play what arrived before the stall, never faster than it is stored.
    while (h.source->StalledReads() == 0 || h.out().GetBytesBuffered() > 0) {
        ASSERT_TRUE(WaitUntil([&] { return h.out().GetBytesReadable() >= 512 * 8 || h.source->StalledReads() > 0; }));
        h.unit()->Step(512);
    }
    for (int i = 0; i < 10; ++i)
        h.unit()->Step(512);
    EXPECT_GT(h.out().GetUnderrunCount(), 0u);
    EXPECT_EQ(ReadFile(log).find("Lacking Data"), std::string::npos) << "the render side writes no log";
    h.source->Release();
    ASSERT_TRUE(WaitUntil([&] { return h.out().GetSecondsBuffered() > 0.1f; }));
    h.StepToEnd();
    const auto played = h.Finish();

    // Data, a stretch of silence, the rest of the data: nothing lost, doubled or swapped.
    const size_t before = 3 * DeviceAudioOut::kChunkSize / 4;
    ASSERT_GT(played.size(), data.size() + 5120 * 2);
    for (size_t i = 0; i < before; ++i)
        ASSERT_EQ(played[i], data[i]) << i;
    size_t gap = before;
    while (gap < played.size() && played[gap] == 0.0f)
        ++gap;
    EXPECT_GE(gap - before, size_t(2 * 5120)) << "silence, not garbage, on the underrun";
    for (size_t i = before; i < data.size(); ++i)
        ASSERT_EQ(played[gap + i - before], data[i]) << i;
    EXPECT_EQ(h.recorder.WaitForChanges(4), kFullPlay);
    // The fill loop logs the underrun once it runs again.
    const std::string text = ReadFile(log);
    EXPECT_NE(text.find("CoreAudioOut::CoreAudioFillBufferCallback Lacking Data Error!\n"), std::string::npos) << text;
    EXPECT_NE(text.find("CoreAudioOut::SupplyBuffersForPCMConverter need 512, only have 0 packets available\n"),
              std::string::npos)
        << text;
}

TEST(DeviceAudioOut, VolumeChangeIsRampedAcrossOneBuffer) {
    Harness h("volume");
    h.source->Add(FloatFormat(44100, 2), Bytes(std::vector<float>(2 * 20000, 0.5f)));
    h.Start();
    ASSERT_TRUE(h.WaitForState(Amp::kAudioOutPlaying));
    h.unit()->Step(512);
    h.out().SetVolume(0.25f);
    EXPECT_FLOAT_EQ(h.out().GetVolume(), 0.25f) << "read back from the device";
    h.unit()->Step(512);
    h.unit()->Step(512);
    h.out().Stop();
    const auto played = h.Finish();
    ASSERT_GE(played.size(), size_t(3 * 1024));
    for (size_t i = 0; i < 512; ++i)
        ASSERT_EQ(played[2 * i], 0.5f);
    for (size_t i = 0; i < 512; ++i) {
        const float gain = 1.0f + (0.25f - 1.0f) * float(i + 1) / 512.0f;
        ASSERT_NEAR(played[1024 + 2 * i], 0.5f * gain, 1e-6) << i;
        ASSERT_NEAR(played[1024 + 2 * i + 1], 0.5f * gain, 1e-6) << i;
    }
    for (size_t i = 0; i < 512; ++i)
        ASSERT_FLOAT_EQ(played[2048 + 2 * i], 0.125f);
    EXPECT_EQ(h.recorder.WaitForChanges(4), kFullPlay);
}

TEST(DeviceAudioOut, BufferLevelsFollowTheInputFormat) {
    struct Case {
        AudioStreamBasicDescription format;
        float low, high;
        unsigned lowChunks, highChunks;
    };
    const Case cases[] = {
        {Int16Format(44100, 2), 2, 4, 14, 28},
        {FloatFormat(48000, 6), 2, 4, 93, 187},
        {FloatFormat(22050, 1), 2, 4, 7, 14},
        // Below one chunk the levels are raised: low one chunk, high one more.
        {Int16Format(8000, 1), 0.5f, 1.0f, 1, 2},
        {Int16Format(8000, 1), 0, 0, 1, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.format.mSampleRate) + " Hz, " + std::to_string(c.format.mChannelsPerFrame) +
                     " ch");
        Harness h("levels", 0, c.low, c.high);
        AudioStreamBasicDescription device;
        EXPECT_EQ(h.out().GetOutputFormat(&device), -50);
        EXPECT_EQ(h.out().GetSecondsBuffered(), 0.0f);
        EXPECT_EQ(h.out().GetLowByteLevel(), 0u);
        ASSERT_EQ(h.out().SetInputFormat(c.format), 0);
        EXPECT_EQ(h.out().GetLowByteLevel(), c.lowChunks * DeviceAudioOut::kChunkSize);
        EXPECT_EQ(h.out().GetHighByteLevel(), c.highChunks * DeviceAudioOut::kChunkSize);
        // Room for the high level plus the chunk being written, whatever the format.
        EXPECT_GE(h.out().GetRingChunkCount(), c.highChunks + 1);
        ASSERT_EQ(h.out().GetOutputFormat(&device), 0);
        EXPECT_EQ(device.mChannelsPerFrame, 2u);
        EXPECT_EQ(device.mFormatFlags & kAudioFormatFlagIsFloat, kAudioFormatFlagIsFloat);
        float low = 0, high = 0;
        h.out().GetBufferingLevels(&low, &high);
        EXPECT_EQ(low, c.low);
        EXPECT_EQ(high, c.high);
    }
}

TEST(DeviceAudioOut, PrebuffersToTheLowLevelThenStarts) {
    Harness h("prebuffer", 0, 2.0f, 4.0f);
    h.source->Add(Int16Format(44100, 2), Bytes(IntRamp(2 * 44100 * 6)));
    h.Start();
    ASSERT_TRUE(h.WaitForState(Amp::kAudioOutPlaying));
    // Nobody pulls yet: the ring holds exactly the low level, 14 chunks.
    EXPECT_FLOAT_EQ(h.out().GetSecondsBuffered(), 14.0f * 24576.0f / 176400.0f);
    h.out().Stop();
    h.Join();
    EXPECT_TRUE(h.out().IsStopped());
    EXPECT_FALSE(h.out().IsPlaying());
    EXPECT_EQ(h.recorder.WaitForChanges(4), kFullPlay);
}

TEST(DeviceAudioOut, FormatSwitchChangesConverterWhereTheNewPcmBegins) {
    for (unsigned maxRead : {4608u, 1u << 20}) {
        SCOPED_TRACE("reads of at most " + std::to_string(maxRead));
        Harness h("switch");
        const auto a = IntRamp(2 * 10001), c = IntRamp(2 * 7000);
        const auto b = FloatRamp(9003, 0.5f);
        h.source->Add(Int16Format(44100, 2), Bytes(a));
        h.source->Add(FloatFormat(44100, 1), Bytes(b), /*announce after bytes, as MP3 does*/ true);
        h.source->Add(Int16Format(44100, 2), Bytes(c));
        h.source->SetMaxRead(maxRead);
        h.Start();
        ASSERT_TRUE(h.WaitForState(Amp::kAudioOutPlaying));
        h.StepToEnd();
        auto expected = ExpectedStereo(a, 2);
        for (float s : ExpectedStereo(b, 1))
            expected.push_back(s);
        for (float s : ExpectedStereo(c, 2))
            expected.push_back(s);
        ExpectPlayed(h.Finish(), expected);
    }
}

// The device pulls from its own thread at 4 x real time, as the null and WAV sinks do
// in the program: every frame arrives, in order. An underrun on a loaded machine may
// put silence between frames, never lose or move one.
TEST(DeviceAudioOut, PacedDevicePlaysEverythingInOrder) {
    const std::string wav = TempPath("paced.wav");
    StateRecorder recorder;
    const auto data = FloatRamp(2 * 44100);
    {
        DeviceAudioOut out(&recorder, [&](int* status) {
            *status = 0;
            return std::unique_ptr<platform::AudioOutputUnit>(
                new platform::WavOutputUnit(wav, PacedOutputUnit::Options{4.0, false, 0, 512}));
        });
        out.SetVolume(1.0f);
        out.SetBufferingLevels(0.5f, 1.0f);
        PcmSource source(&out);
        source.Add(FloatFormat(44100, 2), Bytes(data));
        source.SetMaxRead(4096);
        out.SetSource(&source);
        std::thread stream([&] { out.Run(); });
        stream.join();  // returns after the play-out
        EXPECT_EQ(out.GetState(), Amp::kAudioOutStopped);
    }
    EXPECT_EQ(recorder.WaitForChanges(4), kFullPlay);
    std::vector<float> played;
    for (float s : ReadWav(wav))
        if (s != 0.0f) played.push_back(s);
    EXPECT_EQ(played, data);
}

// Goertzel power of `freq` relative to the signal's power: near 1 for a pure tone.
double ToneShare(const std::vector<float>& x, size_t channel, double rate, double freq, size_t from, size_t to) {
    const double w = 2 * M_PI * freq / rate;
    double s1 = 0, s2 = 0, energy = 0;
    for (size_t i = from; i < to; ++i) {
        const double v = x[2 * i + channel];
        const double s = v + 2 * std::cos(w) * s1 - s2;
        s2 = s1;
        s1 = s;
        energy += v * v;
    }
    const double power = s1 * s1 + s2 * s2 - 2 * std::cos(w) * s1 * s2;
    return power / (energy * (to - from) / 2);
}

TEST(DeviceAudioOut, ResamplesARateTheDeviceRefuses) {
    Harness h("resample", /*device only takes*/ 48000);
    std::vector<int16_t> tone(22050);
    for (size_t i = 0; i < tone.size(); ++i)
        tone[i] = static_cast<int16_t>(16384 * std::sin(2 * M_PI * 1000 * i / 22050.0));
    h.source->Add(Int16Format(22050, 1), Bytes(tone));
    h.Start();
    ASSERT_TRUE(h.WaitForState(Amp::kAudioOutPlaying));
    h.StepToEnd();
    const auto played = h.Finish();
    // One second in, one second out at the device's rate (within the resampler's delay).
    size_t last = played.size() / 2;
    while (last > 0 && played[2 * last - 2] == 0.0f)
        --last;
    EXPECT_NEAR(double(last), 48000.0, 300.0);
    for (size_t ch : {0u, 1u}) {
        EXPECT_GT(ToneShare(played, ch, 48000, 1000, 4800, 43200), 0.99) << "a 1 kHz tone stays 1 kHz";
        double energy = 0;
        for (size_t i = 4800; i < 43200; ++i)
            energy += double(played[2 * i + ch]) * played[2 * i + ch];
        EXPECT_NEAR(std::sqrt(energy / 38400), 0.5 / std::sqrt(2.0), 0.01) << "level kept";
    }
}

TEST(DeviceAudioOut, DataEndingWhilePrebufferingIsStillPlayed) {
    {
        SCOPED_TRACE("nothing decoded: stops without a device");
        Harness h("end-empty");
        h.Start();
        h.Join();
        EXPECT_EQ(h.recorder.WaitForChanges(2), (Changes{{1, 3}, {3, 1}}));
        AudioStreamBasicDescription device;
        EXPECT_EQ(h.out().GetOutputFormat(&device), -50);
        EXPECT_EQ(h.unit(), nullptr);
    }
    {
        SCOPED_TRACE("less than the low level: played out");
        Harness h("end-short", 0, 2.0f, 4.0f);
        const auto data = FloatRamp(2 * 3000);
        h.source->Add(FloatFormat(44100, 2), Bytes(data));
        h.Start();
        ASSERT_TRUE(h.WaitForState(Amp::kAudioOutPlaying));
        h.StepToEnd();
        ExpectPlayed(h.Finish(), data);
        EXPECT_EQ(h.recorder.WaitForChanges(4), kFullPlay);
    }
}

TEST(DeviceAudioOut, StopWakesTheWaitingFillLoop) {
    Harness h("stop-wait");
    h.source->Add(FloatFormat(44100, 2), Bytes(FloatRamp(2 * 44100)));
    h.Start();
    ASSERT_TRUE(h.WaitForState(Amp::kAudioOutPlaying));
    // Nothing pulls from the hand-stepped device: once playing, the loop waits for a wake-up
    // that only the stop can give.
    h.out().Stop();
    if (!h.Returns()) {
        // The thread cannot be joined: end here with the failure instead of hanging.
        std::fprintf(stderr, "the stop did not wake the fill loop\n");
        std::_Exit(1);
    }
    EXPECT_TRUE(h.out().IsStopped());
    EXPECT_EQ(h.recorder.WaitForChanges(4), kFullPlay);
    h.out().Stop();  // a second stop changes nothing
    EXPECT_EQ(h.recorder.WaitForChanges(5, 50).size(), 4u);
}

// While the ring is well fed an empty read makes the fill loop rest, so that the network's
// bytes gather; the device must be able to end that rest once the ring runs low, whatever
// its pace, or a fast device plays the ring dry. The rest here is made far longer than the
// test waits, so only the render side's wake-up can end it.
TEST(DeviceAudioOut, RenderSideEndsTheFillLoopsRestOnceTheRingRunsLow) {
    Harness h("rest-wake");  // low level 0.2 s: two chunks of float stereo at 44.1 kHz
    h.out().SetIdlePauseForTesting(10 * 60 * 1000);
    h.source->Add(FloatFormat(44100, 2), Bytes(FloatRamp(2 * 2 * 44100)));
    constexpr size_t kChunk = DeviceAudioOut::kChunkSize;
    h.source->StallAt(4 * kChunk);
    h.Start();
    ASSERT_TRUE(h.WaitForState(Amp::kAudioOutPlaying));
    // A first pull wakes the fill loop, which reads up to the stall and, well fed, rests.
    h.unit()->Step(512);
    ASSERT_TRUE(WaitUntil([&] { return h.source->StalledReads() > 0; }));
    // The device takes the ring below half the low level (one chunk)...
    for (int i = 0; i < 100 && h.out().GetBytesBuffered() >= kChunk; ++i)
        h.unit()->Step(512);
    ASSERT_LT(h.out().GetBytesBuffered(), kChunk);
    h.source->Release();
    // ...and the fill loop, woken, reads on and refills.
    EXPECT_TRUE(WaitUntil([&] { return h.source->Delivered() > 4 * kChunk; }, 10000))
        << "the fill loop went on resting with " << h.out().GetBytesBuffered() << " bytes in the ring";
    h.out().Stop();
    EXPECT_TRUE(h.Returns()) << "the stop did not end the rest";
}

// Stop at any moment of the start-up: the output always ends at 1 and nothing follows.
TEST(DeviceAudioOut, StopRacingTheStartAlwaysEndsStopped) {
    std::minstd_rand rng(7);
    for (int round = 0; round < 40; ++round) {
        Harness h("race");
        h.source->Add(FloatFormat(44100, 2), Bytes(FloatRamp(2 * 8000)));
        h.Start();
        std::this_thread::sleep_for(std::chrono::microseconds(rng() % 3000));
        h.out().Stop();
        h.Join();
        EXPECT_EQ(h.out().GetState(), Amp::kAudioOutStopped);
        EXPECT_FALSE(h.unit() && h.unit()->IsRunning());
        const auto& changes = h.recorder.WaitForChanges(1, 0);
        if (!changes.empty()) {
            EXPECT_EQ(changes.back().second, 1) << "round " << round;
        }
    }
}

class NoStartUnit : public platform::NullOutputUnit {
public:
    NoStartUnit() : NullOutputUnit(Options{1.0, true}) {}
    int Start() override { return -9999; }
};

TEST(DeviceAudioOut, DeviceThatDoesNotStartIsReportedAsAnError) {
    StateRecorder recorder;
    DeviceAudioOut out(&recorder, [](int* status) {
        *status = 0;
        return std::unique_ptr<platform::AudioOutputUnit>(new NoStartUnit);
    });
    out.SetBufferingLevels(0.05f, 0.1f);
    PcmSource source(&out);
    source.Add(FloatFormat(44100, 2), Bytes(FloatRamp(2 * 44100)));
    out.SetSource(&source);
    try {
        out.Run();
        FAIL() << "no error";
    } catch (const Amp::player_exception& e) {
        EXPECT_EQ(e.domain, 3);
        EXPECT_EQ(e.code, 12);
    }
    EXPECT_EQ(out.GetState(), Amp::kAudioOutPrebuffered);
    out.Stop();  // the stream's error path
    EXPECT_EQ(recorder.WaitForChanges(3), (Changes{{1, 3}, {3, 4}, {4, 1}}));
}

TEST(DeviceAudioOut, RefusesFormatsItCannotPlay) {
    auto f = [](auto edit) {
        AudioStreamBasicDescription d = Int16Format(44100, 2);
        edit(d);
        return d;
    };
    const AudioStreamBasicDescription refused[] = {
        f([](auto& d) {
            d.mBitsPerChannel = 8;
            d.mBytesPerFrame = d.mBytesPerPacket = 2;
        }),  // MP3's 8-bit option
        Int16Format(44100, 7),
        Int16Format(96000, 2),
        Int16Format(4000, 1),
        f([](auto& d) { d.mFormatFlags |= kAudioFormatFlagIsBigEndian; }),
        f([](auto& d) { d.mFormatID = 0x2E6D7033; }),  // '.mp3'
        f([](auto& d) { d.mBytesPerFrame = 3; }),
        [] {
            auto d = FloatFormat(44100, 2);
            d.mFormatFlags |= kAudioFormatFlagIsNonInterleaved;
            return d;
        }(),
        [] {
            auto d = FloatFormat(44100, 2);
            d.mSampleRate = NAN;
            return d;
        }(),
        AudioStreamBasicDescription{},
    };
    Harness h("refused");
    for (const auto& d : refused) {
        EXPECT_NE(h.out().SetInputFormat(d), 0) << d.mChannelsPerFrame << " ch " << d.mSampleRate << " Hz";
    }
    EXPECT_EQ(h.unit(), nullptr) << "no device opened for a refused format";

    StateRecorder recorder;
    DeviceAudioOut none(&recorder, [](int* status) {
        *status = -9405;
        return std::unique_ptr<platform::AudioOutputUnit>();
    });
    EXPECT_EQ(none.SetInputFormat(Int16Format(44100, 2)), -9405);
}

}  // namespace
