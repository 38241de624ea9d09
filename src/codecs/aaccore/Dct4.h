// DCT-IV of a size fixed at compile time, through a half-size complex inverse DFT on split
// real/imaginary arrays, so that every loop vectorises without intrinsics. Shared by the
// QMF banks (32 and 64 points) and the AAC inverse transform (128 and 1024 points). The
// tables are built once per size, on first use, with thread-safe static initialisation.
#pragma once

#include <cmath>
#include <utility>

namespace aaccore {
namespace dct4detail {

template <int M>
struct FftTables {
    float wr[M], wi[M];  // exp(+2*pi*i*k/len) of every stage, stage of length len at [len/2 - 1]
    FftTables() {
        for (int len = 2; len <= M; len <<= 1)
            for (int k = 0; k < len / 2; ++k) {
                const double a = 2.0 * M_PI * k / len;
                wr[len / 2 - 1 + k] = float(std::cos(a));
                wi[len / 2 - 1 + k] = float(std::sin(a));
            }
    }
};

template <int M>
const FftTables<M>& fftTables() {
    static const FftTables<M> tables;
    return tables;
}

template <int M, int Len>
inline void inverseStage(float* __restrict re, float* __restrict im, const FftTables<M>& t) {
    constexpr int half = Len / 2;
    const float* __restrict wr = t.wr + half - 1;
    const float* __restrict wi = t.wi + half - 1;
    for (int i = 0; i < M; i += Len) {
        for (int k = 0; k < half; ++k) {
            const float br = re[i + half + k], bi = im[i + half + k];
            const float tr = br * wr[k] - bi * wi[k];
            const float ti = br * wi[k] + bi * wr[k];
            const float ar = re[i + k], ai = im[i + k];
            re[i + half + k] = ar - tr;
            im[i + half + k] = ai - ti;
            re[i + k] = ar + tr;
            im[i + k] = ai + ti;
        }
    }
}

// Two stages, Len and 2 * Len, in one pass: each butterfly of both touches only the four
// values at k, k + Len/2, k + Len and k + 3Len/2 of its 2Len block, so they stay in
// registers between the stages. Each value gets the operations of two single passes.
template <int M, int Len>
inline void inverseStages(float* __restrict re, float* __restrict im, const FftTables<M>& t) {
    if constexpr (2 * Len > M) {
        inverseStage<M, Len>(re, im, t);
    } else {
        constexpr int half = Len / 2;
        const float* __restrict w1r = t.wr + half - 1;
        const float* __restrict w1i = t.wi + half - 1;
        const float* __restrict w2r = t.wr + Len - 1;
        const float* __restrict w2i = t.wi + Len - 1;
        for (int i = 0; i < M; i += 2 * Len) {
            float* __restrict ar = re + i;
            float* __restrict ai = im + i;
            float* __restrict br = re + i + half;
            float* __restrict bi = im + i + half;
            float* __restrict cr = re + i + Len;
            float* __restrict ci = im + i + Len;
            float* __restrict dr = re + i + Len + half;
            float* __restrict di = im + i + Len + half;
            for (int k = 0; k < half; ++k) {
                // Stage Len: (a, b) and (c, d), both turned by the stage's k-th twiddle.
                float tr = br[k] * w1r[k] - bi[k] * w1i[k];
                float ti = br[k] * w1i[k] + bi[k] * w1r[k];
                const float a1r = ar[k] + tr, a1i = ai[k] + ti;
                const float b1r = ar[k] - tr, b1i = ai[k] - ti;
                tr = dr[k] * w1r[k] - di[k] * w1i[k];
                ti = dr[k] * w1i[k] + di[k] * w1r[k];
                const float c1r = cr[k] + tr, c1i = ci[k] + ti;
                const float d1r = cr[k] - tr, d1i = ci[k] - ti;
                // Stage 2Len: (a, c) by its k-th twiddle, (b, d) by its (k + Len/2)-th.
                tr = c1r * w2r[k] - c1i * w2i[k];
                ti = c1r * w2i[k] + c1i * w2r[k];
                ar[k] = a1r + tr;
                ai[k] = a1i + ti;
                cr[k] = a1r - tr;
                ci[k] = a1i - ti;
                tr = d1r * w2r[half + k] - d1i * w2i[half + k];
                ti = d1r * w2i[half + k] + d1i * w2r[half + k];
                br[k] = b1r + tr;
                bi[k] = b1i + ti;
                dr[k] = b1r - tr;
                di[k] = b1i - ti;
            }
        }
        if constexpr (4 * Len <= M) inverseStages<M, 4 * Len>(re, im, t);
    }
}

// The first two stages of the inverse DFT together: their twiddles are 1 and i. T is a
// float, or a vector of lanes for several transforms at once.
template <class T, int M>
inline void firstTwoStages(T* __restrict re, T* __restrict im) {
    for (int i = 0; i < M; i += 4) {
        const T s0r = re[i] + re[i + 1], s0i = im[i] + im[i + 1];
        const T d0r = re[i] - re[i + 1], d0i = im[i] - im[i + 1];
        const T s1r = re[i + 2] + re[i + 3], s1i = im[i + 2] + im[i + 3];
        const T d1r = re[i + 2] - re[i + 3], d1i = im[i + 2] - im[i + 3];
        re[i] = s0r + s1r;
        im[i] = s0i + s1i;
        re[i + 2] = s0r - s1r;
        im[i + 2] = s0i - s1i;
        // i * (d1r + i d1i) = -d1i + i d1r
        re[i + 1] = d0r - d1i;
        im[i + 1] = d0i + d1r;
        re[i + 3] = d0r + d1i;
        im[i + 3] = d0i - d1r;
    }
}

// Inverse DFT (exp(+2*pi*i*n*k/M)), unscaled, of data already stored in bit-reversed order.
template <int M>
inline void inverseDft(float* __restrict re, float* __restrict im, const FftTables<M>& t) {
    static_assert(M >= 8);
    firstTwoStages<float, M>(re, im);
    // Below 16 a paired pass has too few butterflies in a row to fill the registers, except
    // for the 16-point transform, which is done in one.
    if constexpr (M == 16) {
        inverseStages<M, 8>(re, im, t);
    } else {
        inverseStage<M, 8>(re, im, t);
        inverseStages<M, 16>(re, im, t);
    }
}

constexpr int bitReversed(int n, int size) {
    int r = 0;
    for (int b = 1; b < size; b <<= 1, n >>= 1)
        r = (r << 1) | (n & 1);
    return r;
}

// DCT-IV of N points, y[i] = sum over k of x[k] * cos(pi/N * (k + 0.5) * (i + 0.5)), through
// an N/2-point complex DFT: even inputs as real parts and mirrored odd ones as imaginary
// parts, twiddled before and after.
template <int N>
struct Dct4Tables {
    static constexpr int H = N / 2;
    float preR[H], preI[H];    // exp(+i*pi*(4n + 1)/(4N))
    float postR[H], postI[H];  // exp(+i*pi*k/N)
    int reversed[H];           // bit-reversed index of n within H
    Dct4Tables() {
        for (int n = 0; n < H; ++n) {
            reversed[n] = bitReversed(n, H);
            preR[n] = float(std::cos(M_PI * (4 * n + 1) / (4 * N)));
            preI[n] = float(std::sin(M_PI * (4 * n + 1) / (4 * N)));
            postR[n] = float(std::cos(M_PI * n / N));
            postI[n] = float(std::sin(M_PI * n / N));
        }
    }
};

template <int N>
const Dct4Tables<N>& dct4Tables() {
    static const Dct4Tables<N> tables;
    return tables;
}

// One pre-twiddled DFT input, stored straight at its bit-reversed place (a constant).
template <int N, bool Reversed, int n>
inline void dct4Input(const float* __restrict x, float* __restrict zr, float* __restrict zi, const Dct4Tables<N>& d) {
    constexpr int to = bitReversed(n, N / 2);
    const float a = Reversed ? x[N - 1 - 2 * n] : x[2 * n];
    const float b = Reversed ? -x[2 * n] : -x[N - 1 - 2 * n];
    zr[to] = a * d.preR[n] - b * d.preI[n];
    zi[to] = a * d.preI[n] + b * d.preR[n];
}

template <int N, bool Reversed, int... n>
inline void dct4Inputs(const float* __restrict x, float* __restrict zr, float* __restrict zi, const Dct4Tables<N>& d,
                       std::integer_sequence<int, n...>) {
    (dct4Input<N, Reversed, n>(x, zr, zi, d), ...);
}

// Reversed: the transform of x[N - 1 - k] (which gives the DST-IV as (-1)^i times it).
template <int N, bool Reversed = false>
void dct4(const float* __restrict x, float* __restrict y) {
    constexpr int H = N / 2;
    const Dct4Tables<N>& d = dct4Tables<N>();
    const FftTables<H>& t = fftTables<H>();
    alignas(32) float zr[H], zi[H];
    if constexpr (H <= 64) {
        dct4Inputs<N, Reversed>(x, zr, zi, d, std::make_integer_sequence<int, H>());
    } else {
        // Too many for one fold expression: the places come from the table.
        for (int n = 0; n < H; ++n) {
            const float a = Reversed ? x[N - 1 - 2 * n] : x[2 * n];
            const float b = Reversed ? -x[2 * n] : -x[N - 1 - 2 * n];
            zr[d.reversed[n]] = a * d.preR[n] - b * d.preI[n];
            zi[d.reversed[n]] = a * d.preI[n] + b * d.preR[n];
        }
    }
    inverseDft<H>(zr, zi, t);
    for (int k = 0; k < H; ++k) {
        y[2 * k] = zr[k] * d.postR[k] - zi[k] * d.postI[k];
        y[N - 1 - 2 * k] = zr[k] * d.postI[k] + zi[k] * d.postR[k];
    }
}

}  // namespace dct4detail

using dct4detail::dct4;

}  // namespace aaccore
