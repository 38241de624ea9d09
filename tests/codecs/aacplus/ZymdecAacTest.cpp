// zymdec --codec aac: whole-file decodes of the ADTS and LOAS fixtures (format line, WAV
// header, as many samples as ffmpeg's decode, raw output equal to the WAV data), exit codes
// and the verbose status listing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "AacTestUtil.h"
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
    const char* format;
    int rate;
    int channels;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.file; }

class ZymdecAacFixture : public ::testing::TestWithParam<Case> {};

TEST_P(ZymdecAacFixture, DecodesWithTheStreamsFormat) {
    if (!HaveZymdec()) GTEST_SKIP() << "zymdec not built in " << Zymdec();
    const Case& c = GetParam();
    const std::string in = aactest::fixturePath(c.file);
    const std::string wav = zymtest::TempPath(".wav");
    const ZymResult r = Zym("--codec aac " + Quote(in) + " " + Quote(wav));
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, std::string(c.format) + "\n");
    zymtest::Pcm pcm;
    ASSERT_TRUE(zymtest::ReadWav(wav, pcm));
    std::remove(wav.c_str());
    EXPECT_EQ(pcm.sampleRate, c.rate);
    EXPECT_EQ(pcm.channels, c.channels);
    EXPECT_GT(pcm.Frames(), 0u);

    // Every frame comes out: as many samples as ffmpeg's decode of the same file.
    if (!zymtest::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
    zymtest::Pcm ref;
    ASSERT_TRUE(zymtest::DecodeWithFfmpeg(in, ref));
    EXPECT_EQ(pcm.Frames(), ref.Frames());
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ZymdecAacFixture,
                         ::testing::Values(Case{"stereo_44k.adts", "AAC ADTS, 44100 Hz, 2 channels", 44100, 2},
                                           Case{"mono_44k.adts", "AAC ADTS, 44100 Hz, 1 channel", 44100, 1},
                                           Case{"surround51_48k.adts", "AAC ADTS, 48000 Hz, 6 channels", 48000, 6},
                                           Case{"pce_quad_48k.adts", "AAC ADTS, 48000 Hz, 4 channels", 48000, 4},
                                           Case{"stereo_44k_smc3.loas", "AAC LOAS, 44100 Hz, 2 channels", 44100, 2}),
                         [](const auto& info) {
                             std::string n = info.param.file;
                             for (char& ch : n)
                                 if (ch == '.') ch = '_';
                             return n;
                         });

TEST(ZymdecAac, RawIsTheWavDataAndVerboseEndsWithEndOfStream) {
    if (!HaveZymdec()) GTEST_SKIP() << "zymdec not built in " << Zymdec();
    const std::string in = aactest::fixturePath("stereo_44k.adts");
    const std::string wav = zymtest::TempPath(".wav");
    const std::string raw = zymtest::TempPath(".raw");
    ASSERT_EQ(Zym("--codec aac " + Quote(in) + " " + Quote(wav)).code, 0);
    const ZymResult r = Zym("--codec aac --raw -v " + Quote(in) + " " + Quote(raw));
    ASSERT_EQ(r.code, 0) << r.err;
    zymtest::Pcm pcm;
    std::vector<int16_t> rawSamples;
    ASSERT_TRUE(zymtest::ReadWav(wav, pcm));
    ASSERT_TRUE(zymtest::ReadRaw16(raw, rawSamples));
    EXPECT_EQ(rawSamples, pcm.samples);
    // Only non-zero statuses are listed; the last one ends the stream.
    const std::string last = "decode: 0x1106 (end of stream)\n";
    ASSERT_GE(r.err.size(), last.size()) << r.err;
    EXPECT_EQ(r.err.substr(r.err.size() - last.size()), last) << r.err;
    EXPECT_EQ(r.err.find("decode: 0x0000"), std::string::npos);
    std::remove(wav.c_str());
    std::remove(raw.c_str());
}

TEST(ZymdecAac, ExitCodes) {
    if (!HaveZymdec()) GTEST_SKIP() << "zymdec not built in " << Zymdec();
    const std::string in = aactest::fixturePath("mono_44k.adts");
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
        {"--codec aac", 2},
        {"--codec aac " + Quote(in), 2},
        {"--codec aac --nope " + Quote(in) + " " + Quote(out), 2},
        {"--codec aac /nonexistent/in.aac " + Quote(out), 1},
        {"--codec aac " + Quote(empty) + " " + Quote(out), 1},
        {"--codec aac " + Quote(garbage) + " " + Quote(out), 1},
        {"--codec aac " + Quote(in) + " /nonexistent/dir/out.wav", 1},
    };
    for (const auto& c : cases) {
        const ZymResult r = Zym(c.args);
        EXPECT_EQ(r.code, c.code) << c.args << "\n" << r.err;
        EXPECT_FALSE(r.err.empty()) << c.args << ": a failure must say why";
    }
    for (const std::string& p : {out, garbage, empty})
        std::remove(p.c_str());
}

