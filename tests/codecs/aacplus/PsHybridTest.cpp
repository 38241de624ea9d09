// PS hybrid filterbank: creation checks, sub-band split and the analysis/synthesis round trip.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "codecs/aacplus/PsHybrid.h"

using namespace aacplus;

namespace {

struct Rows {
    std::vector<float> re, im;
    std::vector<float*> pr, pi;
    explicit Rows(int slots) : re(static_cast<size_t>(slots * 64)), im(static_cast<size_t>(slots * 64)) {
        for (int n = 0; n < slots; ++n) {
            pr.push_back(&re[size_t(n * 64)]);
            pi.push_back(&im[size_t(n * 64)]);
        }
    }
};

}  // namespace

TEST(PsHybrid, OnlyResolutionsEightAndTwo) {
    HybridFilterbank h;
    const int good[3] = {8, 2, 2};
    const int four[3] = {8, 4, 2};
    EXPECT_EQ(hybridOpen(h, 32, 3, good), nullptr);
    EXPECT_NE(hybridOpen(h, 32, 3, four), nullptr);
}

TEST(PsHybrid, ConstantSignalLandsInTheLowSubBand) {
    HybridFilterbank h;
    const int res[3] = {8, 2, 2};
    ASSERT_EQ(hybridOpen(h, 32, 3, res), nullptr);
    Rows rows(32);
    for (int n = 0; n < 32; ++n)
        rows.pr[size_t(n)][1] = 1.0f;
    float hr[32][kHybridBands], hi[32][kHybridBands];
    hybridAnalysis(rows.pr.data(), rows.pi.data(), hr, hi, h);
    // After the start-up, the low sub-band of QMF band 1 carries it; the prototype's DC gain
    // is 1.004, so 0.5 % leaks.
    for (int n = 12; n < 32; ++n) {
        EXPECT_NEAR(hr[n][8], 1.0f, 0.005) << n;
        EXPECT_NEAR(hr[n][9], 0.0f, 0.005) << n;
    }
}

TEST(PsHybrid, RoundTripDelaysBySixSlots) {
    HybridFilterbank h;
    const int res[3] = {8, 2, 2};
    ASSERT_EQ(hybridOpen(h, 32, 3, res), nullptr);
    std::vector<float> inRe, inIm;
    std::vector<float> outRe, outIm;
    for (int frame = 0; frame < 3; ++frame) {
        Rows rows(32);
        for (int n = 0; n < 32; ++n)
            for (int b = 0; b < 3; ++b) {
                const int t = frame * 32 + n;
                rows.pr[size_t(n)][b] = float(std::sin(0.37 * t + b) + 0.25 * std::cos(1.9 * t * (b + 1)));
                rows.pi[size_t(n)][b] = float(std::cos(0.53 * t - b));
                inRe.push_back(rows.pr[size_t(n)][b]);
                inIm.push_back(rows.pi[size_t(n)][b]);
            }
        float hr[32][kHybridBands], hi[32][kHybridBands];
        hybridAnalysis(rows.pr.data(), rows.pi.data(), hr, hi, h);
        Rows out(32);
        hybridSynthesis(hr, hi, out.pr.data(), out.pi.data(), h);
        for (int n = 0; n < 32; ++n)
            for (int b = 0; b < 3; ++b) {
                outRe.push_back(out.pr[size_t(n)][b]);
                outIm.push_back(out.pi[size_t(n)][b]);
            }
    }
    for (size_t i = 6 * 3; i < outRe.size(); ++i) {
        ASSERT_NEAR(outRe[i], inRe[i - 18], 1e-5) << i;
        ASSERT_NEAR(outIm[i], inIm[i - 18], 1e-5) << i;
    }
}
