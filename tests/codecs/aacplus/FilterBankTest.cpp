// Inverse transform, windows and sample output.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "codecs/aacplus/Ics.h"
#include "codecs/aaccore/Imdct.h"

namespace {

using namespace aacplus;
using namespace aaccore;

std::vector<double> directImdct(const std::vector<float>& x) {
    const int m = int(x.size()), n = 2 * m;
    std::vector<double> y(size_t(n), 0.0);
    const double n0 = (n / 2.0 + 1.0) / 2.0;
    for (int i = 0; i < n; ++i) {
        double s = 0.0;
        for (int k = 0; k < m; ++k)
            s += x[size_t(k)] * std::cos(2.0 * M_PI / n * (i + n0) * (k + 0.5));
        y[size_t(i)] = 2.0 / n * s;
    }
    return y;
}

TEST(FilterBankTest, ImdctMatchesTheDefinitionForBothSizes) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> dist(-20000.0f, 20000.0f);
    for (int m : {128, 1024}) {
        std::vector<float> x(static_cast<size_t>(m), 0.0f);
        for (float& v : x)
            v = dist(rng);
        std::vector<float> buf(static_cast<size_t>(2 * m), 0.0f);
        std::copy(x.begin(), x.end(), buf.begin());
        if (m == 1024)
            imdctLong(buf.data());
        else
            imdctShort(buf.data());
        const std::vector<double> ref = directImdct(x);
        double worst = 0.0;
        for (int i = 0; i < 2 * m; ++i)
            worst = std::max(worst, std::fabs(buf[size_t(i)] - ref[size_t(i)]));
        // Float arithmetic on values of the order of 1e4: well below one LSB.
        EXPECT_LT(worst, 0.05) << "M = " << m;
    }
}

TEST(FilterBankTest, SingleDcCoefficientGivesACosine) {
    std::vector<float> buf(2048, 0.0f);
    buf[0] = 1024.0f;
    imdctLong(buf.data());
    for (int n = 0; n < 2048; ++n)
        ASSERT_NEAR(buf[size_t(n)], std::cos(M_PI * (n + 512.5) / 2048.0), 1e-5) << n;
}

TEST(FilterBankTest, WindowsArePowerComplementary) {
    for (int shape : {0, 1}) {
        const float* l = longWindow(shape);
        for (int i = 0; i < 1024; ++i)
            ASSERT_NEAR(l[i] * l[i] + l[1023 - i] * l[1023 - i], 1.0, 1e-6);
        const float* s = shortWindow(shape);
        for (int i = 0; i < 128; ++i)
            ASSERT_NEAR(s[i] * s[i] + s[127 - i] * s[127 - i], 1.0, 1e-6);
    }
    EXPECT_NEAR(longWindow(0)[0], std::sin(M_PI / 2048 * 0.5), 1e-7);
    EXPECT_LT(longWindow(1)[0], longWindow(0)[0]);  // the KBD window starts lower
}

TEST(FilterBankTest, Int16OutputRoundsHalfAwayAndSaturates) {
    const struct {
        float in;
        int16_t out;
    } cases[] = {{32767.4f, 32767}, {-32768.4f, -32768}, {-0.5f, -1},     {0.5f, 1},        {0.49f, 0},
                 {-0.49f, 0},       {1e9f, 32767},       {-1e9f, -32768}, {40000.f, 32767}, {NAN, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(sampleToInt16(c.in), c.out) << c.in;
}

// A stop window after a short frame: its first 448 samples are the overlap alone.
TEST(FilterBankTest, LongStopOutputsTheOverlapBeforeItsSlope) {
    IcsInfo ics;
    ics.reset(4, 0x402);
    ics.setSequence(kLongStop, 0);
    IcsStorage storage;
    decapl60* s = storage.build(&ics);
    float* x = s->GetSpectrum(0);
    for (int k = 0; k < 1024; ++k)
        x[k] = float((k * 37) % 200) - 100.0f;
    OverlapState ov;
    for (int i = 0; i < 1024; ++i)
        ov.samples[i] = float(i);
    std::vector<float> out(1024);
    s->SynthesizeFloat(ov, out.data(), 1);
    for (int i = 0; i < 448; ++i)
        ASSERT_EQ(out[size_t(i)], float(i)) << i;
    bool changed = false;
    for (int i = 448; i < 1024; ++i)
        changed |= out[size_t(i)] != float(i);
    EXPECT_TRUE(changed);
}

}  // namespace
