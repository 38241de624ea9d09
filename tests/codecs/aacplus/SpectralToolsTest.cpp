// Pulse data, TNS, noise substitution and Main-profile prediction.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "BitWriter.h"
#include "codecs/aacplus/Ics.h"
#include "codecs/aacplus/Pns.h"
#include "codecs/aacplus/Prediction.h"
#include "codecs/aacplus/Pulse.h"
#include "codecs/aacplus/Tns.h"

namespace {

using namespace aactest;
using namespace aacplus;

IcsInfo longIcs(int maxSfb) {
    IcsInfo ics;
    ics.reset(4, 0x402);
    ics.setSequence(kOnlyLong, 0);
    ics.maxSfb = maxSfb;
    return ics;
}

BitReader readerOver(const std::vector<uint8_t>& bytes) {
    BitReader r;
    r.bind(bytes.data(), int32_t(bytes.size()));
    return r;
}

TEST(SpectralToolsTest, PulsePositionsAccumulateFromTheStartBand) {
    BitWriter w;
    w.put(1, 1).put(3, 2).put(0, 6);
    for (int amp : {1, 2, 3, 4})
        w.put(31, 5).put(uint32_t(amp), 4);
    w.put(0, 8);
    const std::vector<uint8_t> bytes = w.data();
    BitReader r = readerOver(bytes);
    const IcsInfo ics = longIcs(1);
    PulseData p;
    ASSERT_EQ(readPulseData(p, ics, r), 0);
    EXPECT_EQ(std::vector<int>(p.position, p.position + 4), (std::vector<int>{31, 62, 93, 124}));
    std::vector<int32_t> q(1024, 0);
    q[31] = 5;
    q[62] = -5;
    applyPulseData(p, q.data());
    EXPECT_EQ(q[31], 6);
    EXPECT_EQ(q[62], -7);
    EXPECT_EQ(q[93], -3);  // zero counts as not above zero
}

TEST(SpectralToolsTest, TnsLengthBeyondTheTopStartsAtBandZero) {
    BitWriter w;
    // n_filt 1, coef_res 1, length 63 (> 49 bands), order 1, upward, no compression, coef 3
    w.put(1, 1).put(1, 2).put(1, 1).put(63, 6).put(1, 5).put(0, 1).put(0, 1).put(3, 4).put(0, 16);
    const std::vector<uint8_t> bytes = w.data();
    BitReader r = readerOver(bytes);
    const IcsInfo ics = longIcs(49);
    TnsData t;
    readTnsData(t, ics, r);
    ASSERT_TRUE(t.present);
    EXPECT_EQ(t.filter[0][0].bottom, 0);
    EXPECT_EQ(t.filter[0][0].top, 49);
    EXPECT_EQ(t.filter[0][0].order, 1);
}

// Trailing zero coefficients only lengthen the filter: same output as the shorter one.
TEST(SpectralToolsTest, TnsTrailingZeroCoefficientsChangeNothing) {
    const IcsInfo ics = longIcs(40);
    TnsData a, b;
    a.present = b.present = true;
    a.nFilt[0] = b.nFilt[0] = 1;
    a.coefRes[0] = b.coefRes[0] = 1;
    TnsFilter f;
    f.bottom = 5;
    f.top = 30;
    f.order = 3;
    f.coef[0] = 4;
    f.coef[1] = -3;
    f.coef[2] = 2;
    a.filter[0][0] = f;
    f.order = 5;
    f.coef[3] = f.coef[4] = 0;
    f.direction = 1;
    b.filter[0][0] = f;
    std::vector<float> x(1024), y;
    for (int k = 0; k < 1024; ++k)
        x[size_t(k)] = float(std::sin(k * 0.37) * 1000.0);
    y = x;
    tnsFilterWindow(a, ics, 0, x.data());
    tnsFilterWindow(b, ics, 0, y.data());
    EXPECT_EQ(x, y);
    // and the filter did something inside its range, nothing outside
    const uint16_t* offs = ics.swbOffset();
    EXPECT_NE(x[size_t(offs[5]) + 3], float(std::sin((offs[5] + 3) * 0.37) * 1000.0));
    EXPECT_EQ(x[size_t(offs[30])], float(std::sin(offs[30] * 0.37) * 1000.0));
}

TEST(SpectralToolsTest, TnsPredictorFromReflectionCoefficients) {
    TnsFilter f;
    f.order = 2;
    f.coef[0] = 2;
    f.coef[1] = -1;
    float a[33];
    ASSERT_EQ(tnsPredictor(f, 0, a), 2);
    const double q0 = (4.0 - 0.5) / (M_PI / 2), q1 = (4.0 + 0.5) / (M_PI / 2);
    const double k1 = std::sin(2 / q0), k2 = std::sin(-1 / q1);
    EXPECT_FLOAT_EQ(a[0], 1.0f);
    EXPECT_FLOAT_EQ(a[1], float(k1 + k2 * k1));
    EXPECT_FLOAT_EQ(a[2], float(k2));
}

TEST(SpectralToolsTest, NoiseBandCarriesItsEnergy) {
    for (const auto& [width, energy] : std::vector<std::pair<int, int>>{{4, 0}, {32, 20}, {12, -8}}) {
        std::vector<float> lines(static_cast<size_t>(width), 0.0f);
        uint16_t state = 1234;
        fillNoiseBand(lines.data(), width, energy, state);
        double sum = 0.0;
        for (float v : lines)
            sum += double(v) * v;
        EXPECT_NEAR(sum / std::pow(2.0, 0.5 * energy), 1.0, 1e-5) << width << "/" << energy;
    }
}

// A band that is noise in both channels and flagged by the pair carries the same noise in
// both; an unflagged one does not.
TEST(SpectralToolsTest, FlaggedNoiseBandsAreCorrelatedInAPair) {
    IcsInfo ics = longIcs(3);
    NoiseData n;
    n.any = true;
    for (int b = 0; b < 3; ++b)
        n.energy[0][b] = 10;
    uint8_t flags[8][64] = {};
    flags[0][1] = 1;
    NoiseGenerator gen;
    gen.state = 77;
    std::vector<float> left(1024, 0.0f), right(1024, 0.0f);
    generateNoise(
        n, ics, [&](int) { return left.data(); }, gen, flags, 0);
    generateNoise(
        n, ics, [&](int) { return right.data(); }, gen, flags, 1);
    const uint16_t* offs = ics.swbOffset();
    for (int k = offs[1]; k < offs[2]; ++k)
        EXPECT_EQ(left[size_t(k)], right[size_t(k)]) << k;
    bool differs = false;
    for (int k = offs[0]; k < offs[1]; ++k)
        differs |= left[size_t(k)] != right[size_t(k)];
    EXPECT_TRUE(differs);
}

TEST(SpectralToolsTest, PredictorsStartSilentAndResetOnShortFramesAndByGroup) {
    PredictionState s;
    for (const Predictor& p : s.p)
        EXPECT_EQ(predictorEstimate(p), 0.0f);  // VAR 1.0 is below 2.0

    // Train on a steady signal: the estimates become non-zero.
    IcsInfo ics = longIcs(40);
    IcsStorage storage;
    for (int f = 0; f < 6; ++f) {
        decapl60* c = storage.build(&ics);
        for (int k = 0; k < 1024; ++k)
            c->GetSpectrum(0)[k] = 1000.0f;
        Predict(s, ics, *c);
    }
    EXPECT_NE(predictorEstimate(s.p[100]), 0.0f);

    // A reset group of 30 resets lines 29, 59, 89, ... only.
    ics.predictorDataPresent = true;
    ics.predictorReset = true;
    ics.predictorResetGroup = 30;
    decapl60* c = storage.build(&ics);
    Predict(s, ics, *c);
    EXPECT_EQ(predictorEstimate(s.p[29]), 0.0f);
    EXPECT_EQ(predictorEstimate(s.p[59]), 0.0f);
    EXPECT_EQ(s.p[89].var[0], 1.0f);
    EXPECT_NE(s.p[30].var[0], 1.0f);

    // Eight short windows reset everything.
    IcsInfo shortIcs = ics;
    shortIcs.setSequence(kEightShort, 0);
    c = storage.build(&shortIcs);
    Predict(s, shortIcs, *c);
    for (const Predictor& p : s.p) {
        ASSERT_EQ(p.var[0], 1.0f);
        ASSERT_EQ(p.r[0], 0.0f);
    }
}

}  // namespace
