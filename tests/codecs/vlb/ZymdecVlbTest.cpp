// zymdec --codec vlb: whole-file decodes of the ADTS fixtures against ffmpeg's decoder
// (bound: RMS <= 1 LSB and max <= 3 LSB per channel after the output stage's 10-sample
// delay), its raw output, its exit codes and how it reports damaged streams.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "VlbTestSupport.h"
#include "support/Pcm.h"
#include "support/Zymdec.h"

namespace {

using zymtest::HaveZymdec;
using zymtest::Quote;
using zymtest::Slurp;
using zymtest::Zym;
using zymtest::Zymdec;
using zymtest::ZymResult;

struct Case {
    const char* file;
    int rate;
    int channels;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.file; }

class ZymdecVlbReference : public ::testing::TestWithParam<Case> {};

TEST_P(ZymdecVlbReference, WavMatchesFfmpeg) {
    if (!HaveZymdec()) GTEST_SKIP() << "zymdec not built in " << Zymdec();
    const Case& c = GetParam();
    const std::string in = vlbtest::FixturePath(c.file);
    const std::string wav = zymtest::TempPath(".wav");
    const ZymResult r = Zym("--codec vlb " + Quote(in) + " " + Quote(wav));
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "AAC ADTS, " + std::to_string(c.rate) + " Hz, " + std::to_string(c.channels) +
                         (c.channels == 1 ? " channel\n" : " channels\n"));
    EXPECT_EQ(r.err, "");
    zymtest::Pcm ours;
    ASSERT_TRUE(zymtest::ReadWav(wav, ours));
    std::remove(wav.c_str());
    EXPECT_EQ(ours.sampleRate, c.rate);
    ASSERT_EQ(ours.channels, c.channels);

