#include "codecs/aaccore/Imdct.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "codecs/aaccore/Dct4.h"
#include "codecs/aaccore/Dct4Lanes.h"
#include "codecs/aaccore/Wide.h"

namespace aaccore {
namespace {

// x = unfolded DCT-IV of the M coefficients, scaled by 1/M.
template <int M>
void imdct(float* buffer) {
    alignas(32) float u[M];
    if constexpr (M >= 512)
        dct4Split<M>(buffer, u);
    else
        dct4<M>(buffer, u);
    constexpr float scale = 1.0f / M;
    constexpr int h = M / 2;
    for (int k = 0; k < h; ++k) {
        const float a = u[h + k] * scale, b = u[k] * scale;
        buffer[k] = a;
        buffer[M - 1 - k] = -a;
        buffer[3 * h - 1 - k] = -b;
        buffer[3 * h + k] = -b;
    }
}

double besselI0(double x) {
    double sum = 1.0, term = 1.0;
    for (int k = 1; k < 50; ++k) {
        term *= (x / (2.0 * k)) * (x / (2.0 * k));
        sum += term;
    }
    return sum;
}

std::vector<float> kbdWindow(int n2, double alpha) {
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

std::vector<float> sineWindow(int n2) {
    std::vector<float> out(n2);
    for (int n = 0; n < n2; ++n)
        out[n] = float(std::sin(M_PI / (2.0 * n2) * (n + 0.5)));
    return out;
}

struct Windows {
    std::vector<float> longW[2] = {sineWindow(1024), kbdWindow(1024, 4.0)};
    std::vector<float> shortW[2] = {sineWindow(128), kbdWindow(128, 6.0)};
};

const Windows& windows() {
    static const Windows w;
    return w;
}

}  // namespace

AACCORE_WIDE_KERNEL void imdctLong(float* buffer) { imdct<1024>(buffer); }

AACCORE_WIDE_KERNEL void synthesizeLong(float* buffer, const LongWindowing& w, float* overlap, float* out) {
    float* __restrict ov = overlap;
    float* __restrict y = out;
    if (!w.shortRising && !w.shortFalling) {
        // Long slopes on both sides: windowed straight from the DCT-IV, as imdct would
        // unfold it, without writing the unfolded block.
        alignas(32) float u[1024];
        dct4Split<1024>(buffer, u);
        constexpr float scale = 1.0f / 1024;
        const float* __restrict lw = longWindow(w.risingShape);
        const float* __restrict lf = longWindow(w.fallingShape);
        for (int i = 0; i < 512; ++i)
            y[i] = (u[512 + i] * scale) * lw[i] + ov[i];
        for (int i = 512; i < 1024; ++i)
            y[i] = (-(u[1535 - i] * scale)) * lw[i] + ov[i];
        for (int j = 0; j < 512; ++j)
            ov[j] = (-(u[511 - j] * scale)) * lf[1023 - j];
        for (int j = 512; j < 1024; ++j)
            ov[j] = (-(u[j - 512] * scale)) * lf[1023 - j];
        return;
    }
    imdct<1024>(buffer);
    const float* __restrict x = buffer;
    if (w.shortRising) {
        const float* __restrict sw = shortWindow(w.risingShape);
        for (int i = 0; i < 448; ++i)
            y[i] = 0.0f + ov[i];
        for (int i = 0; i < 128; ++i)
            y[448 + i] = x[448 + i] * sw[i] + ov[448 + i];
        for (int i = 576; i < 1024; ++i)
            y[i] = x[i] + ov[i];
    } else {
        const float* __restrict lw = longWindow(w.risingShape);
        for (int i = 0; i < 1024; ++i)
            y[i] = x[i] * lw[i] + ov[i];
    }
    if (w.shortFalling) {
        const float* __restrict sf = shortWindow(w.fallingShape);
        std::copy(x + 1024, x + 1472, ov);
        for (int i = 0; i < 128; ++i)
            ov[448 + i] = x[1472 + i] * sf[127 - i];
        std::fill(ov + 576, ov + 1024, 0.0f);
    } else {
        const float* __restrict lf = longWindow(w.fallingShape);
        for (int i = 0; i < 1024; ++i)
            ov[i] = x[1024 + i] * lf[1023 - i];
    }
}

AACCORE_WIDE_KERNEL bool imdct(float* buffer, int lines) {
    switch (lines) {
    case 128: imdct<128>(buffer); return true;
    case 256: imdct<256>(buffer); return true;
    case 1024: imdct<1024>(buffer); return true;
    case 2048: imdct<2048>(buffer); return true;
    default: return false;
    }
}

AACCORE_WIDE_KERNEL void imdctShort(float* buffer) { imdct<128>(buffer); }

const float* longWindow(int shape) { return windows().longW[shape & 1].data(); }
const float* shortWindow(int shape) { return windows().shortW[shape & 1].data(); }

}  // namespace aaccore
