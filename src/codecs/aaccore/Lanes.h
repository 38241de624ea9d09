// GCC vector types of four and eight floats, and the transposes that move values between
// "one transform per lane" and "one transform per row". Plain shuffles: unpack, shuffle
// and 128-bit half moves with AVX, their halves with SSE2.
#pragma once

namespace aaccore {

using Lanes4 = float __attribute__((vector_size(16)));
using Lanes8 = float __attribute__((vector_size(32)));

// Transposes four rows of four lanes in place.
inline void transpose4(Lanes4* r) {
    const Lanes4 t0 = __builtin_shufflevector(r[0], r[1], 0, 4, 1, 5);
    const Lanes4 t1 = __builtin_shufflevector(r[0], r[1], 2, 6, 3, 7);
    const Lanes4 t2 = __builtin_shufflevector(r[2], r[3], 0, 4, 1, 5);
    const Lanes4 t3 = __builtin_shufflevector(r[2], r[3], 2, 6, 3, 7);
    r[0] = __builtin_shufflevector(t0, t2, 0, 1, 4, 5);
    r[1] = __builtin_shufflevector(t0, t2, 2, 3, 6, 7);
    r[2] = __builtin_shufflevector(t1, t3, 0, 1, 4, 5);
    r[3] = __builtin_shufflevector(t1, t3, 2, 3, 6, 7);
}

// Transposes eight rows of eight lanes in place.
inline void transpose8(Lanes8* r) {
    Lanes8 t[8];
    for (int i = 0; i < 8; i += 2) {
        t[i] = __builtin_shufflevector(r[i], r[i + 1], 0, 8, 1, 9, 4, 12, 5, 13);
        t[i + 1] = __builtin_shufflevector(r[i], r[i + 1], 2, 10, 3, 11, 6, 14, 7, 15);
    }
    Lanes8 u[8];
    for (int i = 0; i < 8; i += 4) {
        u[i] = __builtin_shufflevector(t[i], t[i + 2], 0, 1, 8, 9, 4, 5, 12, 13);
        u[i + 1] = __builtin_shufflevector(t[i], t[i + 2], 2, 3, 10, 11, 6, 7, 14, 15);
        u[i + 2] = __builtin_shufflevector(t[i + 1], t[i + 3], 0, 1, 8, 9, 4, 5, 12, 13);
        u[i + 3] = __builtin_shufflevector(t[i + 1], t[i + 3], 2, 3, 10, 11, 6, 7, 14, 15);
    }
    for (int i = 0; i < 4; ++i) {
        r[i] = __builtin_shufflevector(u[i], u[i + 4], 0, 1, 2, 3, 8, 9, 10, 11);
        r[i + 4] = __builtin_shufflevector(u[i], u[i + 4], 4, 5, 6, 7, 12, 13, 14, 15);
    }
}

inline void transposeLanes(Lanes4* r) { transpose4(r); }
inline void transposeLanes(Lanes8* r) { transpose8(r); }

}  // namespace aaccore