    if (!zymtest::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
    zymtest::Pcm ref;
    ASSERT_TRUE(zymtest::DecodeWithFfmpeg(in, ref));
    ASSERT_EQ(ref.channels, c.channels);
    const long offset = zymtest::FindOffset(ours.samples, ref.samples, c.channels, 1100);
    EXPECT_EQ(offset, -10);  // the output stage's look-ahead
    for (int k = 0; k < c.channels; ++k) {
        std::vector<int16_t> a, b;
        for (size_t i = static_cast<size_t>(k); i < ours.samples.size(); i += static_cast<size_t>(c.channels))
            a.push_back(ours.samples[i]);
        for (size_t i = static_cast<size_t>(k); i < ref.samples.size(); i += static_cast<size_t>(c.channels))
            b.push_back(ref.samples[i]);
        const zymtest::PcmDiff d = zymtest::Compare(a, b, 1, offset);
        std::printf("%s channel %d: rms %.3f LSB, max %d LSB over %zu samples\n", c.file, k, d.rms, d.maxAbs,
                    d.compared);
        EXPECT_LE(d.rms, 1.0) << "channel " << k;
        EXPECT_LE(d.maxAbs, 3) << "channel " << k;
        EXPECT_GT(d.compared, b.size() - 20) << "channel " << k << ": output too short";
    }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ZymdecVlbReference,
                         ::testing::Values(Case{"mono16k.aac", 16000, 1}, Case{"stereo22k.aac", 22050, 2},
                                           Case{"mono24k.aac", 24000, 1}, Case{"stereo32k.aac", 32000, 2},
                                           Case{"stereo44k.aac", 44100, 2}, Case{"mono48k.aac", 48000, 1},
                                           Case{"stereo48k_is.aac", 48000, 2}),
                         [](const auto& info) {
                             const std::string n = info.param.file;
                             return n.substr(0, n.find('.'));
                         });

TEST(ZymdecVlb, RawIsTheWavDataAndVerboseListsEveryStatus) {
    if (!HaveZymdec()) GTEST_SKIP() << "zymdec not built in " << Zymdec();
    const std::string in = vlbtest::FixturePath("stereo44k.aac");
    const std::string wav = zymtest::TempPath(".wav");
    const std::string raw = zymtest::TempPath(".raw");
    ASSERT_EQ(Zym("--codec vlb " + Quote(in) + " " + Quote(wav)).code, 0);
    const ZymResult r = Zym("-v --raw --codec vlb " + Quote(in) + " " + Quote(raw));
    ASSERT_EQ(r.code, 0) << r.err;
    zymtest::Pcm pcm;
    std::vector<int16_t> rawSamples;
    ASSERT_TRUE(zymtest::ReadWav(wav, pcm));
    ASSERT_TRUE(zymtest::ReadRaw16(raw, rawSamples));
    EXPECT_FALSE(pcm.samples.empty());
    EXPECT_EQ(rawSamples, pcm.samples);
    EXPECT_EQ(r.err.rfind("init: 0 (ok)\n", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("decode: 0 (ok)"), std::string::npos);
    EXPECT_NE(r.err.find("decode: 5 (end of input)"), std::string::npos);
    std::remove(wav.c_str());
    std::remove(raw.c_str());
}

TEST(ZymdecVlb, ExitCodes) {
    if (!HaveZymdec()) GTEST_SKIP() << "zymdec not built in " << Zymdec();
    const std::string in = vlbtest::FixturePath("mono16k.aac");
    const std::string out = zymtest::TempPath(".wav");
    const std::string garbage = zymtest::TempPath(".bin");
    const std::string empty = zymtest::TempPath(".aac");
    std::vector<uint8_t> noise(6000);
    for (size_t i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
    ASSERT_TRUE(zymtest::WriteFile(garbage, noise));
    ASSERT_TRUE(zymtest::WriteFile(empty, {}));
    struct {
        std::string args;
        int code;
    } cases[] = {
        {"--codec vlb", 2},
        {"--codec vlb " + Quote(in), 2},
        {"--codec vlb -x " + Quote(in) + " " + Quote(out), 2},
        {Quote(in) + " " + Quote(out), 2},
        {"--codec vlb /nonexistent/in.aac " + Quote(out), 1},
        {"--codec vlb " + Quote(empty) + " " + Quote(out), 1},
        {"--codec vlb " + Quote(garbage) + " " + Quote(out), 1},
        {"--codec vlb " + Quote(in) + " /nonexistent/dir/out.wav", 1},
    };
    for (const auto& c : cases) {
        const ZymResult r = Zym(c.args);
        EXPECT_EQ(r.code, c.code) << c.args << "\n" << r.err;
        EXPECT_FALSE(r.err.empty()) << c.args << ": a failure must say why";
    }
    for (const std::string& p : {out, garbage, empty})
        std::remove(p.c_str());
}

// A frame whose header is destroyed must not pass as a clean decode, but the frames around
// it are still written.
TEST(ZymdecVlb, DamagedFrameIsReportedAndTheRestDecoded) {
    if (!HaveZymdec()) GTEST_SKIP() << "zymdec not built in " << Zymdec();
    const std::string in = vlbtest::FixturePath("stereo44k.aac");
    std::vector<uint8_t> bytes = vlbtest::ReadFile(in);
    ASSERT_GT(bytes.size(), 4000u);
    const std::string clean = zymtest::TempPath(".wav");
    ASSERT_EQ(Zym("--codec vlb " + Quote(in) + " " + Quote(clean)).code, 0);
    // Overwrite the middle of the file with a run of zeros covering at least one header.
    const auto middle = bytes.begin() + static_cast<long>(bytes.size() / 2);
    std::fill(middle, middle + 1000, 0);
    const std::string damaged = zymtest::TempPath(".aac");
    const std::string wav = zymtest::TempPath(".wav");
    ASSERT_TRUE(zymtest::WriteFile(damaged, bytes));
    const ZymResult r = Zym("--codec vlb " + Quote(damaged) + " " + Quote(wav));
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("could not be decoded"), std::string::npos) << r.err;
    zymtest::Pcm full, part;
    ASSERT_TRUE(zymtest::ReadWav(clean, full));
    ASSERT_TRUE(zymtest::ReadWav(wav, part));
    EXPECT_EQ(part.channels, 2);
    EXPECT_GT(part.samples.size(), full.samples.size() / 2);
    EXPECT_LT(part.samples.size(), full.samples.size());
    for (const std::string& p : {clean, damaged, wav})
        std::remove(p.c_str());
}

}  // namespace

namespace {

// Two streams back to back: a WAV has one format, so the first one holds, the change is
// reported, and the later mono stretch goes to both channels without shifting them.
TEST(ZymdecVlb, FormatChangeKeepsTheFirstFormat) {
    if (!HaveZymdec()) GTEST_SKIP() << "zymdec not built in " << Zymdec();
    const std::vector<uint8_t> stereo = vlbtest::ReadFile(vlbtest::FixturePath("stereo44k.aac"));
    const std::vector<uint8_t> mono = vlbtest::ReadFile(vlbtest::FixturePath("mono48k.aac"));
    ASSERT_FALSE(stereo.empty());
    ASSERT_FALSE(mono.empty());
    std::vector<uint8_t> both = stereo;
    both.insert(both.end(), mono.begin(), mono.end());
    const std::string first = zymtest::TempPath(".aac");
    const std::string joined = zymtest::TempPath(".aac");
    const std::string firstWav = zymtest::TempPath(".wav");
    const std::string monoWav = zymtest::TempPath(".wav");
    const std::string joinedWav = zymtest::TempPath(".wav");
    ASSERT_TRUE(zymtest::WriteFile(first, stereo));
    ASSERT_TRUE(zymtest::WriteFile(joined, both));
    ASSERT_EQ(Zym("--codec vlb " + Quote(first) + " " + Quote(firstWav)).code, 0);
    ASSERT_EQ(Zym("--codec vlb " + Quote(vlbtest::FixturePath("mono48k.aac")) + " " + Quote(monoWav)).code, 0);
    const ZymResult r = Zym("--codec vlb " + Quote(joined) + " " + Quote(joinedWav));
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "AAC ADTS, 44100 Hz, 2 channels\n");
    EXPECT_NE(r.err.find("format changed from 44100 Hz, 2 channels to 48000 Hz, 1 channel"), std::string::npos)
        << r.err;
    zymtest::Pcm a, m, j;
    ASSERT_TRUE(zymtest::ReadWav(firstWav, a));
    ASSERT_TRUE(zymtest::ReadWav(monoWav, m));
    ASSERT_TRUE(zymtest::ReadWav(joinedWav, j));
    EXPECT_EQ(j.sampleRate, 44100);
    ASSERT_EQ(j.channels, 2);
    ASSERT_GT(j.samples.size(), a.samples.size());
    EXPECT_TRUE(std::equal(a.samples.begin(), a.samples.end(), j.samples.begin()));
    const size_t tailFrames = j.Frames() - a.Frames();
    EXPECT_GE(tailFrames + 1024, m.Frames()) << "at most the frame of the change may be missing";
    EXPECT_LE(tailFrames, m.Frames());
    size_t unequal = 0;
    for (size_t f = a.Frames(); f < j.Frames(); ++f)
        unequal += j.samples[2 * f] != j.samples[2 * f + 1];
    EXPECT_EQ(unequal, 0u) << "the mono stretch must be on both channels";
    for (const std::string& p : {first, joined, firstWav, monoWav, joinedWav})
        std::remove(p.c_str());
}

}  // namespace
