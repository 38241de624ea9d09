// Hot float kernels built twice, for the x86-64 baseline (SSE2) and for AVX2, and picked at
// load time by the CPU. Everything such a kernel calls is inlined into it, so that the
// transforms inside are widened too. AVX2 here brings no FMA: each sample is computed with
// the same operations in the same order, so both builds give the same output.
#pragma once

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define AACCORE_WIDE_KERNEL __attribute__((target_clones("avx2", "default"), flatten))
#else
#define AACCORE_WIDE_KERNEL
#endif