// A file cut inside its last frame (a recording stopped mid-frame) decodes every whole
// frame before the cut, unchanged.
TEST(ZymdecAac, TruncatedFileKeepsTheWholeFrames) {
    if (!HaveZymdec()) GTEST_SKIP() << "zymdec not built in " << Zymdec();
    const std::string in = aactest::fixturePath("stereo_44k.adts");
    std::vector<uint8_t> bytes = aactest::readFile(in);
    ASSERT_GT(bytes.size(), 1000u);
    const std::string full = zymtest::TempPath(".raw");
    ASSERT_EQ(Zym("--codec aac --raw " + Quote(in) + " " + Quote(full)).code, 0);
    bytes.resize(bytes.size() - 50);
    const std::string cut = zymtest::TempPath(".adts");
    const std::string part = zymtest::TempPath(".raw");
    ASSERT_TRUE(zymtest::WriteFile(cut, bytes));
    const ZymResult r = Zym("--codec aac --raw " + Quote(cut) + " " + Quote(part));
    EXPECT_EQ(r.code, 0) << r.err;
    std::vector<int16_t> a, b;
    ASSERT_TRUE(zymtest::ReadRaw16(full, a));
    ASSERT_TRUE(zymtest::ReadRaw16(part, b));
    EXPECT_EQ(b.size() + 1024 * 2, a.size()) << "only the cut frame may be missing";
    b.resize(std::min(a.size(), b.size()));
    EXPECT_TRUE(std::equal(b.begin(), b.end(), a.begin()));
    for (const std::string& p : {full, cut, part})
        std::remove(p.c_str());
}

}  // namespace

namespace {

// Two streams back to back: a WAV has one format, so the first one holds, the change is
// reported, and a later mono stretch goes to both channels.
TEST(ZymdecAac, ChannelChangeKeepsTheFirstFormat) {
    if (!HaveZymdec()) GTEST_SKIP() << "zymdec not built in " << Zymdec();
    const std::string first = aactest::fixturePath("stereo_44k.adts");
    const std::vector<uint8_t> stereo = aactest::readFile(first);
    const std::vector<uint8_t> mono = aactest::readFile(aactest::fixturePath("mono_44k.adts"));
    ASSERT_FALSE(stereo.empty());
    ASSERT_FALSE(mono.empty());
    std::vector<uint8_t> both = stereo;
    both.insert(both.end(), mono.begin(), mono.end());
    const std::string joined = zymtest::TempPath(".adts");
    const std::string firstWav = zymtest::TempPath(".wav");
    const std::string joinedWav = zymtest::TempPath(".wav");
    ASSERT_TRUE(zymtest::WriteFile(joined, both));
    ASSERT_EQ(Zym("--codec aac " + Quote(first) + " " + Quote(firstWav)).code, 0);
    const ZymResult r = Zym("--codec aac " + Quote(joined) + " " + Quote(joinedWav));
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "AAC ADTS, 44100 Hz, 2 channels\n");
    EXPECT_NE(r.err.find("to 44100 Hz, 1 channel; the output keeps the first format"), std::string::npos) << r.err;
    zymtest::Pcm a, j;
    ASSERT_TRUE(zymtest::ReadWav(firstWav, a));
    ASSERT_TRUE(zymtest::ReadWav(joinedWav, j));
    EXPECT_EQ(j.sampleRate, 44100);
    ASSERT_EQ(j.channels, 2);
    ASSERT_GT(j.samples.size(), a.samples.size());
    EXPECT_TRUE(std::equal(a.samples.begin(), a.samples.end(), j.samples.begin()));
    // The decoder still gives the frame at the change in the old layout; from the next one
    // on the mono stretch is on both channels.
    ASSERT_GT(j.Frames(), a.Frames() + 2048);
    size_t unequal = 0;
    for (size_t f = a.Frames() + 1024; f < j.Frames(); ++f)
        unequal += j.samples[2 * f] != j.samples[2 * f + 1];
    EXPECT_EQ(unequal, 0u) << "the mono stretch must be on both channels";
    for (const std::string& p : {joined, firstWav, joinedWav})
        std::remove(p.c_str());
}

}  // namespace
