// The DCT-IV of Dct4.h for several transforms at once, one per lane of a GCC vector type V
// (four or eight floats): row n of the input holds value n of every transform. Every step
// is then a whole-vector operation with no shuffles, and each lane gets the operations of
// dct4 in the same order, so the same values.
#pragma once

#include "codecs/aaccore/Dct4.h"

namespace aaccore {
namespace dct4detail {

template <class V, int M, int Len>
inline void inverseStageLanes(V* __restrict re, V* __restrict im, const FftTables<M>& t) {
    constexpr int half = Len / 2;
    const float* wr = t.wr + half - 1;
    const float* wi = t.wi + half - 1;
    for (int i = 0; i < M; i += Len)
        for (int k = 0; k < half; ++k) {
            const float cr = wr[k], ci = wi[k];
            const V br = re[i + half + k], bi = im[i + half + k];
            const V tr = br * cr - bi * ci;
            const V ti = br * ci + bi * cr;
            const V ar = re[i + k], ai = im[i + k];
            re[i + half + k] = ar - tr;
            im[i + half + k] = ai - ti;
            re[i + k] = ar + tr;
            im[i + k] = ai + ti;
        }
    if constexpr (Len < M) inverseStageLanes<V, M, 2 * Len>(re, im, t);
}

template <int N, bool Reversed, class V>
inline void dct4Lanes(const V* __restrict x, V* __restrict y) {
    constexpr int H = N / 2;
    static_assert(H >= 8);
    const Dct4Tables<N>& d = dct4Tables<N>();
    const FftTables<H>& t = fftTables<H>();
    V zr[H], zi[H];
    for (int n = 0; n < H; ++n) {
        const V a = Reversed ? x[N - 1 - 2 * n] : x[2 * n];
        const V b = Reversed ? -x[2 * n] : -x[N - 1 - 2 * n];
        zr[d.reversed[n]] = a * d.preR[n] - b * d.preI[n];
        zi[d.reversed[n]] = a * d.preI[n] + b * d.preR[n];
    }
    // The first two stages together, as in inverseDft.
    for (int i = 0; i < H; i += 4) {
        const V s0r = zr[i] + zr[i + 1], s0i = zi[i] + zi[i + 1];
        const V d0r = zr[i] - zr[i + 1], d0i = zi[i] - zi[i + 1];
        const V s1r = zr[i + 2] + zr[i + 3], s1i = zi[i + 2] + zi[i + 3];
        const V d1r = zr[i + 2] - zr[i + 3], d1i = zi[i + 2] - zi[i + 3];
        zr[i] = s0r + s1r;
        zi[i] = s0i + s1i;
        zr[i + 2] = s0r - s1r;
        zi[i + 2] = s0i - s1i;
        zr[i + 1] = d0r - d1i;
        zi[i + 1] = d0i + d1r;
        zr[i + 3] = d0r + d1i;
        zi[i + 3] = d0i - d1r;
    }
    inverseStageLanes<V, H, 8>(zr, zi, t);
    for (int k = 0; k < H; ++k) {
        y[2 * k] = zr[k] * d.postR[k] - zi[k] * d.postI[k];
        y[N - 1 - 2 * k] = zr[k] * d.postI[k] + zi[k] * d.postR[k];
    }
}

}  // namespace dct4detail

using dct4detail::dct4Lanes;

}  // namespace aaccore
