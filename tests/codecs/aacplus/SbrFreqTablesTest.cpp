// Frequency band tables: start/stop bands, master, high/low, noise and limiter tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "codecs/aacplus/SbrFreqTables.h"

using namespace aacplus;

namespace {

std::vector<int32_t> master(int32_t k0, int32_t k2, int scale, int alter) {
    int32_t t[65];
    int32_t n = 0;
    if (sbrComputeMasterTable(t, n, k0, k2, scale, alter)) return {};
    return std::vector<int32_t>(t, t + n + 1);
}

SbrHeader header(int start, int stop, int xover = 0, int noiseBands = 2, int scale = 2, int alter = 1) {
    SbrHeader h;
    h.startFreq = start;
    h.stopFreq = stop;
    h.xoverBand = xover;
    h.noiseBands = noiseBands;
    h.freqScale = scale;
    h.alterScale = alter;
    h.reset = 1;
    return h;
}

}  // namespace

TEST(SbrFreqTables, StartStopBandsAcrossRatesAndLimits) {
    struct Case {
        int32_t fs;
        int start, stop;
        bool ok;
        int32_t k0, k2;
    } cases[] = {
        // 44100: startMin 12, stopMin 23; stop 9 sums the nine narrowest steps.
        {44100, 5, 9, true, 14, 47},
        {44100, 5, 14, true, 14, 28},
        {44100, 5, 15, true, 14, 42},
        // span 36: too wide at 44100, fine at 32000 (startMin 16).
        {44100, 9, 15, false, 18, 54},
        {32000, 6, 15, true, 18, 54},
        // 48000 allows at most 32.
        {48000, 0, 13, false, 0, 0},
        // 3 * k0 above 64 is clamped to 64.
        {32000, 15, 15, true, 32, 64},
        // 16000: startMin 24, offsets from -8.
        {16000, 0, 14, true, 16, 32},
    };
    for (const Case& c : cases) {
        int32_t k0 = 0, k2 = 0;
        const ErrorDescriptor* e = sbrComputeStartStop(c.fs, 64, c.start, c.stop, k0, k2);
        EXPECT_EQ(e == nullptr, c.ok) << c.fs << " " << c.start << " " << c.stop << " -> " << k0 << ".." << k2;
        if (c.ok) {
            EXPECT_EQ(k0, c.k0) << c.fs << " " << c.start;
            EXPECT_EQ(k2, c.k2) << c.fs << " " << c.stop;
        }
    }
}

TEST(SbrFreqTables, FailureDescriptorIsTheGenericRecord) {
    int32_t k0, k2;
    const ErrorDescriptor* e = sbrComputeStartStop(44100, 64, 9, 15, k0, k2);
    ASSERT_NE(e, nullptr);
    EXPECT_STREQ(e->file, "gencodeclib/errorhnd");
    EXPECT_EQ(e->line, 0);
    EXPECT_STREQ(e->name, "genericError");
    EXPECT_STREQ(e->text, "generic Error");
}

TEST(SbrFreqTables, LinearMasterTableSpreadsTheRemainder) {
    // 11 bands of width 1 in 10 even bands: the top band takes the extra one.
    EXPECT_EQ(master(10, 21, 0, 0), (std::vector<int32_t>{10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 21}));
    // Width 2, 6 bands reach 22: the lowest band gives one back.
    EXPECT_EQ(master(10, 21, 0, 1), (std::vector<int32_t>{10, 11, 13, 15, 17, 19, 21}));
    // Fewer than one band fails.
    EXPECT_TRUE(master(10, 11, 0, 0).empty());
}

TEST(SbrFreqTables, LogarithmicMasterTable) {
    // One region (ratio 2), 12 bands per octave: widths sorted ascending.
    EXPECT_EQ(master(16, 32, 1, 0), (std::vector<int32_t>{16, 17, 18, 19, 20, 21, 22, 23, 24, 26, 28, 30, 32}));
    // Two regions: continuous, ascending widths in each region, ends at k2.
    const auto m = master(14, 47, 2, 1);
    ASSERT_FALSE(m.empty());
    EXPECT_EQ(m.front(), 14);
    EXPECT_EQ(m.back(), 47);
    EXPECT_EQ(m.size() % 2, 1u);
    for (size_t i = 1; i < m.size(); ++i)
        EXPECT_LT(m[i - 1], m[i]);
    EXPECT_EQ(m[10], 28);  // 10 bands in the first octave, split at 2 * k0
}

