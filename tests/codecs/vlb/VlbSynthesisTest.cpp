// Filter banks, TNS and the output stage's limiter.
#include <gtest/gtest.h>

#include <bit>

#include <cmath>
#include <random>
#include <vector>

#include "VlbStreamWriter.h"
#include "VlbTestSupport.h"
#include "codecs/vlb/FilterBank.h"
#include "codecs/vlb/OutputStage.h"

using namespace vlbtest;
using vlb::WindowSet;

namespace {

constexpr double kPi = 3.14159265358979323846;

TEST(VlbFilterBank, ImdctMatchesTheDefinition) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> dist(-1000.0f, 1000.0f);
    for (unsigned lines : {128u, 256u, 1024u, 2048u}) {
        const unsigned n = 2 * lines;
        std::vector<float> in(lines), out(n);
        for (float& v : in)
            v = dist(rng);
        vlb::RunImdct(lines, in.data(), out.data());
        const double n0 = (n / 2.0 + 1.0) / 2.0;
        double worst = 0, peak = 0;
        for (unsigned i = 0; i < n; ++i) {
            double sum = 0;
            for (unsigned k = 0; k < lines; ++k)
                sum += in[k] * std::cos(2 * kPi / n * (i + n0) * (k + 0.5));
            sum *= 2.0 / n;
            worst = std::max(worst, std::fabs(sum - out[i]));
            peak = std::max(peak, std::fabs(sum));
        }
        EXPECT_LT(worst, peak * 1e-5) << lines;
    }
}

// Forward MDCT of one block with the same windows the decoder uses, scaled so that the
// decoder's IMDCT and overlap-add reconstruct the input.
std::vector<float> Analyse(const WindowSet& ws, const std::vector<double>& x, size_t at, uint32_t seq,
                           uint32_t prevShape, uint32_t shape) {
    const unsigned n = ws.n, half = n / 2;
    std::vector<float> spec(half, 0.0f);
    auto mdct = [&](const std::vector<double>& z, unsigned len, float* outSpec) {
        const double n0 = (len / 2.0 + 1.0) / 2.0;
        for (unsigned k = 0; k < len / 2; ++k) {
            double sum = 0;
            for (unsigned i = 0; i < len; ++i)
                sum += z[i] * std::cos(2 * kPi / len * (i + n0) * (k + 0.5));
            outSpec[k] = static_cast<float>(2 * sum);
        }
    };
    if (seq != 2) {
        std::vector<double> z(n);
        const auto& rise = seq == 3 ? ws.transitionWindow[prevShape] : ws.longWindow[prevShape];
        const auto& fall = seq == 1 ? ws.transitionWindow[shape] : ws.longWindow[shape];
        for (unsigned i = 0; i < half; ++i) {
            z[i] = x[at + i] * rise[i];
            z[half + i] = x[at + half + i] * fall[half - 1 - i];
        }
        mdct(z, n, spec.data());
    } else {
        const unsigned len = n / 8, lines = n / 16, base = n / 4 - n / 32;
        for (unsigned w = 0; w < 8; ++w) {
            std::vector<double> z(len);
            const auto& rise = ws.shortWindow[w == 0 ? prevShape : shape];
            const auto& fall = ws.shortWindow[shape];
            for (unsigned i = 0; i < lines; ++i) {
                z[i] = x[at + base + w * lines + i] * rise[i];
                z[lines + i] = x[at + base + w * lines + lines + i] * fall[lines - 1 - i];
            }
            mdct(z, len, spec.data() + w * lines);
        }
    }
    return spec;
}

// START, EIGHT_SHORT, STOP between long blocks, with window shapes changing on the way,
// rebuild a sine without seams: every sample after the first block matches.
TEST(VlbFilterBank, WindowSequencesAndShapeChangesReconstructASine) {
    for (unsigned n : {2048u, 4096u}) {
        const WindowSet& ws = WindowSet::ForLength(n);
        const unsigned half = n / 2;
        const uint32_t seqs[] = {0, 1, 2, 2, 3, 0, 1, 2, 3, 0};
        const uint32_t shapes[] = {0, 1, 1, 0, 0, 1, 0, 1, 1, 0};
        const size_t blocks = std::size(seqs);
        std::vector<double> x((blocks + 1) * half);
        for (size_t i = 0; i < x.size(); ++i)
            x[i] = 10000 * std::sin(2 * kPi * 0.0123 * i) * (i >= half ? 1 : 0);
        CVlbFilterBank bank(n, n / 16);
        std::vector<float> out;
        uint32_t prev = 0;
        for (size_t b = 0; b < blocks; ++b) {
            auto spec = Analyse(ws, x, b * half, seqs[b], prev, shapes[b]);
            ASSERT_EQ(bank.Synthesize(spec.data(), seqs[b], shapes[b]), 0);
            out.insert(out.end(), spec.begin(), spec.begin() + half);
            prev = shapes[b];
        }
        double worst = 0;
        for (size_t i = half; i < out.size(); ++i)
            worst = std::max(worst, std::fabs(out[i] - x[i]));
        EXPECT_LT(worst, 0.5) << "N " << n;
        std::vector<float> spec(half, 0.0f);
        EXPECT_EQ(bank.Synthesize(spec.data(), 4, 0), -1);
    }
}

