#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define ZYM_LSAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZYM_LSAN 1
#endif
#endif
#ifdef ZYM_LSAN
#include <sanitizer/lsan_interface.h>
#endif
#if defined(__SANITIZE_THREAD__)
#define ZYM_TSAN_BUILD 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define ZYM_TSAN_BUILD 1
#endif
#endif

#include "platform/audio/AudioSinks.h"
#include "platform/audio/FormatConverter.h"
#include "support/Env.h"

using namespace platform;

namespace {

// PortAudio probes every ALSA device at start-up, loading and unloading ALSA plugins whose
// start-up allocations are never freed. Not ours: the leak checker ignores what is
// allocated meanwhile.
class IgnoreLibraryLeaks {
public:
#ifdef ZYM_LSAN
    IgnoreLibraryLeaks() { __lsan_disable(); }
    ~IgnoreLibraryLeaks() { __lsan_enable(); }
#else
    IgnoreLibraryLeaks() {}
    ~IgnoreLibraryLeaks() {}
#endif
};

AudioStreamBasicDescription Pcm(double rate, uint32_t channels, bool isFloat) {
    AudioStreamBasicDescription f;
    f.mSampleRate = rate;
    f.mFormatID = kAudioFormatLinearPCM;
    f.mFormatFlags = isFloat ? (kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked) : kAudioFormatFlagIsSignedInteger;
    f.mBitsPerChannel = isFloat ? 32 : 16;
    f.mChannelsPerFrame = channels;
    f.mBytesPerFrame = f.mBytesPerPacket = channels * (isFloat ? 4 : 2);
    f.mFramesPerPacket = 1;
    return f;
}

std::string TempFile(const std::string& name) {
    auto dir = std::filesystem::temp_directory_path() / ("zym-sinks-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    return (dir / name).string();
}

TEST(FormatConverter, MakesStereoFloatFromEveryAcceptedLayout) {
    struct Case {
        const char* name;
        AudioStreamBasicDescription format;
        std::vector<float> floats;    // input when float
        std::vector<int16_t> ints;    // input when int16
        std::vector<float> expected;  // two frames of stereo
    };
    const Case cases[] = {
        {"int16 mono to both", Pcm(44100, 1, false), {}, {-32768, 16384}, {-1.0f, -1.0f, 0.5f, 0.5f}},
        {"int16 stereo scaled",
         Pcm(44100, 2, false),
         {},
         {32767, -1, 1, 0},
         {32767 / 32768.0f, -1 / 32768.0f, 1 / 32768.0f, 0}},
        {"int16 3 ch: first two",
         Pcm(44100, 3, false),
         {},
         {1, 2, 3, 4, 5, 6},
         {1 / 32768.0f, 2 / 32768.0f, 4 / 32768.0f, 5 / 32768.0f}},
        {"float mono to both", Pcm(22050, 1, true), {0.25f, -2.0f}, {}, {0.25f, 0.25f, -2.0f, -2.0f}},
        {"float stereo unchanged", Pcm(48000, 2, true), {0.1f, 0.2f, 0.3f, 0.4f}, {}, {0.1f, 0.2f, 0.3f, 0.4f}},
        {"float 6 ch: first two", Pcm(48000, 6, true), {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, {}, {1, 2, 7, 8}},
        {"float NaN and infinity silenced", Pcm(44100, 2, true), {NAN, -INFINITY, INFINITY, 0.5f}, {}, {0, 0, 0, 0.5f}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(IsSupportedInputFormat(c.format));
        // One byte off alignment, as PCM can sit anywhere in a ring chunk.
        std::vector<unsigned char> bytes(1 + c.floats.size() * 4 + c.ints.size() * 2);
        if (!c.floats.empty()) std::memcpy(bytes.data() + 1, c.floats.data(), c.floats.size() * 4);
        if (!c.ints.empty()) std::memcpy(bytes.data() + 1, c.ints.data(), c.ints.size() * 2);
        std::vector<float> out(4, 99.0f);
        ConvertToStereoFloat(c.format, bytes.data() + 1, 2, out.data());
        EXPECT_EQ(out, c.expected);
    }
}

TEST(FormatConverter, AcceptsOnlyWhatItCanConvert) {
    auto edit = [](AudioStreamBasicDescription f, auto change) {
        change(f);
        return f;
    };
    const std::pair<AudioStreamBasicDescription, bool> cases[] = {
        {Pcm(8000, 1, false), true},
        {Pcm(48000, 6, true), true},
        {Pcm(7999, 1, false), false},
        {Pcm(48001, 2, false), false},
        {Pcm(44100, 0, true), false},
        {Pcm(44100, 7, true), false},
        {edit(Pcm(44100, 2, false),
              [](auto& f) {
                  f.mBitsPerChannel = 8;
                  f.mBytesPerFrame = f.mBytesPerPacket = 2;
              }),
         false},
        {edit(Pcm(44100, 2, false),
              [](auto& f) {
                  f.mBitsPerChannel = 24;
                  f.mBytesPerFrame = f.mBytesPerPacket = 6;
              }),
         false},
        {edit(Pcm(44100, 2, false), [](auto& f) { f.mFormatFlags = 0; }), false},  // unsigned
        {edit(Pcm(44100, 2, true),
              [](auto& f) {
                  f.mBitsPerChannel = 64;
                  f.mBytesPerFrame = f.mBytesPerPacket = 16;
              }),
         false},
        {edit(Pcm(44100, 2, true), [](auto& f) { f.mFormatFlags |= kAudioFormatFlagIsNonInterleaved; }), false},
        {edit(Pcm(44100, 2, true), [](auto& f) { f.mFormatFlags |= kAudioFormatFlagIsBigEndian; }), false},
        {edit(Pcm(44100, 2, true), [](auto& f) { f.mFramesPerPacket = 1152; }), false},
        {edit(Pcm(44100, 2, true), [](auto& f) { f.mBytesPerPacket = 4; }), false},
        {edit(Pcm(44100, 2, true), [](auto& f) { f.mSampleRate = INFINITY; }), false},
    };
    for (const auto& [format, accepted] : cases) {
        EXPECT_EQ(IsSupportedInputFormat(format), accepted)
            << format.mSampleRate << " Hz, " << format.mChannelsPerFrame << " ch, " << format.mBitsPerChannel
            << " bits, flags " << format.mFormatFlags;
    }
}

// Render callback handing out a running count, so the file shows every frame in order.
struct Counter {
    std::atomic<uint32_t> next{0};
    std::atomic<int> calls{0};
    std::atomic<bool> onOtherThread{false};
    std::thread::id testThread = std::this_thread::get_id();
    static int Render(void* refCon, float* out, uint32_t frames) {
        auto* self = static_cast<Counter*>(refCon);
        for (uint32_t i = 0; i < frames; ++i) {
            const float v = float(self->next.fetch_add(1));
            out[2 * i] = v;
            out[2 * i + 1] = -v;
        }
        self->calls.fetch_add(1);
        if (std::this_thread::get_id() != self->testThread) self->onOtherThread.store(true);
        { std::lock_guard<std::mutex> lock(self->mutex); }
        self->pulled.notify_all();
        return 0;
    }
    // Waits for pulls until `done` holds; the sink counts a pull just after it returns, so
    // the wait looks again a little later when a pull woke it too early.
    template <class Done>
    bool WaitUntil(Done done, std::chrono::milliseconds bound) {
        const auto end = std::chrono::steady_clock::now() + bound;
        std::unique_lock<std::mutex> lock(mutex);
        while (!done()) {
            if (std::chrono::steady_clock::now() >= end) return false;
            pulled.wait_for(lock, std::chrono::milliseconds(10));
        }
        return true;
    }
    std::mutex mutex;
    std::condition_variable pulled;
};

uint32_t LE32(const unsigned char* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

TEST(AudioSinks, WavSinkWritesExactlyWhatItPulled) {
    const std::string path = TempFile("pulled.wav");
    Counter counter;
    {
        WavOutputUnit unit(path, PacedOutputUnit::Options{1.0, true, 0, 512});
        ASSERT_EQ(unit.Initialize(22050), 0);
        EXPECT_EQ(unit.StreamFormat().mSampleRate, 22050);
        unit.SetRenderCallback(&Counter::Render, &counter);
        EXPECT_EQ(unit.Step(100), 0u) << "not started";
        ASSERT_EQ(unit.Start(), 0);
        EXPECT_EQ(unit.Step(1000), 1000u);  // more than a block
        EXPECT_EQ(unit.Step(7), 7u);
        ASSERT_EQ(unit.Stop(), 0);
        EXPECT_EQ(unit.Step(10), 0u) << "stopped";
        ASSERT_EQ(unit.Start(), 0);  // a restart appends
        EXPECT_EQ(unit.Step(3), 3u);
        EXPECT_EQ(unit.FramesRendered(), 1010u);
    }
    std::FILE* f = std::fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    std::vector<unsigned char> file(44 + 1010 * 8 + 16);
    file.resize(std::fread(file.data(), 1, file.size(), f));
    std::fclose(f);
    ASSERT_EQ(file.size(), 44u + 1010 * 8);
    EXPECT_EQ(std::memcmp(file.data(), "RIFF", 4), 0);
    EXPECT_EQ(LE32(&file[4]), 36u + 1010 * 8);
    EXPECT_EQ(std::memcmp(&file[8], "WAVEfmt ", 8), 0);
    EXPECT_EQ(file[20] | file[21] << 8, 3) << "IEEE float";
    EXPECT_EQ(file[22] | file[23] << 8, 2) << "stereo";
    EXPECT_EQ(LE32(&file[24]), 22050u);
    EXPECT_EQ(file[34] | file[35] << 8, 32);
    EXPECT_EQ(LE32(&file[40]), 1010u * 8);
    for (uint32_t i = 0; i < 1010; ++i) {
        float l, r;
        std::memcpy(&l, &file[44 + 8 * i], 4);
        std::memcpy(&r, &file[48 + 8 * i], 4);
        ASSERT_EQ(l, float(i));
        ASSERT_EQ(r, -float(i));
    }
}

TEST(AudioSinks, PacedSinkPullsFromItsOwnThreadUntilStopped) {
    Counter counter;
    NullOutputUnit unit(PacedOutputUnit::Options{20.0, false, 0, 256});  // 20 x real time
    ASSERT_EQ(unit.Initialize(44100), 0);
    unit.SetRenderCallback(&Counter::Render, &counter);
    ASSERT_EQ(unit.Start(), 0);
    EXPECT_EQ(unit.Step(256), 0u) << "a paced sink is not stepped by hand";
    EXPECT_TRUE(unit.IsRunning());
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (unit.FramesRendered() < 44100 && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_EQ(unit.Stop(), 0);
    EXPECT_FALSE(unit.IsRunning());
    EXPECT_GE(unit.FramesRendered(), 44100u);
    EXPECT_TRUE(counter.onOtherThread.load());
    const int calls = counter.calls.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(counter.calls.load(), calls) << "no pull after Stop returned";
    EXPECT_EQ(counter.next.load(), unit.FramesRendered());
}

TEST(AudioSinks, StopDoesNotWaitOutALongBlock) {
    // A minute a block: a stop that slept until the next pull would take that minute.
    Counter counter;
    NullOutputUnit unit(PacedOutputUnit::Options{1.0, false, 8000, 8000 * 60});
    ASSERT_EQ(unit.Initialize(8000), 0);
    unit.SetRenderCallback(&Counter::Render, &counter);
    ASSERT_EQ(unit.Start(), 0);
    counter.WaitUntil([&] { return unit.FramesRendered() > 0; }, zymtest::Scaled(std::chrono::seconds(10)));
    ASSERT_GT(unit.FramesRendered(), 0u);
    const auto before = std::chrono::steady_clock::now();
    ASSERT_EQ(unit.Stop(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - before, zymtest::Scaled(std::chrono::seconds(20)));
    EXPECT_EQ(unit.FramesRendered(), 8000u * 60);
}

TEST(AudioSinks, RateIsThePreferredOneUnlessTheDeviceRefusesIt) {
    const std::tuple<double, double, double> cases[] = {
        // fixed rate of the device, preferred rate, resulting rate
        {0, 22050, 22050},     {0, 8000, 8000},       {0, 1000, 44100},  // nonsense asks get the common rate
        {48000, 44100, 48000}, {48000, 48000, 48000},
    };
    for (const auto& [fixed, preferred, result] : cases) {
        NullOutputUnit unit(PacedOutputUnit::Options{1.0, true, fixed});
        ASSERT_EQ(unit.Initialize(preferred), 0);
        const auto f = unit.StreamFormat();
        EXPECT_EQ(f.mSampleRate, result) << fixed << " / " << preferred;
        EXPECT_EQ(f.mChannelsPerFrame, 2u);
        EXPECT_EQ(f.mBytesPerFrame, 8u);
        EXPECT_EQ(f.mFormatFlags & kAudioFormatFlagIsFloat, kAudioFormatFlagIsFloat);
    }
}

TEST(AudioSinks, VolumeReadsBackWithinZeroToOneAndScalesTheOutput) {
    const std::pair<float, float> cases[] = {{0.5f, 0.5f}, {-1.0f, 0.0f}, {2.0f, 1.0f}, {NAN, 0.0f}, {0.0f, 0.0f}};
    for (const auto& [set, read] : cases) {
        NullOutputUnit unit(PacedOutputUnit::Options{1.0, true});
        unit.SetVolume(set);
        EXPECT_EQ(unit.GetVolume(), read) << set;
    }
    // Set before start: the first buffer is already at that gain (no ramp from 1).
    const std::string path = TempFile("volume.wav");
    Counter counter;
    {
        WavOutputUnit unit(path, PacedOutputUnit::Options{1.0, true});
        ASSERT_EQ(unit.Initialize(44100), 0);
        unit.SetRenderCallback(&Counter::Render, &counter);
        unit.SetVolume(0.5f);
        ASSERT_EQ(unit.Start(), 0);
        unit.Step(64);
    }
    std::FILE* f = std::fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    std::vector<float> s(128);
    std::fseek(f, 44, SEEK_SET);
    ASSERT_EQ(std::fread(s.data(), 4, 128, f), 128u);
    std::fclose(f);
    for (int i = 0; i < 64; ++i)
        ASSERT_EQ(s[2 * i], 0.5f * i);
}

TEST(AudioSinks, OutputIsChosenByItsName) {
    int status = 1;
    auto null = OpenAudioOutputUnit("null", 1.0, &status);
    ASSERT_NE(null, nullptr);
    EXPECT_EQ(status, 0);
    EXPECT_STREQ(null->Name(), "null");

    const std::string path = TempFile("named.wav");
    auto wav = OpenAudioOutputUnit("wav:" + path, 1.0, &status);
    ASSERT_NE(wav, nullptr);
    EXPECT_STREQ(wav->Name(), "wav");
    EXPECT_EQ(wav->Initialize(44100), 0);
    EXPECT_TRUE(std::filesystem::exists(path));

    for (const char* unknown : {"wav:", "alsa", "nul"}) {
        status = 0;
        EXPECT_EQ(OpenAudioOutputUnit(unknown, 1.0, &status), nullptr) << unknown;
        EXPECT_EQ(status, kAudioStatusNoDefaultOutput) << unknown;
    }

    // Without a sound card (and no sound server) portaudio is "no default output" and the
    // default falls back to the null sink. (Not under ThreadSanitizer: probing loads
    // libpulse, which is not instrumented and shows races that are not.)
#ifndef ZYM_TSAN_BUILD
    bool device;
    {
        IgnoreLibraryLeaks ignore;
        device = PortAudioOutputUnit::HasDefaultDevice();
    }
    if (!device) {
        IgnoreLibraryLeaks ignore;
        EXPECT_EQ(OpenAudioOutputUnit("portaudio", 1.0, &status), nullptr);
        EXPECT_EQ(status, kAudioStatusNoDefaultOutput);
        auto fallback = OpenAudioOutputUnit("", 1.0, &status);
        ASSERT_NE(fallback, nullptr);
        EXPECT_STREQ(fallback->Name(), "null");
    }
#endif

    // A WAV path that cannot be written fails at initialisation, not later.
    auto bad = OpenAudioOutputUnit("wav:/nonexistent-dir/x.wav", 1.0, &status);
    ASSERT_NE(bad, nullptr);
    EXPECT_NE(bad->Initialize(44100), 0);
}

}  // namespace
