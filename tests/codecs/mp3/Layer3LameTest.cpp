// Layer III decoding of streams made here with lame from a synthetic source (tones, noise
// and sharp bursts that force short blocks), compared with mpg123 run on the same file;
// plus the reservoir, CRC and corruption behaviour on such streams.
//
// Accuracy bound: RMS error <= 1 LSB and max error <= 2 LSB against mpg123.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "Layer3TestUtil.h"
#include "Mp3TestUtil.h"
#include "support/Pcm.h"

namespace {

bool HaveTools() { return zymtest::HaveProgram("lame") && zymtest::HaveProgram("mpg123"); }

#define REQUIRE_TOOLS() \
    if (!HaveTools()) GTEST_SKIP() << "lame and mpg123 are needed to make and check the streams"

// 3 s of 44.1 kHz stereo: different tone mixtures left and right, a little noise, and a
// decaying noise burst every 0.4 s (transients that make lame switch to short blocks).
zymtest::Pcm MakeSource() {
    zymtest::Pcm pcm;
    pcm.sampleRate = 44100;
    pcm.channels = 2;
    const int frames = 3 * 44100;
    uint32_t seed = 12345;
    auto noise = [&seed]() {
        seed = seed * 1664525u + 1013904223u;
        return static_cast<double>(static_cast<int32_t>(seed)) / 2147483648.0;
    };
    constexpr double kTwoPi = 6.283185307179586;
    for (int i = 0; i < frames; ++i) {
        const double t = i / 44100.0;
        const double sinceBurst = std::fmod(t, 0.4);
        const double burst = sinceBurst < 0.05 ? std::exp(-sinceBurst * 120.0) * noise() * 0.6 : 0.0;
        const double left =
            0.30 * std::sin(kTwoPi * 440.0 * t) + 0.10 * std::sin(kTwoPi * 3150.0 * t) + 0.02 * noise() + burst;
        const double right = 0.25 * std::sin(kTwoPi * 660.0 * t) + 0.08 * std::sin(kTwoPi * 7200.0 * t) +
                             0.15 * std::sin(kTwoPi * 440.0 * t) + 0.02 * noise() + 0.8 * burst;
        pcm.samples.push_back(static_cast<int16_t>(std::lround(left * 32767.0)));
        pcm.samples.push_back(static_cast<int16_t>(std::lround(right * 32767.0)));
    }
    return pcm;
}

// Encodes the shared source with the given lame options once per test run.
std::string Encode(const std::string& options) {
    static std::map<std::string, std::string> made;
    static std::string source;
    if (source.empty()) {
        source = zymtest::TempPath(".wav");
        if (!zymtest::WriteWav(source, MakeSource())) return {};
    }
    auto it = made.find(options);
    if (it != made.end()) return it->second;
    const std::string out = zymtest::TempPath(".mp3");
    if (zymtest::RunCommand("lame --quiet " + options + " '" + source + "' '" + out + "'") != 0) return {};
    made[options] = out;
    return out;
}

struct LameCase {
    const char* name;
    const char* options;
    int version;  // 0 MPEG-1, 1 MPEG-2, 2 MPEG-2.5
    int sampleRate;
    int channels;
};

class Layer3Lame : public ::testing::TestWithParam<LameCase> {};

TEST_P(Layer3Lame, MatchesMpg123) {
    REQUIRE_TOOLS();
    const LameCase& c = GetParam();
    const std::string path = Encode(c.options);
    ASSERT_FALSE(path.empty()) << "lame failed for " << c.options;
    std::vector<uint8_t> bits;
    ASSERT_TRUE(zymtest::ReadFile(path, bits));

    const mp3test::DecodeResult r = mp3test::DecodeAll(bits);
    ASSERT_TRUE(r.sawInfo);
    EXPECT_EQ(r.info.layer, 3);
    EXPECT_EQ(r.info.version, c.version);
    EXPECT_EQ(r.info.sampleRate, c.sampleRate);
    EXPECT_EQ(r.info.channels, c.channels);
    // Only the first frame(s) may lack their main data (the tag frame has none to lack).
    const size_t missing = static_cast<size_t>(std::count(r.statuses.begin(), r.statuses.end(), 0x41010002u));
    EXPECT_EQ(missing, 0u);

    std::vector<int16_t> reference;
    ASSERT_TRUE(l3test::DecodeWithMpg123Raw(path, reference));
    const int granule = r.info.version == 0 ? 1152 : 576;
    const zymtest::PcmDiff d = l3test::CompareAligned(r.pcm, reference, c.channels, granule);
    std::printf("%s (lame %s): %zu samples, rms %.4f max %d\n", c.name, c.options, d.compared, d.rms, d.maxAbs);
    EXPECT_GE(d.compared + static_cast<size_t>(2 * granule * c.channels), reference.size());
    EXPECT_LE(d.rms, 1.0);
    EXPECT_LE(d.maxAbs, 2);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, Layer3Lame,
    ::testing::Values(LameCase{"joint_128", "-m j -b 128", 0, 44100, 2},
                      LameCase{"midside_forced_128", "-m f -b 128", 0, 44100, 2},
                      LameCase{"simple_stereo_192", "-m s -b 192", 0, 44100, 2},
                      LameCase{"dual_channel_160", "-m d -b 160", 0, 44100, 2},
                      LameCase{"mono_64", "-m m -b 64", 0, 44100, 1}, LameCase{"crc_128", "-p -b 128", 0, 44100, 2},
                      LameCase{"cbr_320", "-b 320", 0, 44100, 2}, LameCase{"vbr_v2", "-V 2", 0, 44100, 2},
                      LameCase{"vbr_v9_lame_picks_22k", "-V 9", 1, 22050, 2},
                      LameCase{"short_blocks_only", "--allshort -b 128", 0, 44100, 2},
                      LameCase{"rate_48k", "--resample 48 -b 256", 0, 48000, 2},
                      LameCase{"rate_32k", "--resample 32 -b 96", 0, 32000, 2},
                      LameCase{"mpeg2_22k", "--resample 22.05 -b 64", 1, 22050, 2},
                      LameCase{"mpeg2_24k_crc", "--resample 24 -b 96 -p", 1, 24000, 2},
                      LameCase{"mpeg2_16k_mono", "--resample 16 -m m -b 32", 1, 16000, 1},
                      LameCase{"mpeg25_8k", "--resample 8 -b 16", 2, 8000, 2},
                      LameCase{"mpeg25_11k_vbr", "--resample 11.025 -V 5", 2, 11025, 2},
                      LameCase{"mpeg25_12k_crc_short", "--resample 12 -b 32 -p --allshort", 2, 12000, 2}),
    [](const ::testing::TestParamInfo<LameCase>& info) { return std::string(info.param.name); });

// Decodes bytes and returns the per-frame statuses and PCM.
mp3test::DecodeResult Decode(const std::vector<uint8_t>& bits, unsigned mono = 0) {
    return mp3test::DecodeAll(bits, 4096, 0, 0, mono);
}

// PCM of frames [first, end) of a decode (frameSamples interleaved samples per frame).
std::vector<int16_t> Frames(const mp3test::DecodeResult& r, size_t first, size_t frameSamples) {
    const size_t begin = std::min(r.pcm.size(), first * frameSamples);
    return std::vector<int16_t>(r.pcm.begin() + static_cast<long>(begin), r.pcm.end());
}

std::vector<uint32_t> FrameStatuses(const mp3test::DecodeResult& r) {
    std::vector<uint32_t> s;
    for (uint32_t st : r.statuses)
        if (st == 0 || st == 0x41010001 || st == 0x41010002) s.push_back(st);
    return s;
}

// First frame from `from` on whose main data begins in an earlier frame.
size_t FrameWithReservoirUse(const std::vector<uint8_t>& bits, const std::vector<l3test::FrameSpan>& frames,
                             size_t from) {
    for (size_t i = from; i < frames.size(); ++i)
        if (l3test::MainDataBegin(bits, frames[i]) > 0) return i;
    return frames.size();
}

// A stream cut in the middle starts with frames whose main data lies before the cut:
// they come out silent with 0x41010002, and from the first frame whose main data is all
// there the decode is that of the uncut stream (bit for bit after one frame of overlap).
TEST(Layer3Reservoir, StreamStartingMidReservoirDecodesSilenceThenRecovers) {
    REQUIRE_TOOLS();
    std::vector<uint8_t> bits;
    ASSERT_TRUE(zymtest::ReadFile(Encode("-b 128"), bits));
    const std::vector<l3test::FrameSpan> frames = l3test::SplitFrames(bits);
    ASSERT_GT(frames.size(), 40u);
    const size_t cut = FrameWithReservoirUse(bits, frames, 20);
    ASSERT_LT(cut, frames.size() - 10) << "lame never used the reservoir";

    const std::vector<uint8_t> tail(bits.begin() + static_cast<long>(frames[cut].offset), bits.end());
    const mp3test::DecodeResult whole = Decode(bits);
    const mp3test::DecodeResult part = Decode(tail);
    const std::vector<uint32_t> st = FrameStatuses(part);
    ASSERT_FALSE(st.empty());
    EXPECT_EQ(st[0], 0x41010002u);
    for (int16_t s : std::vector<int16_t>(part.pcm.begin(), part.pcm.begin() + 2304))
        ASSERT_EQ(s, 0);

    size_t firstGood = 0;
    while (firstGood < st.size() && st[firstGood] != 0)
        ++firstGood;
    ASSERT_LT(firstGood, 4u) << "main data never became complete";
    const size_t compareFrom = firstGood + 1;
    const std::vector<int16_t> a = Frames(part, compareFrom, 2304);
    const std::vector<int16_t> b = Frames(whole, cut + compareFrom, 2304);
    ASSERT_EQ(a.size(), b.size());
    EXPECT_TRUE(a == b) << "decode after recovery differs from the uncut stream";
}

// A protected frame whose side information fails its CRC decodes as silence (0x41010001)
// and empties the reservoir, so the next frame that reaches back is silent (0x41010002);
// a stored CRC of zero is accepted without comparison.
TEST(Layer3Crc, MismatchSilencesFrameAndEmptiesReservoirZeroCrcIsAccepted) {
    REQUIRE_TOOLS();
    std::vector<uint8_t> bits;
    ASSERT_TRUE(zymtest::ReadFile(Encode("-p -b 128"), bits));
    const std::vector<l3test::FrameSpan> frames = l3test::SplitFrames(bits);
    ASSERT_GT(frames.size(), 40u);
    ASSERT_TRUE(frames[5].header.protectedFlag);
    const mp3test::DecodeResult clean = Decode(bits);
    const std::vector<uint32_t> cleanSt = FrameStatuses(clean);

    // Corrupt one global_gain bit of frame k whose successor reaches back into the reservoir.
    size_t k = 20;
    while (k + 1 < frames.size() && l3test::MainDataBegin(bits, frames[k + 1]) == 0)
        ++k;
    ASSERT_LT(k + 5, frames.size());
    std::vector<uint8_t> bad = bits;
    bad[frames[k].offset + 6 + 5] ^= 0x10;
    const std::vector<uint32_t> st = FrameStatuses(Decode(bad));
    ASSERT_EQ(st.size(), cleanSt.size());
    EXPECT_EQ(st[k], 0x41010001u);
    EXPECT_EQ(st[k + 1], 0x41010002u);
    for (size_t i = k + 4; i < st.size(); ++i)
        EXPECT_EQ(st[i], cleanSt[i]) << "frame " << i;

    // A clean frame whose stored CRC is zero decodes exactly as before.
    std::vector<uint8_t> zeroed = bits;
    zeroed[frames[k].offset + 4] = 0;
    zeroed[frames[k].offset + 5] = 0;
    const mp3test::DecodeResult z = Decode(zeroed);
    EXPECT_EQ(FrameStatuses(z), cleanSt);
    EXPECT_TRUE(z.pcm == clean.pcm);
}

// Corrupt side information: big_values above 288, a part2_3_length far past the data,
// a forbidden block type. The decode goes on, stays inside the stream's frames, and is
// back to the clean decode a few frames later.
TEST(Layer3Corruption, BadSideInformationStaysLocal) {
    REQUIRE_TOOLS();
    std::vector<uint8_t> bits;
    ASSERT_TRUE(zymtest::ReadFile(Encode("-m s -b 128"), bits));
    const std::vector<l3test::FrameSpan> frames = l3test::SplitFrames(bits);
    ASSERT_GT(frames.size(), 60u);
    const mp3test::DecodeResult clean = Decode(bits);

    // MPEG-1 stereo side information: main_data_begin 9, private 3, scfsi 8, then per
    // granule and channel 59 bits: part2_3_length 12, big_values 9, global_gain 8,
    // scalefac_compress 4, window_switching_flag 1, block_type 2 ...
    struct Field {
        const char* what;
        size_t bit;
        int bits;
        uint32_t value;
    };
    const Field fields[] = {
        {"big_values 289, granule 0 channel 0", 20 + 12, 9, 289},
        {"big_values 511, granule 1 channel 1", 20 + 3 * 59 + 12, 9, 511},
        {"part2_3_length 4095, granule 0 channel 0", 20, 12, 4095},
        {"window switching with block type 0", 20 + 59 + 12 + 9 + 8 + 4, 3, 0b100},
    };
    for (const Field& f : fields) {
        SCOPED_TRACE(f.what);
        const size_t k = 30;
        std::vector<uint8_t> bad = bits;
        l3test::PutBits(bad, frames[k].offset + 4, f.bit, f.bits, f.value);
        const mp3test::DecodeResult r = Decode(bad);
        ASSERT_EQ(r.pcm.size(), clean.pcm.size());
        EXPECT_EQ(r.statuses.back(), 0x81010004u);
        const std::vector<int16_t> a = Frames(r, k + 6, 2304);
        const std::vector<int16_t> b = Frames(clean, k + 6, 2304);
        EXPECT_TRUE(a == b) << "corruption of frame " << k << " still audible 6 frames later";
    }
}

// The mono option folds both channels: its output is the mean of the stereo decode's two
// channels within the rounding of the two paths (M/S, plain stereo and short blocks).
TEST(Layer3Mono, FoldedOutputIsTheMeanOfBothChannels) {
    REQUIRE_TOOLS();
    for (const char* options : {"-m j -b 128", "-m s -b 128", "--allshort -m f -b 128"}) {
        SCOPED_TRACE(options);
        std::vector<uint8_t> bits;
        ASSERT_TRUE(zymtest::ReadFile(Encode(options), bits));
        const mp3test::DecodeResult stereo = Decode(bits);
        const mp3test::DecodeResult mono = Decode(bits, 1);
        ASSERT_EQ(mono.info.outputChannels, 1);
        ASSERT_EQ(mono.pcm.size() * 2, stereo.pcm.size());
        std::vector<int16_t> mean(mono.pcm.size());
        for (size_t i = 0; i < mean.size(); ++i)
            mean[i] = static_cast<int16_t>((stereo.pcm[2 * i] + stereo.pcm[2 * i + 1]) / 2);
        const zymtest::PcmDiff d = zymtest::Compare(mono.pcm, mean, 1, 0);
        EXPECT_LE(d.rms, 1.0);
        EXPECT_LE(d.maxAbs, 2);
    }
}

// Two decoders started at the same moment on two threads (the first requantization of
// the process builds the shared power table) decode identically.
TEST(Layer3Threads, TwoDecodersStartingTogetherAgree) {
    REQUIRE_TOOLS();
    std::vector<uint8_t> bits;
    ASSERT_TRUE(zymtest::ReadFile(Encode("-b 128"), bits));
    mp3test::DecodeResult a;
    mp3test::DecodeResult b;
    std::thread ta([&] { a = Decode(bits); });
    std::thread tb([&] { b = Decode(bits); });
    ta.join();
    tb.join();
    ASSERT_GT(a.pcm.size(), 0u);
    EXPECT_TRUE(a.pcm == b.pcm);
}

}  // namespace