TEST(SbrFreqTables, HighLowAndNoiseTables) {
    SbrBandTables t;
    SbrHeader h = header(5, 9);
    ASSERT_EQ(sbrComputeBandTables(t, h, 64, 44100), nullptr);
    EXPECT_EQ(t.k0, 14);
    EXPECT_EQ(t.k2, 47);
    EXPECT_EQ(t.nHigh, t.nMaster);
    EXPECT_EQ(t.nLow, (t.nHigh + 1) / 2);
    EXPECT_EQ(t.kx, 14);
    EXPECT_EQ(t.kx + t.m, 47);
    EXPECT_EQ(t.fLow[0], t.fHigh[0]);
    EXPECT_EQ(t.fLow[t.nLow], t.fHigh[t.nHigh]);
    for (int i = 1; i <= t.nLow; ++i)
        EXPECT_EQ(t.fLow[i], t.fHigh[2 * i - (t.nHigh & 1)]);
    // NQ = 2 * log2(47 / 14) rounded = 3.
    EXPECT_EQ(h.nq, 3);
    EXPECT_EQ(t.fNoise[0], t.fLow[0]);
    EXPECT_EQ(t.fNoise[t.nNoise], t.fLow[t.nLow]);

    SbrBandTables one;
    SbrHeader h0 = header(5, 9, 0, 0);
    ASSERT_EQ(sbrComputeBandTables(one, h0, 64, 44100), nullptr);
    EXPECT_EQ(h0.nq, 1);
    EXPECT_EQ(one.nNoise, 1);

    // A crossover band at the master table's end leaves no high band.
    SbrBandTables x;
    SbrHeader hx = header(5, 9);
    ASSERT_EQ(sbrComputeBandTables(x, hx, 64, 44100), nullptr);
    hx.xoverBand = x.nMaster;
    hx.reset = 0;
    EXPECT_NE(sbrComputeBandTables(x, hx, 64, 44100), nullptr);
    hx.xoverBand = 2;
    ASSERT_EQ(sbrComputeBandTables(x, hx, 64, 44100), nullptr);
    EXPECT_EQ(x.kx, x.fMaster[2]);
}

TEST(SbrFreqTables, SinusoidFlagsFollowTheTopBandOnRebuild) {
    SbrBandTables t;
    SbrHeader h = header(5, 9);
    ASSERT_EQ(sbrComputeBandTables(t, h, 64, 44100), nullptr);
    const int nh = t.nHigh;
    for (int i = 0; i < nh; ++i)
        t.prevHarmonics[i] = float(i + 1);
    // Two fewer high bands: the top ones survive.
    h.xoverBand = 2;
    h.reset = 0;
    ASSERT_EQ(sbrComputeBandTables(t, h, 64, 44100), nullptr);
    ASSERT_EQ(t.nHigh, nh - 2);
    for (int i = 0; i < t.nHigh; ++i)
        EXPECT_EQ(t.prevHarmonics[i], float(i + 3));
    // Back to more bands: old values move up, the new low ones are 0.
    h.xoverBand = 0;
    ASSERT_EQ(sbrComputeBandTables(t, h, 64, 44100), nullptr);
    EXPECT_EQ(t.prevHarmonics[0], 0.0f);
    EXPECT_EQ(t.prevHarmonics[1], 0.0f);
    EXPECT_EQ(t.prevHarmonics[2], 3.0f);
    EXPECT_EQ(t.prevHarmonics[nh - 1], float(nh));
}

TEST(SbrFreqTables, LimiterTable) {
    const int32_t fLow[] = {14, 16, 18, 20, 23, 26, 30, 35, 40, 47};
    const int nLow = 9;
    int32_t table[13];
    int32_t count = 0;
    ASSERT_EQ(sbrComputeLimiterTable(table, count, fLow, nLow, nullptr, 0, 0), nullptr);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(table[0], 0);
    EXPECT_EQ(table[1], 33);

    const int32_t patches[] = {14, 26, 38};
    for (int bands = 1; bands <= 3; ++bands) {
        ASSERT_EQ(sbrComputeLimiterTable(table, count, fLow, nLow, patches, 3, bands), nullptr) << bands;
        EXPECT_GE(count, 1);
        EXPECT_LE(count, 12);
        EXPECT_EQ(table[0], 0);
        EXPECT_EQ(table[count], 33);
        for (int i = 1; i <= count; ++i)
            EXPECT_LT(table[i - 1], table[i]);
        // Patch borders always stay.
        EXPECT_NE(std::find(table, table + count + 1, 12), table + count + 1) << bands;
        EXPECT_NE(std::find(table, table + count + 1, 24), table + count + 1) << bands;
    }
    // Narrower limiter bands give at least as many bands.
    int32_t c1, c3;
    (void)sbrComputeLimiterTable(table, c1, fLow, nLow, patches, 3, 1);
    (void)sbrComputeLimiterTable(table, c3, fLow, nLow, patches, 3, 3);
    EXPECT_LE(c1, c3);
}

TEST(SbrFreqTables, ShellSort) {
    std::vector<int32_t> v = {5, -1, 9, 3, 3, 0, 42, 7, 1, 8, 2, 6, 4, 11};
    std::vector<int32_t> sorted = v;
    std::sort(sorted.begin(), sorted.end());
    sbrShellSort(v.data(), int(v.size()));
    EXPECT_EQ(v, sorted);
}