TEST(VlbFilterBank, KbdWindowIsPowerComplementary) {
    for (auto [length, alpha] : {std::pair{2048u, 4.0}, {256u, 6.0}, {4096u, 4.0}, {512u, 6.0}}) {
        auto w = vlb::KbdWindowHalf(length, alpha);
        for (unsigned i = 0; i < length / 2; ++i)
            EXPECT_NEAR(w[i] * w[i] + w[length / 2 - 1 - i] * w[length / 2 - 1 - i], 1.0, 1e-9);
    }
}

FrameSpec TnsFrame(std::function<void(BitWriter&)> tns) {
    FrameSpec f;
    f.ics[0].maxSfb = 40;
    f.ics[0].quantized = Tone(false, 300, 6);
    for (int k = 100; k < 400; k += 13)
        f.ics[0].quantized[k] = 2;
    f.ics[0].tns = std::move(tns);
    return f;
}

std::vector<float> DecodeSamples(const FrameSpec& f) {
    auto frame = MakeFrame(f);
    Decoded d = DecodeAll(Join({frame, frame, frame}));
    return d.output.samples.empty() ? std::vector<float>{} : d.output.samples[0];
}

TEST(VlbTns, FiltersThatCoverNoLinesLeaveTheSpectrumAlone) {
    const auto plain = DecodeSamples(TnsFrame(nullptr));
    ASSERT_FALSE(plain.empty());
    auto filter = [](unsigned length, unsigned order) {
        return [=](BitWriter& w) {
            w.Put(1, 2);  // one filter
            w.Put(1, 1);  // coef_res
            w.Put(length, 6);
            w.Put(order, 5);
            if (order) {
                w.Put(0, 1);
                w.Put(0, 1);
                for (unsigned i = 0; i < order; ++i)
                    w.Put(5, 4);
            }
        };
    };
    EXPECT_EQ(DecodeSamples(TnsFrame(filter(20, 0))), plain);  // order 0
    EXPECT_EQ(DecodeSamples(TnsFrame(filter(5, 4))), plain);   // bands 44..49: above max_sfb 40
    EXPECT_NE(DecodeSamples(TnsFrame(filter(40, 4))), plain);  // covers the tone
}

// ---------------------------------------------------------------------------------------
// Output stage

std::vector<float> Limit(COutputStage& stage, std::vector<float> in) {
    const unsigned pieces = static_cast<unsigned>(in.size() / 128);
    float* p[1] = {in.data()};
    for (unsigned i = 0; i < pieces; ++i)
        stage.Process(p, 128, i);
    return in;
}

TEST(VlbOutputStage, SamplesWithinRangeAreOnlyDelayedAndRounded) {
    COutputStage stage(1);
    stage.SetRate(44100);
    std::vector<float> in(1024);
    for (size_t i = 0; i < in.size(); ++i)
        in[i] = static_cast<float>(30000 * std::sin(0.01 * i));
    auto out = Limit(stage, in);
    for (size_t i = 0; i < 10; ++i)
        EXPECT_EQ(out[i], 0.5f);
    for (size_t i = 10; i < in.size(); ++i) {
        float v = in[i - 10];
        EXPECT_FLOAT_EQ(out[i], v >= 0 ? v + 0.5f : v - 0.5f) << i;
    }
}

