// Streams with noise substitution against ffmpeg: the noise differs by design (each decoder
// has its own generator), so they are compared by band energy instead of sample by sample.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <vector>

#include "CoreHarness.h"
#include "support/Pcm.h"

namespace {

using namespace aactest;

void fft(std::vector<std::complex<double>>& a) {
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const std::complex<double> wl = std::polar(1.0, -2.0 * M_PI / double(len));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> w(1.0);
            for (size_t k = 0; k < len / 2; ++k, w *= wl) {
                const auto u = a[i + k], v = a[i + k + len / 2] * w;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
            }
        }
    }
}

// Energy per band (edges in FFT bins of a 2048-point transform) over chunks of `chunk`
// frames of 1024 samples, one channel. result[chunk][band].
std::vector<std::vector<double>> bandEnergies(const std::vector<int16_t>& pcm, int channels, int channel,
                                              const std::vector<int>& edges, size_t chunk) {
    const size_t frames = pcm.size() / size_t(channels) / 1024;
    std::vector<std::vector<double>> out;
    std::vector<double> acc(edges.size() - 1, 0.0);
    for (size_t f = 0; f + 2 <= frames; ++f) {
        std::vector<std::complex<double>> a(2048);
        for (size_t i = 0; i < 2048; ++i) {
            const double hann = 0.5 - 0.5 * std::cos(2.0 * M_PI * double(i) / 2048.0);
            a[i] = hann * pcm[(f * 1024 + i) * size_t(channels) + size_t(channel)];
        }
        fft(a);
        for (size_t b = 0; b + 1 < edges.size(); ++b)
            for (int k = edges[b]; k < edges[b + 1]; ++k)
                acc[b] += std::norm(a[size_t(k)]);
        if ((f + 1) % chunk == 0) {
            out.push_back(acc);
            std::fill(acc.begin(), acc.end(), 0.0);
        }
    }
    return out;
}

struct PnsCase {
    const char* file;  // fixture, or a conformance vector when `conformance`
    bool conformance;
};

void compareByBandEnergy(const std::string& path) {
    const std::vector<uint8_t> file = readFile(path);
    ASSERT_FALSE(file.empty()) << path;
    const CoreRun run = decodeCore(file);
    EXPECT_EQ(run.errors, 0);
    zymtest::Pcm ref;
    ASSERT_TRUE(zymtest::DecodeWithFfmpeg(path, ref));
    ASSERT_EQ(ref.channels, run.channels);
    // Bands of about a third of an octave from 170 Hz up to 16 kHz at 44.1 kHz.
    const std::vector<int> edges = {8, 12, 16, 24, 32, 48, 64, 96, 128, 192, 256, 384, 512, 640, 768};
    double worst = 0.0;
    int compared = 0;
    for (int c = 0; c < run.channels; ++c) {
        const auto ours = bandEnergies(run.pcm, run.channels, c, edges, 43);
        const auto theirs = bandEnergies(ref.samples, ref.channels, c, edges, 43);
        ASSERT_FALSE(ours.empty());
        for (size_t t = 0; t < std::min(ours.size(), theirs.size()); ++t)
            for (size_t b = 0; b < ours[t].size(); ++b) {
                // Bands far below full scale carry too little to judge.
                if (theirs[t][b] < 1e9 * (edges[b + 1] - edges[b])) continue;
                worst = std::max(worst, std::fabs(10.0 * std::log10(ours[t][b] / theirs[t][b])));
                ++compared;
            }
    }
    EXPECT_GT(compared, 20);
    // About one second per chunk: random noise of equal energy stays within 1.5 dB.
    EXPECT_LE(worst, 1.5) << path;
    std::printf("[ measured ] %s: worst band-energy difference %.2f dB over %d band-seconds\n", path.c_str(), worst,
                compared);
}

TEST(NoiseSubstitutionTest, BandEnergiesMatchFfmpeg) {
    if (!haveTool("ffmpeg")) GTEST_SKIP() << "ffmpeg not installed";
    compareByBandEnergy(fixturePath("lc_pns_44k.adts"));
}

TEST(NoiseSubstitutionTest, IsoNoiseStreamConformance) {
    if (vectors().empty()) GTEST_SKIP() << "ZYM_SHARED_DIR not set: no conformance vectors";
    if (!haveTool("ffmpeg")) GTEST_SKIP() << "ffmpeg not installed";
    compareByBandEnergy(vectors() + "iso14496-4/al18_44.adts.aac");
}

}  // namespace
