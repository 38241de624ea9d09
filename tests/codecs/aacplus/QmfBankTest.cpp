// QMF banks: analysis followed by synthesis reconstructs the signal.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <string>
#include <vector>

#include "codecs/aacplus/QmfBank.h"

using namespace aacplus;

namespace {

// Runs analysis then synthesis over `frames` frames of 1024 input samples; bands above
// `highEnd` are dropped. Returns the output (1024 or 2048 samples per frame).
std::vector<float> roundTrip(const std::vector<float>& in, int down, int lowPower = 0) {
    QmfBank a, s;
    EXPECT_EQ(qmfAnalysisOpen(a, 0, 2, down, 1024, lowPower), nullptr);
    EXPECT_EQ(qmfSynthesisOpen(s, 0, down, 2048 / down, 1.0f, 1.0f, lowPower), nullptr);
    s.rangeStart = 32 / down;
    s.rangeEnd = s.bands;
    std::vector<float> time(288 + 1024, 0.0f);
    float re[32][64] = {}, im[32][64] = {};
    float* rr[32];
    float* ri[32];
    for (int i = 0; i < 32; ++i) {
        rr[i] = re[i];
        ri[i] = im[i];
    }
    std::vector<float> out;
    std::vector<float> frameOut(2048 / down);
    for (size_t f = 0; f + 1024 <= in.size(); f += 1024) {
        std::copy(time.end() - 288, time.end(), time.begin());
        std::copy(in.begin() + long(f), in.begin() + long(f) + 1024, time.begin() + 288);
        qmfAnalysisKernel.load()(time.data(), rr, ri, a);
        for (int i = 0; i < 32; ++i)
            for (int k = 32; k < 64; ++k)
                re[i][k] = im[i][k] = 0.0f;
        qmfSynthesisKernel.load()(rr, ri, frameOut.data(), s);
        out.insert(out.end(), frameOut.begin(), frameOut.end());
    }
    qmfClose(a);
    qmfClose(s);
    qmfUseComplexKernels();
    return out;
}

std::vector<float> sine(double freq, double rate, int n, double amp = 10000.0) {
    std::vector<float> v(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        v[size_t(i)] = float(amp * std::sin(2 * M_PI * freq * i / rate));
    return v;
}

// Best delay (0..maxDelay) and SNR in dB of `out` against `ref`, compared over [from, to).
std::pair<int, double> bestMatch(const std::vector<float>& ref, const std::vector<float>& out, int maxDelay, int from,
                                 int to) {
    int best = 0;
    double bestSnr = -1e9;
    for (int d = 0; d <= maxDelay; ++d) {
        double sig = 0, err = 0;
        for (int i = from; i < to; ++i) {
            const double r = ref[size_t(i - d)];
            sig += r * r;
            err += (out[size_t(i)] - r) * (out[size_t(i)] - r);
        }
        const double snr = 10 * std::log10(sig / std::max(err, 1e-30));
        if (snr > bestSnr) {
            bestSnr = snr;
            best = d;
        }
    }
    return {best, bestSnr};
}

// Repeatable values in [-1, 1).
struct Noise {
    uint32_t seed;
    explicit Noise(uint32_t s) : seed(s) {}
    float operator()() {
        seed = seed * 1664525u + 1013904223u;
        return float(int32_t(seed >> 8) - (1 << 23)) / float(1 << 23);
    }
};

}  // namespace

TEST(QmfBank, DownsampledRoundTripIsADelayedCopy) {
    // A mix of tones below the core Nyquist frequency; 32-band synthesis at the core rate.
    std::vector<float> in = sine(440, 22050, 8192);
    const std::vector<float> b = sine(3000, 22050, 8192, 3000.0);
    const std::vector<float> c = sine(9000, 22050, 8192, 1000.0);
    for (size_t i = 0; i < in.size(); ++i)
        in[i] += b[i] + c[i];
    const std::vector<float> out = roundTrip(in, 2);
    ASSERT_EQ(out.size(), in.size());
    const auto [delay, snr] = bestMatch(in, out, 700, 2048, 8192);
    // The two banks delay by 289 samples together; reconstruction better than 50 dB (the prototype is near-perfect, not
    // perfect).
    EXPECT_EQ(delay, 289);
    EXPECT_GT(snr, 50.0);
}

TEST(QmfBank, UpsamplingRoundTripDoublesTheRate) {
    // With the high bands empty the output is the core signal at twice the rate.
    const std::vector<float> in = sine(1000, 22050, 8192);
    const std::vector<float> out = roundTrip(in, 1);
    ASSERT_EQ(out.size(), 2 * in.size());
    const std::vector<float> ref = sine(1000, 44100, 16384);
    const auto [delay, snr] = bestMatch(ref, out, 1400, 4096, 16384);
    // 578 output samples of delay; better than 50 dB.
    EXPECT_EQ(delay, 578);
    EXPECT_GT(snr, 50.0) << "delay " << delay;
}

TEST(QmfBank, KernelPointersFollowTheLastBankAndSwitchBack) {
    QmfBank a, s;
    ASSERT_EQ(qmfAnalysisOpen(a, 0, 2, 1, 1024, 1), nullptr);
    ASSERT_EQ(qmfSynthesisOpen(s, 0, 1, 2048, 1.0f, 1.0f, 1), nullptr);
    EXPECT_EQ(qmfAnalysisKernel.load(), &qmfAnalysisReal);
    EXPECT_EQ(qmfSynthesisKernel.load(), &qmfSynthesisReal);
    qmfUseComplexKernels();
    EXPECT_EQ(qmfAnalysisKernel.load(), &qmfAnalysisComplex);
    EXPECT_EQ(qmfSynthesisKernel.load(), &qmfSynthesisComplex);
    // Downsampled synthesis: 32 bands, every second prototype coefficient.
    QmfBank d;
    ASSERT_EQ(qmfSynthesisOpen(d, 0, 2, 1024, 1.0f, 1.0f, 0), nullptr);
    EXPECT_EQ(d.bands, 32);
    EXPECT_EQ(d.windowLength, 320);
    EXPECT_EQ(d.slots, 32);
    qmfClose(a);
    qmfClose(s);
    qmfClose(d);
}

TEST(QmfBank, FftMatchesTheDft) {
    for (int n : {8, 16, 32}) {
        std::vector<float> data(size_t(2 * n));
        std::vector<std::complex<double>> x(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i) {
            x[size_t(i)] = {std::sin(0.7 * i) + 0.1 * i, std::cos(1.3 * i)};
            data[size_t(2 * i)] = float(x[size_t(i)].real());
            data[size_t(2 * i + 1)] = float(x[size_t(i)].imag());
        }
        if (n == 8)
            fft8(data.data());
        else
            fftComplex(data.data(), n);
        for (int k = 0; k < n; ++k) {
            std::complex<double> ref = 0;
            for (int i = 0; i < n; ++i)
                ref += x[size_t(i)] * std::polar(1.0, -2 * M_PI * i * k / n);
            EXPECT_NEAR(data[size_t(2 * k)], ref.real(), 1e-4) << n << " " << k;
            EXPECT_NEAR(data[size_t(2 * k + 1)], ref.imag(), 1e-4) << n << " " << k;
        }
    }
}

// The fast kernels against the banks' defining modulation, summed in double. One slot of
// random input; the tolerance is relative to the slot's largest value (float transforms of
// at most 64 points stay well inside 1e-5 of it).
TEST(QmfBank, KernelsMatchTheDirectModulation) {
    Noise random(12345);
    for (int down : {1, 2}) {
        SCOPED_TRACE("downsampling " + std::to_string(down));
        QmfBank a;
        ASSERT_EQ(qmfAnalysisOpen(a, 0, 2, down, 1024, 0), nullptr);
        a.slots = 1;
        const int n = a.bands, m = 2 * n;
        std::vector<float> time(static_cast<size_t>(a.windowLength));
        for (float& t : time)
            t = 1000.0f * random();
        float re[64] = {}, im[64] = {};
        float* rr[1] = {re};
        float* ri[1] = {im};
        qmfAnalysisComplex(time.data(), rr, ri, a);
        // The same bands in both modes (the high band is patched from them).
        const double phase = 0.5;
        std::vector<std::complex<double>> ref(static_cast<size_t>(n));
        double peak = 0.0;
        for (int k = 0; k < n; ++k) {
            for (int i = 0; i < m; ++i) {
                double u = 0.0;
                for (int j = 0; j < 5; ++j)
                    u += double(time[size_t(a.windowLength - 1 - i - j * m)]) * a.window[i + j * m];
                ref[size_t(k)] += 2.0 * u * std::polar(1.0, M_PI * (k + 0.5) * (2 * i - phase) / m);
            }
            peak = std::max(peak, std::abs(ref[size_t(k)]));
        }
        for (int k = 0; k < n; ++k) {
            EXPECT_NEAR(re[k], ref[size_t(k)].real(), 1e-5 * peak) << "analysis band " << k;
            EXPECT_NEAR(im[k], ref[size_t(k)].imag(), 1e-5 * peak) << "analysis band " << k;
        }
        qmfClose(a);

        // Synthesis: with the delay line clear, one slot leaves its 2N modulated values at
        // the front of the line; gain 64/64 on every band.
        QmfBank s;
        ASSERT_EQ(qmfSynthesisOpen(s, 0, down, 2048 / down, 64.0f, 64.0f, 0), nullptr);
        s.slots = 1;
        s.rangeStart = s.rangeEnd = s.bands;
        const int sn = s.bands, sm = 2 * sn;
        for (int k = 0; k < sn; ++k) {
            re[k] = 100.0f * random();
            im[k] = 100.0f * random();
        }
        std::vector<float> out(static_cast<size_t>(sn));
        qmfSynthesisComplex(rr, ri, out.data(), s);
        std::vector<double> v(static_cast<size_t>(sm));
        peak = 0.0;
        for (int i = 0; i < sm; ++i) {
            for (int k = 0; k < sn; ++k) {
                // The downsampled bank is a quarter sample further on (see qmfSynthesisOpen).
                const double x = M_PI * (k + 0.5) * (2 * i - (2 * sm - 1) - (down == 2 ? 0.5 : 0.0)) / sm;
                v[size_t(i)] += re[k] * std::cos(x) - im[k] * std::sin(x);
            }
            peak = std::max(peak, std::abs(v[size_t(i)]));
        }
        for (int i = 0; i < sm; ++i)
            EXPECT_NEAR(s.delay[i], v[size_t(i)], 1e-5 * peak) << "synthesis value " << i;
        // The first slot's output is the head of the window over those values.
        for (int k = 0; k < sn; ++k)
            EXPECT_NEAR(out[size_t(k)], v[size_t(k)] * s.window[k], 1e-5 * peak) << "output " << k;
        qmfClose(s);
    }
}

// The banks transform several slots at once; each slot must come out exactly as it does
// alone, also for frames whose slot count is not a multiple of the batch (960 samples).
TEST(QmfBank, SlotsOfAFrameMatchSlotsOneByOne) {
    Noise random(777);
    for (int frame : {1024, 960}) {
        for (int down : {1, 2}) {
            SCOPED_TRACE("frame " + std::to_string(frame) + ", downsampling " + std::to_string(down));
            QmfBank whole, single;
            ASSERT_EQ(qmfAnalysisOpen(whole, 0, 2, down, frame, 0), nullptr);
            ASSERT_EQ(qmfAnalysisOpen(single, 0, 2, down, frame, 0), nullptr);
            single.slots = 1;
            const int n = whole.bands, slots = whole.slots;
            std::vector<float> time(static_cast<size_t>(slots * n + whole.windowLength - n));
            for (float& t : time)
                t = 1000.0f * random();
            std::vector<float> re(static_cast<size_t>(slots * 64)), im(static_cast<size_t>(slots * 64));
            std::vector<float*> rr(static_cast<size_t>(slots)), ri(static_cast<size_t>(slots));
            for (int l = 0; l < slots; ++l) {
                rr[size_t(l)] = &re[size_t(l) * 64];
                ri[size_t(l)] = &im[size_t(l) * 64];
            }
            qmfAnalysisComplex(time.data(), rr.data(), ri.data(), whole);
            for (int l = 0; l < slots; ++l) {
                float oneRe[64] = {}, oneIm[64] = {};
                float* r1[1] = {oneRe};
                float* i1[1] = {oneIm};
                qmfAnalysisComplex(time.data() + l * n, r1, i1, single);
                for (int k = 0; k < n; ++k) {
                    ASSERT_EQ(oneRe[k], rr[size_t(l)][k]) << "analysis slot " << l << " band " << k;
                    ASSERT_EQ(oneIm[k], ri[size_t(l)][k]) << "analysis slot " << l << " band " << k;
                }
            }
            qmfClose(whole);
            qmfClose(single);

            // Synthesis: a frame of slots against the same slots one call each, through the
            // delay line (two frames, so that the second starts from a filled line).
            ASSERT_EQ(qmfSynthesisOpen(whole, 0, down, 2 * frame / down, 1.0f, 1.0f, 0), nullptr);
            ASSERT_EQ(qmfSynthesisOpen(single, 0, down, 2 * frame / down, 1.0f, 1.0f, 0), nullptr);
            single.slots = 1;
            const int sn = whole.bands, sslots = whole.slots;
            ASSERT_LE(sslots, slots);
            std::vector<float> out(static_cast<size_t>(sslots * sn)), one(static_cast<size_t>(sn));
            for (int pass = 0; pass < 2; ++pass) {
                for (float& v : re)
                    v = 100.0f * random();
                for (float& v : im)
                    v = 100.0f * random();
                qmfSynthesisComplex(rr.data(), ri.data(), out.data(), whole);
                for (int l = 0; l < sslots; ++l) {
                    qmfSynthesisComplex(&rr[size_t(l)], &ri[size_t(l)], one.data(), single);
                    for (int k = 0; k < sn; ++k)
                        ASSERT_EQ(one[size_t(k)], out[size_t(l * sn + k)]) << "synthesis slot " << l << " sample " << k;
                }
            }
            qmfClose(whole);
            qmfClose(single);
        }
    }
}