TEST(VlbOutputStage, EverySampleOfAnyPieceLengthIsClampedAndRoundedAlike) {
    // Signed zeros, the clamp limits, halves and values just inside them, in pieces whose
    // length is no multiple of four; a loud piece (-32768.4) and a quiet one.
    const std::vector<float> edges = {0.0f,      -0.0f,    0.49999997f, -0.49999997f, 1e-45f, -1e-45f, 32767.0f,
                                      -32767.0f, 32766.6f, -32766.6f,   2.5f,         -2.5f,  100.25f};
    for (const float extra : {0.0f, -32768.4f}) {
        for (const unsigned n : {127u, 13u, 126u}) {
            COutputStage stage(1);
            stage.SetRate(44100);
            std::vector<float> in(n);
            for (unsigned i = 0; i < n; ++i)
                in[i] = edges[i % edges.size()];
            if (extra != 0.0f) in[n - 1] = extra;
            std::vector<float> out = in;
            float* p[1] = {out.data()};
            stage.Process(p, n, 0);
            for (unsigned i = 10; i < n; ++i) {
                float v = in[i - 10];
                v = v < -32768.0f ? -32768.0f : v;
                const float expected = v + (v >= 0.0f ? 0.5f : -0.5f);
                EXPECT_EQ(std::bit_cast<uint32_t>(out[i]), std::bit_cast<uint32_t>(expected)) << n << " " << i;
            }
        }
    }
}

TEST(VlbOutputStage, PeakIsLimitedAndTheSamplesBeforeItRampDown) {
    COutputStage stage(1);
    stage.SetRate(44100);
    std::vector<float> in(256, 1000.0f);
    in[100] = 2 * 32767.0f;
    auto out = Limit(stage, in);
    const float gain = (out[110] - 0.5f) / in[100];
    EXPECT_NEAR(gain, 0.487f, 0.002f);
    EXPECT_LT(out[110], 32767.5f);
    const float d = 1.0f - gain;
    for (int k = 1; k <= 9; ++k)
        EXPECT_NEAR(out[110 - k] - 0.5f, 1000.0f * (1.0f - 0.1f * (10 - k) * d), 0.05f) << k;
    EXPECT_NEAR(out[109] - 0.5f, 538.0f, 2.0f);
}

TEST(VlbOutputStage, HugeSampleIsScaledExactlyToTheThreshold) {
    COutputStage stage(1);
    stage.SetRate(48000);
    EXPECT_FLOAT_EQ(stage.Gain(0, 200000.0f), 32767.0f / 200000.0f);
    EXPECT_FLOAT_EQ(stage.Envelope(0), 103542.72f);
}

TEST(VlbOutputStage, EnvelopeHoldsTwentyMillisecondsThenDecays) {
    COutputStage stage(1);
    stage.SetRate(44100);
    EXPECT_EQ(stage.HoldTime(), 882);
    stage.Gain(0, 50000.0f);
    for (int i = 0; i < 882; ++i)
        stage.Gain(0, 0.0f);
    EXPECT_FLOAT_EQ(stage.Envelope(0), 50000.0f);
    stage.Gain(0, 0.0f);
    EXPECT_FLOAT_EQ(stage.Envelope(0), 50000.0f * (1.0f - 20.0f / 44100.0f));
    int steps = 0;
    while (stage.Envelope(0) > 0.0f && steps < 1000000) {
        stage.Gain(0, 0.0f);
        ++steps;
    }
    EXPECT_NEAR(steps, std::log(32767.0 / 50000.0) / std::log(1.0 - 20.0 / 44100.0), 3);
}

TEST(VlbOutputStage, RatesOutsideTheTableUseThoseOf96000) {
    struct Case {
        uint32_t rate;
        uint16_t hold;
    };
    for (Case c : {Case{7350, 1920}, Case{96000, 1920}, Case{8000, 160}, Case{22050, 441}, Case{12345, 1920}}) {
        COutputStage stage(2);
        stage.SetRate(c.rate);
        EXPECT_EQ(stage.HoldTime(), c.hold) << c.rate;
        const float rate = c.hold == 1920 ? 96000.0f : static_cast<float>(c.rate);
        EXPECT_FLOAT_EQ(stage.DecayFactor(), 1.0f - 20.0f / rate) << c.rate;
    }
    EXPECT_FLOAT_EQ(static_cast<float>(VlbLimiterGainTable()[0]), 0.987f);
}

TEST(VlbOutputStage, NonFiniteSamplesBecomeSilence) {
    COutputStage stage(1);
    stage.SetRate(44100);
    std::vector<float> in(128, 100.0f);
    in[5] = std::nanf("");
    in[6] = INFINITY;
    auto out = Limit(stage, in);
    for (float v : out)
        EXPECT_TRUE(std::isfinite(v));
    EXPECT_EQ(out[15], 0.5f);
    EXPECT_EQ(out[16], 0.5f);
}

}  // namespace
