// The output limiter: one block of look-ahead, attack, hold and slow release.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "codecs/aacplus/Limiter.h"

namespace {

using aacplus::Limiter;

TEST(LimiterTest, QuietSignalComesOutDelayedByOneBlock) {
    auto l = Limiter::create(64, 2, true);
    ASSERT_TRUE(l);
    std::vector<float> prev(128, 0.0f);
    for (int b = 0; b < 4; ++b) {
        std::vector<float> in(128), out(128);
        for (int i = 0; i < 128; ++i)
            in[size_t(i)] = float(std::sin(0.1 * (b * 128 + i)) * 32000.0);
        l->process(in.data(), out.data());
        EXPECT_EQ(out, prev) << "block " << b;
        prev = in;
        EXPECT_EQ(l->gain(0), 1.0f);
    }
}

TEST(LimiterTest, PeakIsBroughtToFullScaleAndReleasedSlowly) {
    auto l = Limiter::create(64, 1, true);
    ASSERT_TRUE(l);
    std::vector<float> quiet(64, 1000.0f), loud(64, 1000.0f), out(64);
    loud[10] = 65534.0f;
    l->process(quiet.data(), out.data());  // the delay line fills
    l->process(quiet.data(), out.data());
    l->process(loud.data(), out.data());  // the quiet block ahead of the peak ramps down
    EXPECT_FLOAT_EQ(out[0], 1000.0f);
    EXPECT_LT(out[63], 1000.0f * 0.52f);
    EXPECT_GT(out[63], 1000.0f * 0.5f);
    for (int i = 1; i < 64; ++i)
        EXPECT_LE(out[size_t(i)], out[size_t(i - 1)]);
    l->process(quiet.data(), out.data());  // the loud block at gain 0.5
    EXPECT_FLOAT_EQ(out[10], 32767.0f);
    EXPECT_FLOAT_EQ(out[0], 500.0f);
    float last = 0.0f;
    for (int b = 0; b < 10; ++b) {
        l->process(quiet.data(), out.data());
        EXPECT_GE(out[0], last);
        EXPECT_LT(out[63], 1000.0f);
        last = out[63];
    }
}

TEST(LimiterTest, LinkedChannelsShareTheGain) {
    auto l = Limiter::create(64, 2, true);
    ASSERT_TRUE(l);
    std::vector<float> in(128, 100.0f), out(128);
    in[20] = 50000.0f;  // channel 0 only
    l->process(in.data(), out.data());
    l->process(in.data(), out.data());
    EXPECT_FLOAT_EQ(l->gain(0), l->gain(1));
    EXPECT_LT(l->gain(1), 1.0f);
    EXPECT_FLOAT_EQ(out[21], out[23]);  // channel 1 lowered like channel 0
}

}  // namespace
