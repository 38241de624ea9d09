// Envelope and noise-floor decoding: delta decoding across resolutions, range test,
// concealment fades, the first-frame stretch and stereo coupling.
#include <gtest/gtest.h>

#include <cmath>

#include "codecs/aacplus/SbrEnvelope.h"

using namespace aacplus;

namespace {

// One channel with NH = 5 (odd: low band 0 covers high band 0, the others two each), NL = 3, NQ = 2.
SbrFrameData frame(int numEnv = 1, int ampRes = 1) {
    SbrFrameData f;
    f.nh = 5;
    f.nl = 3;
    f.nlTwiceMinusNh = 1;
    f.nqValues = f.nInvf = 2;
    f.frameClass = kFixFix;
    f.numEnv = uint8_t(numEnv);
    for (int l = 0; l <= numEnv; ++l)
        f.tE[l] = uint8_t(16 * l / numEnv);
    for (int l = 0; l < numEnv; ++l)
        f.freqRes[l] = 1;
    f.numNoise = uint8_t(numEnv > 1 ? 2 : 1);
    f.tQ[0] = 0;
    f.tQ[f.numNoise] = 16;
    if (f.numNoise == 2) f.tQ[1] = 8;
    f.ampRes = ampRes;
    f.numEnvValues = 5 * numEnv;
    return f;
}

float quantised(float e, int ampRes) { return std::log2(e / 64.0f) * (ampRes ? 1.0f : 2.0f); }

}  // namespace

TEST(SbrEnvelope, TimeDeltasAcrossResolutions) {
    SbrFrameData f = frame(2);
    f.freqRes[0] = 1;
    f.freqRes[1] = 0;
    f.dfEnv[0] = 1;
    f.dfEnv[1] = 1;
    f.numEnvValues = 5 + 3;
    float prev[kSbrMaxHighBands] = {10, 11, 12, 13, 14};
    const float deltas[8] = {1, 1, 1, 1, 1, /* low res */ 2, 2, 2};
    std::copy(deltas, deltas + 8, f.env);
    sbrDeltaDecodeEnvelope(f, prev);
    // High: previous + 1.
    EXPECT_EQ(f.env[0], 11);
    EXPECT_EQ(f.env[4], 15);
    // Low band k reads the first high band it covers: bands 0, 1 and 3.
    EXPECT_EQ(f.env[5], 11 + 2);
    EXPECT_EQ(f.env[6], 12 + 2);
    EXPECT_EQ(f.env[7], 14 + 2);
    // The reference holds the low envelope spread over the high bands.
    EXPECT_EQ(prev[0], 13);
    EXPECT_EQ(prev[1], 14);
    EXPECT_EQ(prev[2], 14);
    EXPECT_EQ(prev[3], 16);
    EXPECT_EQ(prev[4], 16);

    SbrFrameData g = frame(1);
    g.dfEnv[0] = 0;
    const float freq[5] = {20, 1, -2, 3, 0};
    std::copy(freq, freq + 5, g.env);
    float p2[kSbrMaxHighBands] = {};
    sbrDeltaDecodeEnvelope(g, p2);
    EXPECT_EQ(g.env[1], 21);
    EXPECT_EQ(g.env[2], 19);
    EXPECT_EQ(g.env[4], 22);
}

TEST(SbrEnvelope, OutOfRangeEnvelopeIsConcealedNotClipped) {
    SbrHeader h;
    h.firstFrame = 0;
    SbrPreviousFrame prev;
    prev.ampRes = 1;
    for (int k = 0; k < 5; ++k)
        prev.lastEnvelope[k] = 2.0f;
    SbrFrameData f = frame(1);
    f.prevLastBorder = 16;
    f.dfEnv[0] = 1;
    for (int k = 0; k < 5; ++k)
        f.env[k] = -3.0f;  // 2 - 3 < 0
    sbrDecodeEnvelopes(h, f, prev, nullptr, nullptr);
    EXPECT_EQ(h.errorFlag, 1);
    // Concealed: one step down from 2 -> 1, dequantised at 3 dB.
    EXPECT_FLOAT_EQ(f.env[0], 64.0f * 2.0f);
    EXPECT_EQ(prev.lastEnvelope[0], 1.0f);
}

