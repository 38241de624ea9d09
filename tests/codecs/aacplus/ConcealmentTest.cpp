// Error concealment: the one-frame delay, bridges across lost frames, fading and muting,
// and the decoder's behaviour on dropped, damaged and changed streams.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "AacTestUtil.h"
#include "CoreHarness.h"
#include "codecs/aacplus/Concealment.h"

namespace {

using namespace aacplus;

struct Channel {
    IcsInfo ics;
    IcsStorage storage;
    Concealment conceal{&storage};

    // A decoded long frame whose every line is `value`; returns what is to be synthesized.
    decapl60* good(float value, int sequence = kOnlyLong) {
        ics.reset(4, 0x402);
        ics.setSequence(sequence, 0);
        decapl60* s = storage.build(&ics);
        for (int w = 0; w < ics.numWindows(); ++w)
            for (int k = 0; k < (ics.isShort() ? 128 : 1024); ++k)
                s->GetSpectrum(w)[k] = value;
        return conceal.ConcealGoodFrame(s, ics);
    }
    decapl60* lost() {
        ics.reset(4, 0x402);
        return conceal.ConcealLostFrame(ics);
    }
};

struct Summary {
    float magnitude;  // the common |value| of the lines (-1 when they differ)
    bool allPositive;
};

Summary summarise(decapl60* s, const IcsInfo& ics) {
    const float* x = s->GetSpectrum(0);
    Summary r{std::fabs(x[0]), true};
    for (int k = 0; k < (ics.isShort() ? 128 : 1024); ++k) {
        if (std::fabs(std::fabs(x[k]) - r.magnitude) > 1e-3f * (1.0f + r.magnitude)) r.magnitude = -1.0f;
        r.allPositive = r.allPositive && x[k] >= 0.0f;
    }
    return r;
}

TEST(ConcealmentTest, OneLostFrameIsBridgedAtFullGain) {
    Channel ch;
    EXPECT_EQ(summarise(ch.good(100.0f), ch.ics).magnitude, 0.0f);  // nothing stored yet
    Summary s = summarise(ch.good(100.0f), ch.ics);
    EXPECT_FLOAT_EQ(s.magnitude, 100.0f);
    EXPECT_TRUE(s.allPositive);
    s = summarise(ch.lost(), ch.ics);  // the owed good frame
    EXPECT_FLOAT_EQ(s.magnitude, 100.0f);
    EXPECT_TRUE(s.allPositive);
    s = summarise(ch.good(100.0f), ch.ics);  // the bridge: random signs, gain 1
    EXPECT_NEAR(s.magnitude, 100.0f, 1e-3);
    EXPECT_FALSE(s.allPositive);
    s = summarise(ch.good(100.0f), ch.ics);  // the frame after the loss, unchanged
    EXPECT_FLOAT_EQ(s.magnitude, 100.0f);
    EXPECT_TRUE(s.allPositive);
}

TEST(ConcealmentTest, LongLossFadesMutesAndComesBackThroughAQuietBridge) {
    Channel ch;
    ch.good(100.0f);
    ch.good(100.0f);
    const float expected[] = {100.0f, 75.0f, 56.25f, 42.1875f, 0.0f, 0.0f, 0.0f};
    for (size_t i = 0; i < std::size(expected); ++i) {
        const Summary s = summarise(ch.lost(), ch.ics);
        EXPECT_NEAR(s.magnitude, expected[i], 1e-3) << "lost frame " << i + 1;
    }
    Summary s = summarise(ch.good(100.0f), ch.ics);
    EXPECT_NEAR(s.magnitude, 100.0f * std::pow(0.75f, 4), 1e-3);
    for (int i = 0; i < 3; ++i) {
        s = summarise(ch.good(100.0f), ch.ics);
        EXPECT_FLOAT_EQ(s.magnitude, 100.0f) << i;
        EXPECT_TRUE(s.allPositive);
    }
}

TEST(ConcealmentTest, LossBetweenShortFramesIsBridgedWithShortWindows) {
    Channel ch;
    ch.good(0.0f, kEightShort);
    ch.good(50.0f, kEightShort);
    ch.lost();
    decapl60* bridge = ch.good(80.0f, kEightShort);
    EXPECT_EQ(ch.ics.windowSequence, kEightShort);
    double energy = 0.0;
    for (int w = 0; w < 8; ++w)
        for (int k = 0; k < 128; ++k)
            energy += double(bridge->GetSpectrum(w)[k]) * bridge->GetSpectrum(w)[k];
    EXPECT_GT(energy, 0.0);
}

// The windows of a bridge join those around it.
TEST(ConcealmentTest, BridgeWindowJoinsItsNeighbours) {
    const struct {
        int previous, next, bridge;
    } cases[] = {{kOnlyLong, kOnlyLong, kOnlyLong},   {kOnlyLong, kEightShort, kLongStart},
                 {kEightShort, kOnlyLong, kLongStop}, {kEightShort, kEightShort, kEightShort},
                 {kLongStart, kOnlyLong, kLongStop},  {kLongStart, kEightShort, kStopStart}};
    for (const auto& c : cases) {
        Channel ch;
        ch.good(10.0f, c.previous);
        ch.good(10.0f, c.previous);
        ch.lost();
        ch.good(10.0f, c.next);
        EXPECT_EQ(ch.ics.windowSequence, c.bridge) << c.previous << " -> " << c.next;
    }
}

// Through the element decoder: a frame that goes missing (or arrives damaged) in the middle
// of a stream leaves the rest of the stream intact, and nothing is output for ever silent.
TEST(ConcealmentTest, DroppedAndDamagedFramesAreConcealedAndTheStreamRecovers) {
    const std::vector<uint8_t> file = aactest::readFile(aactest::fixturePath("lc_ms_44k.adts"));
    ASSERT_FALSE(file.empty());
    const aactest::CoreRun clean = aactest::decodeCore(file, true);
    const aactest::CoreRun dropped = aactest::decodeCore(file, true, true, [](int f) { return f == 20; });
    const aactest::CoreRun damaged = aactest::decodeCore(file, true, true, {}, [](int f, std::vector<uint8_t>& b) {
        if (f == 30)
            for (size_t i = 4; i < b.size(); ++i)
                b[i] = uint8_t(b[i] * 37 + 11);
    });
    ASSERT_EQ(clean.pcm.size(), dropped.pcm.size());
    ASSERT_GT(damaged.statuses.size(), 30u);
    EXPECT_NE(damaged.statuses[30], 0);  // the damage is detected, not decoded as audio
    const size_t frame = 1024 * 2;
    // Output lags one frame: frame f of the stream comes out in call f + 1.
    for (const auto* run : {&dropped, &damaged}) {
        const int lostAt = run == &dropped ? 20 : 30;
        for (size_t f = 0; f + 1 < clean.pcm.size() / frame; ++f) {
            const bool touched = int(f) >= lostAt && int(f) <= lostAt + 2;
            double diff = 0.0, level = 0.0;
            for (size_t i = f * frame; i < (f + 1) * frame; ++i) {
                diff += std::abs(clean.pcm[i] - run->pcm[i]);
                level += std::abs(run->pcm[i]);
            }
            if (!touched)
                EXPECT_EQ(diff, 0.0) << "frame " << f;
            else
                EXPECT_GT(level, 0.0) << "frame " << f << " should be bridged, not silent";
        }
    }
}

}  // namespace
