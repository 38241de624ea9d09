#include "codecs/aacplus/Imdct.h"

#include <cmath>
#include <vector>

namespace aacplus {
namespace {

// DCT-IV of size M through an M/2-point FFT, with the 1/M scale folded into the pre-twiddle.
// Real and imaginary parts are kept in separate arrays and every stage reads its twiddles
// contiguously, so that the compiler can vectorise the butterflies.
struct Dct4 {
    int m = 0;
    int half = 0;
    std::vector<float> preRe, preIm;    // exp(-i pi (n + 1/4) / M) / M
    std::vector<float> postRe, postIm;  // exp(-i pi k / M)
    std::vector<float> twRe, twIm;      // per stage (butterfly span h >= 4): h values each
    std::vector<int> stageOffset;
    std::vector<int> bitrev;

    explicit Dct4(int size) : m(size), half(size / 2)
    {
        preRe.resize(half);
        preIm.resize(half);
        postRe.resize(half);
        postIm.resize(half);
        for (int n = 0; n < half; ++n) {
            const double a = -M_PI * (n + 0.25) / m;
            preRe[n] = float(std::cos(a) / m);
            preIm[n] = float(std::sin(a) / m);
            const double b = -M_PI * n / m;
            postRe[n] = float(std::cos(b));
            postIm[n] = float(std::sin(b));
        }
        for (int len = 8; len <= half; len <<= 1) {
            const int h = len >> 1;
            stageOffset.push_back(int(twRe.size()));
            for (int k = 0; k < h; ++k) {
                const double a = -2.0 * M_PI * k / len;
                twRe.push_back(float(std::cos(a)));
                twIm.push_back(float(std::sin(a)));
            }
        }
        bitrev.resize(half);
        int bits = 0;
        while ((1 << bits) < half)
            ++bits;
        for (int i = 0; i < half; ++i) {
            int r = 0;
            for (int b = 0; b < bits; ++b)
                if (i & (1 << b))
                    r |= 1 << (bits - 1 - b);
            bitrev[i] = r;
        }
    }

    // In-place forward FFT of bit-reversed input.
    void fft(float* __restrict re, float* __restrict im) const
    {
        // The first two radix-2 stages together: a 4-point transform without multiplications.
        for (int i = 0; i < half; i += 4) {
            const float a0r = re[i] + re[i + 1], a0i = im[i] + im[i + 1];
            const float a1r = re[i] - re[i + 1], a1i = im[i] - im[i + 1];
            const float b0r = re[i + 2] + re[i + 3], b0i = im[i + 2] + im[i + 3];
            const float b1r = re[i + 2] - re[i + 3], b1i = im[i + 2] - im[i + 3];
            re[i] = a0r + b0r;
            im[i] = a0i + b0i;
            re[i + 2] = a0r - b0r;
            im[i + 2] = a0i - b0i;
            // b1 times -i
            re[i + 1] = a1r + b1i;
            im[i + 1] = a1i - b1r;
            re[i + 3] = a1r - b1i;
            im[i + 3] = a1i + b1r;
        }
        int stage = 0;
        for (int len = 8; len <= half; len <<= 1, ++stage) {
            const int h = len >> 1;
            const float* wr = twRe.data() + stageOffset[size_t(stage)];
            const float* wi = twIm.data() + stageOffset[size_t(stage)];
            for (int i = 0; i < half; i += len) {
                float* __restrict ar = re + i;
                float* __restrict ai = im + i;
                float* __restrict br = re + i + h;
                float* __restrict bi = im + i + h;
                for (int k = 0; k < h; ++k) {
                    const float tr = br[k] * wr[k] - bi[k] * wi[k];
                    const float ti = br[k] * wi[k] + bi[k] * wr[k];
                    br[k] = ar[k] - tr;
                    bi[k] = ai[k] - ti;
                    ar[k] += tr;
                    ai[k] += ti;
                }
            }
        }
    }

    // x: M coefficients in, M DCT-IV values (scaled by 1/M) out into u.
    void run(const float* x, float* u) const
    {
        alignas(32) float re[512];
        alignas(32) float im[512];
        for (int n = 0; n < half; ++n) {
            const float a = x[2 * n], b = x[m - 1 - 2 * n];
            const int j = bitrev[size_t(n)];
            re[j] = a * preRe[size_t(n)] - b * preIm[size_t(n)];
            im[j] = a * preIm[size_t(n)] + b * preRe[size_t(n)];
        }
        fft(re, im);
        for (int k = 0; k < half; ++k) {
            const float r = re[k] * postRe[size_t(k)] - im[k] * postIm[size_t(k)];
            const float i = re[k] * postIm[size_t(k)] + im[k] * postRe[size_t(k)];
            u[2 * k] = r;
            u[m - 1 - 2 * k] = -i;
        }
    }
};

void imdct(const Dct4& d, float* buffer)
{
    const int m = d.m;
    float u[1024];
    d.run(buffer, u);
    const int h = m / 2;
    for (int k = 0; k < h; ++k) {
        buffer[k] = u[h + k];
        buffer[m - 1 - k] = -u[h + k];
        buffer[3 * h - 1 - k] = -u[k];
        buffer[3 * h + k] = -u[k];
    }
}

double besselI0(double x)
{
    double sum = 1.0, term = 1.0;
    for (int k = 1; k < 50; ++k) {
        term *= (x / (2.0 * k)) * (x / (2.0 * k));
        sum += term;
    }
    return sum;
}

std::vector<float> kbdWindow(int n2, double alpha)
{
    // n2 = half the window length.
    std::vector<double> w(n2 + 1);
    double total = 0.0;
    for (int k = 0; k <= n2; ++k) {
        const double r = 2.0 * k / n2 - 1.0;
        w[k] = besselI0(M_PI * alpha * std::sqrt(1.0 - r * r));
        total += w[k];
    }
    std::vector<float> out(n2);
    double run = 0.0;
    for (int n = 0; n < n2; ++n) {
        run += w[n];
        out[n] = float(std::sqrt(run / total));
    }
    return out;
}

std::vector<float> sineWindow(int n2)
{
    std::vector<float> out(n2);
    for (int n = 0; n < n2; ++n)
        out[n] = float(std::sin(M_PI / (2.0 * n2) * (n + 0.5)));
    return out;
}

struct Windows {
    std::vector<float> longW[2] = {sineWindow(1024), kbdWindow(1024, 4.0)};
    std::vector<float> shortW[2] = {sineWindow(128), kbdWindow(128, 6.0)};
};

const Windows& windows()
{
    static const Windows w;
    return w;
}

}  // namespace

void imdctLong(float* buffer)
{
    static const Dct4 d(1024);
    imdct(d, buffer);
}

void imdctShort(float* buffer)
{
    static const Dct4 d(128);
    imdct(d, buffer);
}

const float* longWindow(int shape) { return windows().longW[shape & 1].data(); }
const float* shortWindow(int shape) { return windows().shortW[shape & 1].data(); }

}  // namespace aacplus
