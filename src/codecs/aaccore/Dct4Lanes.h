// The DCT-IV of Dct4.h for several transforms at once, one per lane of a GCC vector type V
// (four or eight floats): row n of the input holds value n of every transform. Every step
// is then a whole-vector operation with no shuffles, and each lane gets the operations of
// dct4 in the same order, so the same values.
#pragma once

#include <cmath>
#include <cstring>

#include "codecs/aaccore/Dct4.h"
#include "codecs/aaccore/Lanes.h"
#include "codecs/aaccore/Wide.h"

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

// The inverse DFT of inverseDft, lane by lane.
template <class V, int M>
inline void inverseDftLanes(V* __restrict zr, V* __restrict zi, const FftTables<M>& t) {
    static_assert(M >= 8);
    firstTwoStages<V, M>(zr, zi);
    inverseStageLanes<V, M, 8>(zr, zi, t);
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
    inverseDftLanes<V, H>(zr, zi, t);
    for (int k = 0; k < H; ++k) {
        y[2 * k] = zr[k] * d.postR[k] - zi[k] * d.postI[k];
        y[N - 1 - 2 * k] = zr[k] * d.postI[k] + zi[k] * d.postR[k];
    }
}

// The large DFTs split in two (index n = n1 + 4 n2, k = k2 + Q k1 with Q = H/4): the four
// Q-point DFTs over n2 run as the lanes of one (the input in order already has that
// layout), then the twiddles exp(+2 pi i n1 k2 / H), then Q four-point DFTs over n1, four
// at a time after a transpose. No bit reversal of single values and no shuffles in the
// long passes.
template <int H>
struct SplitTables {
    static constexpr int Q = H / 4;
    Lanes4 twr[Q], twi[Q];
    int reversed[Q];
    SplitTables() {
        for (int k2 = 0; k2 < Q; ++k2) {
            reversed[k2] = bitReversed(k2, Q);
            for (int n1 = 0; n1 < 4; ++n1) {
                const double a = 2.0 * M_PI * n1 * k2 / H;
                twr[k2][n1] = float(std::cos(a));
                twi[k2][n1] = float(std::sin(a));
            }
        }
    }
};

template <int H>
const SplitTables<H>& splitTables() {
    static const SplitTables<H> tables;
    return tables;
}

// dct4 for the long transforms (N >= 512), through the split DFT. Values differ from dct4's
// by rounding only.
template <int N, bool Reversed = false>
void dct4Split(const float* __restrict x, float* __restrict y) {
    using V = Lanes4;
    constexpr int H = N / 2, Q = H / 4;
    static_assert(H >= 256);
    const Dct4Tables<N>& d = dct4Tables<N>();
    const SplitTables<H>& st = splitTables<H>();
    const FftTables<Q>& t = fftTables<Q>();
    V zr[Q], zi[Q];
    // Pre-twiddle four inputs (n = 4 n2 + j) at a time, into the row of n2 in bit-reversed
    // order for the Q-point DFTs.
    for (int n2 = 0; n2 < Q; ++n2) {
        V lo, hi, rlo, rhi, pr, pi;
        std::memcpy(&lo, x + 8 * n2, sizeof(V));
        std::memcpy(&hi, x + 8 * n2 + 4, sizeof(V));
        std::memcpy(&rlo, x + N - 8 - 8 * n2, sizeof(V));
        std::memcpy(&rhi, x + N - 4 - 8 * n2, sizeof(V));
        std::memcpy(&pr, d.preR + 4 * n2, sizeof(V));
        std::memcpy(&pi, d.preI + 4 * n2, sizeof(V));
        const V even = __builtin_shufflevector(lo, hi, 0, 2, 4, 6);      // x[2n]
        const V mirror = __builtin_shufflevector(rlo, rhi, 7, 5, 3, 1);  // x[N - 1 - 2n]
        const V a = Reversed ? mirror : even;
        const V b = Reversed ? -even : -mirror;
        zr[st.reversed[n2]] = a * pr - b * pi;
        zi[st.reversed[n2]] = a * pi + b * pr;
    }
    inverseDftLanes<V, Q>(zr, zi, t);
    alignas(16) float outR[H], outI[H];
    for (int b = 0; b < Q; b += 4) {
        V tr[4], ti[4];
        for (int i = 0; i < 4; ++i) {
            const V r = zr[b + i], m = zi[b + i];
            tr[i] = r * st.twr[b + i] - m * st.twi[b + i];
            ti[i] = r * st.twi[b + i] + m * st.twr[b + i];
        }
        transpose4(tr);
        transpose4(ti);
        // Four-point inverse DFTs over n1 (twiddles 1, i, -1, -i); lanes are k2 = b..b+3.
        const V s0r = tr[0] + tr[2], s0i = ti[0] + ti[2];
        const V d0r = tr[0] - tr[2], d0i = ti[0] - ti[2];
        const V s1r = tr[1] + tr[3], s1i = ti[1] + ti[3];
        const V d1r = tr[1] - tr[3], d1i = ti[1] - ti[3];
        const V u0r = s0r + s1r, u0i = s0i + s1i;
        const V u2r = s0r - s1r, u2i = s0i - s1i;
        const V u1r = d0r - d1i, u1i = d0i + d1r;  // d0 + i d1
        const V u3r = d0r + d1i, u3i = d0i - d1r;  // d0 - i d1
        std::memcpy(outR + b, &u0r, sizeof(V));
        std::memcpy(outI + b, &u0i, sizeof(V));
        std::memcpy(outR + b + Q, &u1r, sizeof(V));
        std::memcpy(outI + b + Q, &u1i, sizeof(V));
        std::memcpy(outR + b + 2 * Q, &u2r, sizeof(V));
        std::memcpy(outI + b + 2 * Q, &u2i, sizeof(V));
        std::memcpy(outR + b + 3 * Q, &u3r, sizeof(V));
        std::memcpy(outI + b + 3 * Q, &u3i, sizeof(V));
    }
    // y[2k] and y[N-1-2k] (= y[2(H-1-k)+1]) in two runs, then interleaved: the compiler
    // vectorises these better than the two strided stores.
    alignas(16) float even[H], odd[H];
    for (int k = 0; k < H; ++k) {
        even[k] = outR[k] * d.postR[k] - outI[k] * d.postI[k];
        odd[H - 1 - k] = outR[k] * d.postI[k] + outI[k] * d.postR[k];
    }
    for (int k = 0; k < H; ++k) {
        y[2 * k] = even[k];
        y[2 * k + 1] = odd[k];
    }
}

}  // namespace dct4detail

using dct4detail::dct4Lanes;
using dct4detail::dct4Split;

}  // namespace aaccore