TEST(SbrEnvelope, ConcealmentFadesOneStepPerFrame) {
    struct Case {
        bool balance;
        int ampRes;
        float start;
        std::vector<float> expected;  // quantised values after each concealed frame
    } cases[] = {
        {false, 1, 3.0f, {2, 1, 0, 1, 0}},
        {false, 0, 4.0f, {2, 0, 2, 0}},
        {true, 1, 10.0f, {10.5f, 11, 11.5f, 12, 12.5f, 12, 12.5f}},
        {true, 0, 20.0f, {21, 22, 23, 24, 25, 24}},
    };
    for (const Case& c : cases) {
        SbrHeader h;
        h.errorFlag = 1;
        SbrPreviousFrame prev;
        prev.ampRes = c.ampRes;
        prev.coupling = c.balance ? 2 : 0;
        for (int k = 0; k < 5; ++k)
            prev.lastEnvelope[k] = c.start;
        prev.lastNoise[0] = 9.0f;
        SbrFrameData f = frame(2);
        for (float e : c.expected) {
            h.errorFlag = 1;
            sbrDecodeChannelEnvelope(h, f, prev, nullptr);
            EXPECT_EQ(prev.lastEnvelope[0], e) << c.balance << " " << c.ampRes;
            EXPECT_EQ(f.numEnv, 1);
            EXPECT_EQ(f.coupling, prev.coupling);
        }
    }
    // The noise floor is repeated while concealed.
    SbrHeader h;
    h.errorFlag = 1;
    SbrPreviousFrame prev;
    prev.lastNoise[0] = 9.0f;
    prev.lastNoise[1] = 4.0f;
    SbrFrameData f = frame(1);
    sbrDecodeEnvelopes(h, f, prev, nullptr, nullptr);
    EXPECT_FLOAT_EQ(f.noise[0], std::exp2(6.0f - 9.0f));
    EXPECT_FLOAT_EQ(f.noise[1], std::exp2(6.0f - 4.0f));
}

TEST(SbrEnvelope, FirstFrameAfterAnErrorIsStretchedBack) {
    SbrHeader h;
    h.firstFrame = 1;
    SbrPreviousFrame prev;
    prev.ampRes = 1;
    SbrFrameData f = frame(2);
    f.frameClass = kVarFix;
    f.tE[0] = 2;
    f.tE[1] = 8;
    f.tQ[0] = 2;
    f.prevLastBorder = 17;
    f.dfEnv[0] = 0;
    f.dfEnv[1] = 0;
    f.env[0] = 10;
    f.env[5] = 10;
    sbrDecodeChannelEnvelope(h, f, prev, nullptr);
    EXPECT_EQ(f.tE[0], 1);
    EXPECT_EQ(f.tQ[0], 1);
    const float lowered = 10.0f + std::log2(6.0f / 7.0f);
    EXPECT_NEAR(quantised(f.env[0], 1), lowered, 1e-4);
    EXPECT_NEAR(quantised(f.env[5], 1), 10.0f, 1e-4);  // later envelopes untouched
    EXPECT_EQ(prev.lastEnvelope[0], 10.0f);            // the time reference keeps the sent value
}

TEST(SbrEnvelope, CoupledPairSplitsSumAndBalance) {
    SbrHeader h;
    h.firstFrame = 0;
    SbrPreviousFrame p0, p1;
    p0.coupling = 1;
    p1.coupling = 2;
    p0.ampRes = p1.ampRes = 1;
    SbrFrameData f0 = frame(2), f1 = frame(2);
    f0.coupling = 1;
    f1.coupling = 2;
    // Sum 10 in every band; balance centre (12) in band 0, right-heavy (12 + 2) in band 1.
    f0.env[0] = 10;
    f0.env[5] = 10;
    f1.env[0] = 12;
    f1.env[1] = 2;
    f1.env[5] = 12;
    f1.env[6] = 2;
    f0.noise[0] = 6;
    f1.noise[0] = 12;
    sbrDecodeEnvelopes(h, f0, p0, &f1, &p1);
    ASSERT_EQ(h.errorFlag, 0);
    const float e0 = 64.0f * std::exp2(10.0f);
    EXPECT_FLOAT_EQ(f0.env[0], e0);
    EXPECT_FLOAT_EQ(f1.env[0], e0);
    // Balance 14: ratio left/right = 2^2.
    EXPECT_FLOAT_EQ(f0.env[1] / f1.env[1], 4.0f);
    EXPECT_FLOAT_EQ(f0.env[1] + f1.env[1], 2.0f * e0);
    // Noise: Q0 = 6, balance centre -> both 2^0 = 1.
    EXPECT_FLOAT_EQ(f0.noise[0], 1.0f);
    EXPECT_FLOAT_EQ(f1.noise[0], 1.0f);
}

TEST(SbrEnvelope, PairIsConcealedAlikeWhenTheSecondChannelFails) {
    SbrHeader h;
    h.firstFrame = 0;
    SbrPreviousFrame p0, p1;
    p0.ampRes = p1.ampRes = 1;
    for (int k = 0; k < 5; ++k) {
        p0.lastEnvelope[k] = 5.0f;
        p1.lastEnvelope[k] = 5.0f;
    }
    SbrFrameData f0 = frame(1), f1 = frame(1);
    f0.prevLastBorder = f1.prevLastBorder = 16;
    f0.dfEnv[0] = 0;
    f0.env[0] = 20;  // fine
    f1.dfEnv[0] = 1;
    for (int k = 0; k < 5; ++k)
        f1.env[k] = 40;  // 45: beyond 35
    sbrDecodeEnvelopes(h, f0, p0, &f1, &p1);
    EXPECT_EQ(h.errorFlag, 1);
    EXPECT_EQ(p0.lastEnvelope[0], 4.0f);
    EXPECT_EQ(p1.lastEnvelope[0], 4.0f);
    EXPECT_EQ(h.firstFrame, 1);
}
