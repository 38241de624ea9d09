// The core against ffmpeg's decoder on MPEG-2 AAC-LC ADTS streams made by ffmpeg's
// encoder (tests/data/vlb/make_fixtures.sh). Bound: RMS <= 1 LSB and max <= 3 LSB per
// channel, once the output stage's 10-sample delay is allowed for.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ostream>

#include "VlbTestSupport.h"
#include "support/Pcm.h"

using namespace vlbtest;

namespace {

struct Case {
    const char* file;
    uint32_t rate;
    uint32_t channels;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.file; }

class VlbReferenceTest : public ::testing::TestWithParam<Case> {};

TEST_P(VlbReferenceTest, MatchesFfmpegWithinOneLsbRms) {
    const Case& c = GetParam();
    const std::string path = FixturePath(c.file);
    auto bytes = ReadFile(path);
    ASSERT_FALSE(bytes.empty()) << path;
    Decoded d = DecodeAll(bytes);
    ASSERT_EQ(d.statuses.front(), 0);
    EXPECT_EQ(d.statuses.back(), 5);
    for (size_t i = 1; i + 1 < d.statuses.size(); ++i)
        EXPECT_EQ(d.statuses[i], 0) << "call " << i;
    EXPECT_EQ(d.sampleRate, c.rate);
    EXPECT_EQ(d.channels, c.channels);
    ASSERT_EQ(d.output.samples.size(), c.channels);

    if (!zymtest::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
    zymtest::Pcm reference;
    ASSERT_TRUE(zymtest::DecodeWithFfmpeg(path, reference));
    ASSERT_EQ(reference.channels, static_cast<int>(c.channels));
    const int ch = static_cast<int>(c.channels);
    std::vector<int16_t> ours;
    for (size_t i = 0; i < d.output.samples[0].size(); ++i)
        for (int k = 0; k < ch; ++k)
            ours.push_back(ToPcm16({d.output.samples[k][i]})[0]);

    const long offset = zymtest::FindOffset(ours, reference.samples, ch, 1100);
    EXPECT_EQ(offset, -10);  // the limiter's look-ahead
    for (int k = 0; k < ch; ++k) {
        std::vector<int16_t> a, b;
        for (size_t i = k; i < ours.size(); i += ch)
            a.push_back(ours[i]);
        for (size_t i = k; i < reference.samples.size(); i += ch)
            b.push_back(reference.samples[i]);
        zymtest::PcmDiff diff = zymtest::Compare(a, b, 1, offset);
        int peak = 0;
        for (int16_t v : b)
            peak = std::max(peak, std::abs(int(v)));
        std::printf("%s channel %d: rms %.3f LSB, max %d LSB over %zu samples (peak %d)\n", c.file, k, diff.rms,
                    diff.maxAbs, diff.compared, peak);
        EXPECT_GT(peak, 3000) << "the fixture must carry signal";
        EXPECT_LE(diff.rms, 1.0) << "channel " << k;
        EXPECT_LE(diff.maxAbs, 3) << "channel " << k;
        EXPECT_GT(diff.compared, b.size() - 20);
    }
}

INSTANTIATE_TEST_SUITE_P(Streams, VlbReferenceTest,
                         ::testing::Values(Case{"mono16k.aac", 16000, 1}, Case{"stereo22k.aac", 22050, 2},
                                           Case{"mono24k.aac", 24000, 1}, Case{"stereo32k.aac", 32000, 2},
                                           Case{"stereo44k.aac", 44100, 2}, Case{"mono48k.aac", 48000, 1},
                                           Case{"stereo48k_is.aac", 48000, 2}),
                         [](const auto& info) {
                             std::string n = info.param.file;
                             return n.substr(0, n.find('.'));
                         });

}  // namespace
