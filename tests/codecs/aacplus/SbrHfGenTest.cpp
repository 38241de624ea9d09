// HF generator: patch construction and chirp factors; envelope adjuster on a transient envelope.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <vector>

#include "codecs/aacplus/SbrDecoder.h"
#include "codecs/aacplus/SbrFreqTables.h"
#include "codecs/aacplus/SbrHfAdjust.h"
#include "codecs/aacplus/SbrHfGen.h"

using namespace aacplus;

namespace {

SbrHfGenerator generator(float fixedChirp = 0.0f) {
    SbrDecoderConfig c;
    sbrGetDefaultConfig(&c, 0);
    c.setFloat(12, fixedChirp);
    SbrHfGenerator g;
    EXPECT_EQ(sbrHfGeneratorOpen(g, c, 64, 0, 32), nullptr);
    return g;
}

struct Rows {
    float re[40][64] = {}, im[40][64] = {};
    float* pr[40];
    float* pi[40];
    Rows() {
        for (int r = 0; r < 40; ++r) {
            pr[r] = re[r];
            pi[r] = im[r];
        }
    }
};

}  // namespace

TEST(SbrHfGen, PatchesCoverTheHighBandFromTheLowBand) {
    int32_t fMaster[65], nMaster;
    ASSERT_EQ(sbrComputeMasterTable(fMaster, nMaster, 14, 47, 2, 1), nullptr);
    const int32_t fNoise[4] = {14, 20, 30, 47};
    SbrHfGenerator g = generator();
    ASSERT_EQ(sbrBuildPatches(g, 14, fMaster, nMaster, fNoise, 3, 44100, 64, 0), nullptr);
    ASSERT_GE(g.numPatches, 1);
    ASSERT_LE(g.numPatches, 6);
    int next = 14;
    for (int p = 0; p < g.numPatches; ++p) {
        const SbrPatch& s = g.patches[p];
        EXPECT_EQ(s.targetStart, next) << p;
        EXPECT_EQ(s.sourceStart, s.targetStart - s.shift) << p;
        EXPECT_EQ(s.shift % 2, 0) << p;  // keeps the spectrum's orientation
        EXPECT_GE(s.sourceStart, 1) << p;
        EXPECT_LE(s.sourceEnd, 14) << p;
        next += s.width;
    }
    EXPECT_EQ(next, 47);
    EXPECT_EQ(g.maxTargetEnd, 47);
}

TEST(SbrHfGen, PatchConstructionFailures) {
    SbrHfGenerator g = generator();
    const int32_t fNoise[2] = {4, 40};
    // k0 = 4 with the lowest source band 1: too little to copy from.
    int32_t m4[65], n4;
    ASSERT_EQ(sbrComputeMasterTable(m4, n4, 4, 12, 0, 0), nullptr);
    EXPECT_NE(sbrBuildPatches(g, 4, m4, n4, fNoise, 1, 32000, 64, 0), nullptr);
    // A very low k0 with a high k2 would need more than six patches.
    int32_t m5[65], n5;
    ASSERT_EQ(sbrComputeMasterTable(m5, n5, 5, 53, 0, 0), nullptr);
    EXPECT_NE(sbrBuildPatches(g, 5, m5, n5, fNoise, 1, 32000, 64, 0), nullptr);
}

