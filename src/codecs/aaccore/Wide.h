// Hot float kernels built for the x86-64 baseline (SSE2) and for AVX2, the one to run picked
// by the CPU. Everything such a kernel calls is inlined into it, so that the transforms
// inside are widened too. AVX2 here brings no FMA: each sample is computed with the same
// operations in the same order, so both builds give the same output.
//
// AACCORE_WIDE_KERNEL: the compiler builds both and picks one at load time (GCC).
// AACCORE_AVX2_KERNEL with hasAvx2(): a kernel written for eight-float vectors, called by
// hand when the CPU has AVX2 (AACCORE_AVX2_PATH).
#pragma once

// The thread sanitizer's run time is not up yet when the load-time pick runs, so its builds
// keep the baseline kernel.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__)
#define AACCORE_WIDE_KERNEL __attribute__((target_clones("avx2", "default"), flatten))
#else
#define AACCORE_WIDE_KERNEL
#endif

#if defined(__x86_64__) && defined(__GNUC__)
#define AACCORE_AVX2_PATH 1
#define AACCORE_AVX2_KERNEL __attribute__((target("avx2"), flatten))

namespace aaccore {
inline bool hasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}
}  // namespace aaccore
#else
#define AACCORE_AVX2_PATH 0
#endif
