#include "codecs/aacplus/QmfBank.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <utility>

#include "codecs/aaccore/Dct4Lanes.h"
#include "codecs/aaccore/Wide.h"
#include "codecs/aactables/tables/AacTables.h"

namespace aacplus {

using aaccore::dct4Lanes;

std::atomic<QmfAnalysisFn> qmfAnalysisKernel{qmfAnalysisComplex};
std::atomic<QmfSynthesisFn> qmfSynthesisKernel{qmfSynthesisComplex};

namespace {

const ErrorDescriptor* qmfError() { return sbrError(SbrUnit::Qmf); }

constexpr int kTaps = 5;  // prototype length / 2M in every bank

// The slot transforms run on four lanes, or on eight where the CPU has AVX2; the lanes give
// the same values either way.
using aaccore::Lanes4;
#if AACCORE_AVX2_PATH
using aaccore::hasAvx2;
using aaccore::Lanes8;
#endif

// Twiddles of a bank, in its cosTable/sinTable (analysis only; N of each):
// 2 * exp(-i*pi*(phase + 1)*(k + 0.5)/2N), which turns the folded transforms into the bands.
int twiddleCount(const QmfBank& b) { return b.bands; }

bool allocate(QmfBank& b, int tableSize, int delaySize) {
    b.window = new (std::nothrow) float[size_t(b.windowLength)];
    b.cosTable = new (std::nothrow) float[size_t(tableSize)];
    b.sinTable = new (std::nothrow) float[size_t(tableSize)];
    b.work = new (std::nothrow) float[size_t(2 * b.bands)]();
    b.delay = delaySize ? new (std::nothrow) float[size_t(delaySize)]() : nullptr;
    return b.window && b.cosTable && b.sinTable && b.work && (b.delay || !delaySize);
}

void fillWindow(QmfBank& b) {
    for (int i = 0; i < b.windowLength; ++i)
        b.window[i] = float(aactables::kSbrQmfWindow[i * b.stride]);
}

// The analysis window with each tap's 2N coefficients in reverse, so that the windowing
// runs forward over the time samples.
template <int N>
struct ReversedWindow {
    float w[kTaps * 2 * N];
    ReversedWindow() {
        constexpr int stride = 64 / N;  // as fillWindow takes it
        for (int j = 0; j < kTaps; ++j)
            for (int i = 0; i < 2 * N; ++i)
                w[j * 2 * N + i] = float(aactables::kSbrQmfWindow[(j * 2 * N + 2 * N - 1 - i) * stride]);
    }
};

template <int N>
const ReversedWindow<N>& reversedWindow() {
    static const ReversedWindow<N> w;
    return w;
}

// Windowed input of one analysis slot, u(n) = sum over taps j of time[last - n - 2Nj] *
// w[n + 2Nj], stored reversed: r[2N-1-n] = u(n). Summed tap by tap, in the order a
// per-sample loop would use.
template <int N>
void analysisWindow(const float* __restrict time, const float* __restrict wr, float* __restrict r) {
    constexpr int M = 2 * N;
    for (int i = 0; i < M; ++i)
        r[i] = 0.0f;
    for (int j = 0; j < kTaps; ++j) {
        const float* __restrict x = time + (kTaps - 1 - j) * M;
        const float* __restrict w0 = wr + j * M;
        for (int i = 0; i < M; ++i)
            r[i] += x[i] * w0[i];
    }
}

}  // namespace

const ErrorDescriptor* qmfAnalysisOpen(QmfBank& bank, int bypass, int divider, int downsamplingFactor,
                                       int coreFrameLength, int lowPower) {
    (void)bypass;
    qmfClose(bank);
    if (divider != 2 || (downsamplingFactor != 1 && downsamplingFactor != 2) || coreFrameLength <= 0) return qmfError();
    bank.analysis = true;
    bank.bands = 64 / divider;
    bank.log2BandsMinus1 = 4;
    bank.stride = divider;
    bank.windowLength = 640 / divider;
    bank.taps = bank.windowLength / (2 * bank.bands);
    bank.slots = coreFrameLength / bank.bands;
    bank.rangeStart = 0;
    bank.rangeEnd = bank.bands;
    const int n = bank.bands, n2 = 2 * n;
    if (!allocate(bank, twiddleCount(bank), 0)) {
        qmfClose(bank);
        return qmfError();
    }
    fillWindow(bank);
    // The same bands in both modes: the high band is patched from them, so their phases must
    // be the ones the encoder assumed. The downsampled synthesis makes up its own offset.
    const double phase = 0.5;
    for (int k = 0; k < n; ++k) {
        const double a = -M_PI * (phase + 1.0) * (k + 0.5) / n2;
        bank.cosTable[k] = float(2.0 * std::cos(a));
        bank.sinTable[k] = float(2.0 * std::sin(a));
    }
    qmfAnalysisKernel = lowPower ? qmfAnalysisReal : qmfAnalysisComplex;
    return nullptr;
}

const ErrorDescriptor* qmfSynthesisOpen(QmfBank& bank, int bypass, int downsamplingFactor, int outputFrameLength,
                                        float lowBandGain, float highBandGain, int lowPower) {
    (void)bypass;
    qmfClose(bank);
    if ((downsamplingFactor != 1 && downsamplingFactor != 2) || outputFrameLength <= 0) return qmfError();
    bank.analysis = false;
    bank.bands = 64 / downsamplingFactor;
    bank.log2BandsMinus1 = downsamplingFactor == 1 ? 5 : 4;
    bank.stride = downsamplingFactor;
    bank.windowLength = 640 / downsamplingFactor;
    bank.taps = bank.windowLength / (2 * bank.bands);
    bank.slots = outputFrameLength / bank.bands;
    bank.rangeStart = 32 / downsamplingFactor;
    bank.rangeEnd = bank.bands;
    // 1/64 in both modes: the downsampled bank sums half as many bands at half the rate.
    bank.lowGain = lowBandGain / 64.0f;
    bank.highGain = highBandGain / 64.0f;
    bank.highGainCopy = bank.highGain;
    // The state (the 20N values of the v buffer) sits at the front between frames; within a
    // frame each slot writes one step further towards the front, so the line is one frame
    // longer and moves once a frame instead of once a slot.
    if (!allocate(bank, twiddleCount(bank), bank.slots * 2 * bank.bands + 2 * bank.windowLength)) {
        qmfClose(bank);
        return qmfError();
    }
    fillWindow(bank);
    // The 32-band synthesis at the core rate is a quarter sample short of the 64-band one's
    // phase offset: each band is turned by exp(-i*pi*(k + 0.5)/4N) before it, so that the
    // two banks still cancel their aliasing.
    for (int k = 0; k < bank.bands; ++k) {
        const double a = downsamplingFactor == 2 ? -M_PI * (k + 0.5) / (4.0 * bank.bands) : 0.0;
        bank.cosTable[k] = float(std::cos(a));
        bank.sinTable[k] = float(std::sin(a));
    }
    qmfSynthesisKernel = lowPower ? qmfSynthesisReal : qmfSynthesisComplex;
    return nullptr;
}

void qmfClose(QmfBank& bank) {
    delete[] bank.window;
    delete[] bank.cosTable;
    delete[] bank.sinTable;
    delete[] bank.delay;
    delete[] bank.work;
    bank.window = bank.cosTable = bank.sinTable = bank.delay = bank.work = nullptr;
}

void qmfReset(QmfBank& bank) {
    if (bank.work) std::fill(bank.work, bank.work + 2 * bank.bands, 0.0f);
    if (bank.delay) std::fill(bank.delay, bank.delay + 2 * bank.windowLength, 0.0f);
}

void qmfUseComplexKernels() {
    qmfAnalysisKernel = qmfAnalysisComplex;
    qmfSynthesisKernel = qmfSynthesisComplex;
}

namespace {

// X[k] = sum over n < 2N of u[n] * 2 * exp(i*pi*(k + 0.5)*(2n - phase)/2N), k < N. Folded
// into a = u[n] - u[2N-1-n] and b = u[n] + u[2N-1-n], this is
// 2 * exp(-i*pi*(phase + 1)*(k + 0.5)/2N) * (DCT-IV(a)[k] + i * DST-IV(b)[k]).
// The transforms of as many slots as V has lanes go together.
template <class V, int N>
void analysisSlots(const float* time, float* const* re, float* const* im, QmfBank& b) {
    constexpr int M = 2 * N, L = int(sizeof(V) / sizeof(float));
    const float* __restrict rotC = b.cosTable;
    const float* __restrict rotS = b.sinTable;
    const float* reversed = reversedWindow<N>().w;
    alignas(32) float r[L][M];
    V u[M], fa[N], fb[N], c[N], s[N], outR[N], outI[N];
    for (int l0 = 0; l0 < b.slots; l0 += L) {
        const int count = std::min(L, b.slots - l0);
        for (int j = 0; j < L; ++j) {
            if (j < count)
                analysisWindow<N>(time + (l0 + j) * N, reversed, r[j]);
            else
                std::fill(r[j], r[j] + M, 0.0f);
        }
        // Slot j's windowed values into lane j.
        for (int n = 0; n < M; n += L) {
            for (int j = 0; j < L; ++j)
                std::memcpy(&u[n + j], r[j] + n, sizeof(V));
            aaccore::transposeLanes(u + n);
        }
        for (int n = 0; n < N; ++n) {
            fa[n] = u[M - 1 - n] - u[n];
            fb[n] = u[M - 1 - n] + u[n];
        }
        dct4Lanes<N, false>(fa, c);
        dct4Lanes<N, true>(fb, s);
        for (int k = 0; k < N; k += 2) {
            outR[k] = c[k] * rotC[k] - s[k] * rotS[k];
            outI[k] = c[k] * rotS[k] + s[k] * rotC[k];
            outR[k + 1] = c[k + 1] * rotC[k + 1] + s[k + 1] * rotS[k + 1];
            outI[k + 1] = c[k + 1] * rotS[k + 1] - s[k + 1] * rotC[k + 1];
        }
        // Lane j back to slot j's row.
        for (int k = 0; k < N; k += L) {
            aaccore::transposeLanes(outR + k);
            aaccore::transposeLanes(outI + k);
            for (int j = 0; j < count; ++j) {
                std::memcpy(re[l0 + j] + k, &outR[k + j], sizeof(V));
                std::memcpy(im[l0 + j] + k, &outI[k + j], sizeof(V));
            }
        }
    }
}

#if AACCORE_AVX2_PATH
AACCORE_AVX2_KERNEL void analysisAvx2(const float* time, float* const* re, float* const* im, QmfBank& b) {
    analysisSlots<Lanes8, 32>(time, re, im, b);
}
#endif

}  // namespace

void qmfAnalysisComplex(const float* time, float* const* re, float* const* im, QmfBank& b) {
    // Opening only makes 32-band analysis banks.
    if (b.bands != 32) return;
#if AACCORE_AVX2_PATH
    if (hasAvx2()) return analysisAvx2(time, re, im, b);
#endif
    analysisSlots<Lanes4, 32>(time, re, im, b);
}

// The real-valued (low-power) kernels keep their place in the kernel table but compute the
// complex values: a real-only bank needs its own aliasing reduction in the HF path, which
// this decoder does not have, and would lose the high band's imaginary half.
void qmfAnalysisReal(const float* time, float* const* re, float* const* im, QmfBank& b) {
    qmfAnalysisComplex(time, re, im, b);
}

namespace {

// The band values of the lanes' slots (one slot per lane, rows as transposed from re and
// im) gained by band range and, in the downsampled bank, turned by its quarter-sample
// offset: every lane gets the scalar operations of one band.
template <class V, int N>
void gainBands(const QmfBank& b, V* __restrict xr, V* __restrict xi) {
    const int lowEnd = std::clamp(b.rangeStart, 0, N);
    const int highEnd = std::clamp(b.rangeEnd, lowEnd, N);
    const float lowGain = b.lowGain, highGain = b.highGain;
    for (int k = 0; k < lowEnd; ++k) {
        xr[k] = lowGain * xr[k];
        xi[k] = lowGain * xi[k];
    }
    for (int k = lowEnd; k < highEnd; ++k) {
        xr[k] = highGain * xr[k];
        xi[k] = highGain * xi[k];
    }
    for (int k = highEnd; k < N; ++k)
        xr[k] = xi[k] = V{};
    if (b.stride == 2) {
        const float* __restrict c = b.cosTable;
        const float* __restrict s = b.sinTable;
        for (int k = 0; k < highEnd; ++k) {
            const V r = xr[k], i = xi[k];
            xr[k] = r * c[k] - i * s[k];
            xi[k] = r * s[k] + i * c[k];
        }
    }
}

// Synthesis slots from the band values X (real and imaginary, already gained):
// v[n] = Re(sum over k of X[k] * exp(i*pi*(k + 0.5)*(2n - 4N + 1)/2N)), n < 2N. With
// C = DCT-IV(re) and S = DST-IV(im): v[n] = S[n] - C[n] and v[2N-1-n] = C[n] + S[n].
// Each slot's v has its place in the delay line, with the previous 20N - 2N values after
// it. A slot's window reads only older slots, so the transforms of as many slots as V has
// lanes go first.
template <class V, int N>
void synthesisSlots(float* const* re, float* const* im, float* out, QmfBank& b) {
    constexpr int M = 2 * N, L = int(sizeof(V) / sizeof(float));
    V xr[N], xi[N], c[N], s[N], lo[N], hi[N];
    static const float kZeroRow[64] = {};
    for (int l0 = 0; l0 < b.slots; l0 += L) {
        const int count = std::min(L, b.slots - l0);
        // Slot j's bands into lane j.
        for (int k = 0; k < N; k += L) {
            for (int j = 0; j < L; ++j) {
                std::memcpy(&xr[k + j], (j < count ? re[l0 + j] : kZeroRow) + k, sizeof(V));
                std::memcpy(&xi[k + j], (j < count ? im[l0 + j] : kZeroRow) + k, sizeof(V));
            }
            aaccore::transposeLanes(xr + k);
            aaccore::transposeLanes(xi + k);
        }
        gainBands<V, N>(b, xr, xi);
        dct4Lanes<N, false>(xr, c);
        dct4Lanes<N, true>(xi, s);
        // lo[n] = v[n], hi[m] = v[N + m]: v[2N-1-n] is hi[N-1-n].
        for (int n = 0; n < N; n += 2) {
            lo[n] = s[n] - c[n];
            hi[N - 1 - n] = c[n] + s[n];
            lo[n + 1] = -s[n + 1] - c[n + 1];
            hi[N - 2 - n] = c[n + 1] - s[n + 1];
        }
        for (int k = 0; k < N; k += L) {
            aaccore::transposeLanes(lo + k);
            aaccore::transposeLanes(hi + k);
        }
        for (int j = 0; j < count; ++j) {
            const int l = l0 + j;
            float* __restrict v = b.delay + (b.slots - 1 - l) * M;
            for (int k = 0; k < N; k += L) {
                std::memcpy(v + k, &lo[k + j], sizeof(V));
                std::memcpy(v + N + k, &hi[k + j], sizeof(V));
            }
            // Summed tap by tap in the same order as a per-sample loop would, but across the
            // slot, in vector accumulators.
            const float* __restrict w = b.window;
            V acc[N / L] = {};
            for (int t = 0; t < kTaps; ++t) {
                const float* __restrict v0 = v + 2 * M * t;
                const float* __restrict w0 = w + M * t;
                for (int q = 0; q < N / L; ++q) {
                    V va, wa, vb, wb;
                    std::memcpy(&va, v0 + q * L, sizeof(V));
                    std::memcpy(&wa, w0 + q * L, sizeof(V));
                    std::memcpy(&vb, v0 + 3 * N + q * L, sizeof(V));
                    std::memcpy(&wb, w0 + N + q * L, sizeof(V));
                    acc[q] += va * wa;
                    acc[q] += vb * wb;
                }
            }
            std::memcpy(out + l * N, acc, sizeof(acc));
        }
    }
}

template <class V>
void synthesis(float* const* re, float* const* im, float* out, QmfBank& b) {
    if (b.bands == 64)
        synthesisSlots<V, 64>(re, im, out, b);
    else
        synthesisSlots<V, 32>(re, im, out, b);
}

#if AACCORE_AVX2_PATH
AACCORE_AVX2_KERNEL void synthesisAvx2(float* const* re, float* const* im, float* out, QmfBank& b) {
    synthesis<Lanes8>(re, im, out, b);
}
#endif

}  // namespace

void qmfSynthesisComplex(float* const* re, float* const* im, float* out, QmfBank& b) {
    const int m = 2 * b.bands, len = 2 * b.windowLength;
    // Opening makes 64- or 32-band synthesis banks only.
    if (b.bands != 64 && b.bands != 32) return;
    // Move the state to the frame's far end; the last slot ends at the front again.
    std::memmove(b.delay + b.slots * m, b.delay, size_t(len) * sizeof(float));
#if AACCORE_AVX2_PATH
    if (hasAvx2()) return synthesisAvx2(re, im, out, b);
#endif
    synthesis<Lanes4>(re, im, out, b);
}

void qmfSynthesisReal(float* const* re, float* const* im, float* out, QmfBank& b) {
    qmfSynthesisComplex(re, im, out, b);
}

void fftComplex(float* data, int size) {
    // Bit reversal.
    for (int i = 1, j = 0; i < size; ++i) {
        int bit = size >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j) {
            std::swap(data[2 * i], data[2 * j]);
            std::swap(data[2 * i + 1], data[2 * j + 1]);
        }
    }
    for (int len = 2; len <= size; len <<= 1) {
        const double ang = -2.0 * M_PI / len;
        for (int i = 0; i < size; i += len) {
            for (int k = 0; k < len / 2; ++k) {
                const float wr = float(std::cos(ang * k)), wi = float(std::sin(ang * k));
                float* a = data + 2 * (i + k);
                float* c = data + 2 * (i + k + len / 2);
                const float tr = c[0] * wr - c[1] * wi;
                const float ti = c[0] * wi + c[1] * wr;
                c[0] = a[0] - tr;
                c[1] = a[1] - ti;
                a[0] += tr;
                a[1] += ti;
            }
        }
    }
}

void fft8(float* data) { fftComplex(data, 8); }

}  // namespace aacplus