TEST(SbrHfGen, ChirpFactors) {
    int32_t fMaster[65], nMaster;
    ASSERT_EQ(sbrComputeMasterTable(fMaster, nMaster, 14, 47, 2, 1), nullptr);
    const int32_t fNoise[4] = {14, 20, 30, 47};
    struct Case {
        float fixed;
        uint8_t prevMode, mode;
        float expected;  // after smoothing with a previous factor of 0
    } cases[] = {
        {0.5f, 0, 3, 0.90625f * 0.5f},  // fixed factor whatever the mode
        {0.0f, 0, 1, 0.90625f * 0.6f},  // transition level after mode 0
        {0.0f, 1, 1, 0.90625f * 0.75f}, {0.0f, 1, 0, 0.90625f * 0.6f}, {0.0f, 0, 0, 0.0f},
        {0.0f, 2, 3, 0.90625f * 0.98f},
    };
    for (const Case& c : cases) {
        SbrHfGenerator g = generator(c.fixed);
        ASSERT_EQ(sbrBuildPatches(g, 14, fMaster, nMaster, fNoise, 3, 44100, 64, 0), nullptr);
        SbrFrameData f;
        f.numEnv = 1;
        f.tE[0] = 0;
        f.tE[1] = 16;
        for (int q = 0; q < 3; ++q) {
            f.invfMode[q] = c.mode;
            f.prevInvfMode[q] = c.prevMode;
        }
        Rows rows;
        sbrHfGenerate(rows.pr + 2, rows.pi + 2, rows.pr + 2, rows.pi + 2, 2, f, g, 0, 0);
        for (int q = 0; q < 3; ++q)
            EXPECT_FLOAT_EQ(g.chirp[q], c.expected) << int(c.prevMode) << "->" << int(c.mode);
        EXPECT_EQ(f.prevInvfMode[0], c.mode);
    }
    // Smoothing towards a lower value is faster; tiny factors become 0, large ones are capped.
    SbrHfGenerator g = generator(0.01f);
    ASSERT_EQ(sbrBuildPatches(g, 14, fMaster, nMaster, fNoise, 3, 44100, 64, 0), nullptr);
    g.prevChirp[0] = 0.0f;
    SbrFrameData f;
    Rows rows;
    sbrHfGenerate(rows.pr + 2, rows.pi + 2, rows.pr + 2, rows.pi + 2, 2, f, g, 0, 0);
    EXPECT_EQ(g.chirp[0], 0.0f);
    SbrHfGenerator h = generator(1.5f);
    ASSERT_EQ(sbrBuildPatches(h, 14, fMaster, nMaster, fNoise, 3, 44100, 64, 0), nullptr);
    sbrHfGenerate(rows.pr + 2, rows.pi + 2, rows.pr + 2, rows.pi + 2, 2, f, h, 0, 0);
    EXPECT_EQ(h.chirp[0], 0.99609375f);
}

TEST(SbrHfGen, SilentLowBandGivesSilentHighBand) {
    int32_t fMaster[65], nMaster;
    ASSERT_EQ(sbrComputeMasterTable(fMaster, nMaster, 14, 47, 2, 1), nullptr);
    const int32_t fNoise[4] = {14, 20, 30, 47};
    SbrHfGenerator g = generator();
    ASSERT_EQ(sbrBuildPatches(g, 14, fMaster, nMaster, fNoise, 3, 44100, 64, 0), nullptr);
    SbrFrameData f;
    Rows rows;
    for (int r = 0; r < 40; ++r)
        for (int k = 14; k < 64; ++k)
            rows.re[r][k] = 123.0f;  // stale high band
    sbrHfGenerate(rows.pr + 2, rows.pi + 2, rows.pr + 2, rows.pi + 2, 2, f, g, 0, 0);
    for (int r = 2; r < 34; ++r)
        for (int k = 14; k < 64; ++k)
            ASSERT_EQ(rows.re[r][k], 0.0f) << r << " " << k;
}

TEST(SbrHfAdjust, TransientEnvelopeGetsNoNoise) {
    // Tables for k0 14 .. k2 47 at 44100; a silent high band and a strong noise floor.
    SbrEnvelopeAdjuster adj;
    ASSERT_EQ(sbrEnvelopeAdjusterOpen(adj, 32, 16), nullptr);
    SbrHeader h;
    h.startFreq = 5;
    h.stopFreq = 9;
    h.reset = 1;
    h.smoothingMode = 1;
    ASSERT_EQ(sbrComputeBandTables(adj.tables, h, 64, 44100), nullptr);
    const int32_t starts[1] = {14};
    ASSERT_EQ(sbrComputeLimiterTable(adj.tables.fLim, adj.tables.nLim, adj.tables.fLow, adj.tables.nLow, starts, 1, 0),
              nullptr);
    SbrFrameData f;
    f.numEnv = 2;
    f.tE[0] = 0;
    f.tE[1] = 8;
    f.tE[2] = 16;
    f.freqRes[0] = f.freqRes[1] = 1;
    f.lA = 0;  // the first envelope holds a transient
    f.numNoise = 2;
    f.tQ[0] = 0;
    f.tQ[1] = 8;
    f.tQ[2] = 16;
    for (int i = 0; i < 2 * adj.tables.nHigh; ++i)
        f.env[i] = 64.0f * 1024.0f;
    for (int i = 0; i < 2 * kSbrMaxNoiseBands; ++i)
        f.noise[i] = 1.0f;  // noise as strong as the envelope
    Rows rows;
    sbrAdjustEnvelope(adj, h, f, rows.pr + 2, rows.pi + 2, 0, 0);
    double transient = 0, after = 0;
    for (int r = 2; r < 18; ++r)
        for (int k = 14; k < 47; ++k)
            transient += double(rows.re[r][k]) * rows.re[r][k] + double(rows.im[r][k]) * rows.im[r][k];
    for (int r = 18; r < 34; ++r)
        for (int k = 14; k < 47; ++k)
            after += double(rows.re[r][k]) * rows.re[r][k] + double(rows.im[r][k]) * rows.im[r][k];
    EXPECT_EQ(transient, 0.0);
    EXPECT_GT(after, 0.0);
    // Above the replicated range nothing is added.
    for (int r = 2; r < 34; ++r)
        for (int k = 47; k < 64; ++k)
            ASSERT_EQ(rows.re[r][k], 0.0f);
    EXPECT_EQ(adj.lAPrev, -1);
}

// The patched high band against the covariance method summed directly in double: complex
// second-order prediction per source band over the 38 slots, chirp factor bw on every band.
// Float arithmetic in the generator keeps each value within 1e-4 of the band's scale.
TEST(SbrHfGen, PredictionMatchesTheCovarianceMethod) {
    int32_t fMaster[65], nMaster;
    ASSERT_EQ(sbrComputeMasterTable(fMaster, nMaster, 14, 47, 2, 1), nullptr);
    const int32_t fNoise[4] = {14, 20, 30, 47};
    SbrHfGenerator g = generator(0.5f);
    ASSERT_EQ(sbrBuildPatches(g, 14, fMaster, nMaster, fNoise, 3, 44100, 64, 0), nullptr);
    Rows rows;
    // A decaying resonance per band plus noise, so that the prediction is far from zero.
    uint32_t seed = 7;
    auto noise = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return float(int32_t(seed >> 8) - (1 << 23)) / float(1 << 23);
    };
    for (int k = 0; k < 14; ++k) {
        double pr = 0, pi = 0;
        for (int r = 0; r < 40; ++r) {
            const double a = 0.9, w = 0.3 + 0.1 * k;
            const double nr = a * (pr * std::cos(w) - pi * std::sin(w)) + 100.0 * noise();
            const double ni = a * (pr * std::sin(w) + pi * std::cos(w)) + 100.0 * noise();
            rows.re[r][k] = float(nr);
            rows.im[r][k] = float(ni);
            pr = nr;
            pi = ni;
        }
    }
    const Rows source = rows;
    SbrFrameData f;
    sbrHfGenerate(rows.pr + 2, rows.pi + 2, rows.pr + 2, rows.pi + 2, 2, f, g, 0, 0);
    for (int q = 1; q < 3; ++q)
        ASSERT_EQ(g.chirp[q], g.chirp[0]);
    const double bw = g.chirp[0];
    ASSERT_GT(bw, 0.0);

    auto x = [&source](int n, int k) {  // slot n counted from the HF adjustment row
        return std::complex<double>(source.re[n + 2][k], source.im[n + 2][k]);
    };
    for (int p = 0; p < g.numPatches; ++p) {
        const SbrPatch& patch = g.patches[p];
        for (int k = patch.targetStart; k < patch.targetStart + patch.width; ++k) {
            const int src = k - patch.shift;
            std::complex<double> phi01, phi02, phi12;
            double phi11 = 0, phi22 = 0;
            for (int n = 0; n < 38; ++n) {
                phi01 += x(n, src) * std::conj(x(n - 1, src));
                phi02 += x(n, src) * std::conj(x(n - 2, src));
                phi12 += x(n - 1, src) * std::conj(x(n - 2, src));
                phi11 += std::norm(x(n - 1, src));
                phi22 += std::norm(x(n - 2, src));
            }
            const double det = phi22 * phi11 - std::norm(phi12) * 0.999999;
            const std::complex<double> a1 = (phi01 * phi12 - phi02 * phi11) / det;
            const std::complex<double> a0 = -(phi01 + a1 * std::conj(phi12)) / phi11;
            ASSERT_LT(std::norm(a0), 16.0);
            ASSERT_LT(std::norm(a1), 16.0);
            double scale = 0;
            for (int n = 0; n < 32; ++n)
                scale = std::max(scale, std::abs(x(n, src)));
            for (int n = 0; n < 32; ++n) {
                const std::complex<double> want = x(n, src) + bw * a0 * x(n - 1, src) + bw * bw * a1 * x(n - 2, src);
                EXPECT_NEAR(rows.re[n + 2][k], want.real(), 1e-4 * scale) << "band " << k << " slot " << n;
                EXPECT_NEAR(rows.im[n + 2][k], want.imag(), 1e-4 * scale) << "band " << k << " slot " << n;
            }
        }
    }
}
