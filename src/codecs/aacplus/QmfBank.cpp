#include "codecs/aacplus/QmfBank.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "codecs/aactables/tables/AacTables.h"

namespace aacplus {

std::atomic<QmfAnalysisFn> qmfAnalysisKernel{qmfAnalysisComplex};
std::atomic<QmfSynthesisFn> qmfSynthesisKernel{qmfSynthesisComplex};

namespace {

const ErrorDescriptor* qmfError() { return sbrError(SbrUnit::Qmf); }

bool allocate(QmfBank& b, int tableSize, int delaySize)
{
    b.window = new (std::nothrow) float[size_t(b.windowLength)];
    b.cosTable = new (std::nothrow) float[size_t(tableSize)];
    b.sinTable = new (std::nothrow) float[size_t(tableSize)];
    b.work = new (std::nothrow) float[size_t(2 * b.bands)]();
    b.delay = delaySize ? new (std::nothrow) float[size_t(delaySize)]() : nullptr;
    return b.window && b.cosTable && b.sinTable && b.work && (b.delay || !delaySize);
}

void fillWindow(QmfBank& b)
{
    for (int i = 0; i < b.windowLength; ++i)
        b.window[i] = float(aactables::kSbrQmfWindow[i * b.stride]);
}

// Windowed and folded input of one analysis slot: u(n), n = 0..2N-1.
void analysisFold(const float* time, const QmfBank& b, float* u)
{
    const int n2 = 2 * b.bands;
    const int last = b.windowLength - 1;
    for (int n = 0; n < n2; ++n) {
        float acc = 0.0f;
        for (int j = 0; j < b.taps; ++j) {
            const int idx = n + j * n2;
            // Newest sample first in the window's order.
            acc += time[last - idx] * b.window[idx];
        }
        u[n] = acc;
    }
}

}  // namespace

const ErrorDescriptor* qmfAnalysisOpen(QmfBank& bank, int bypass, int divider, int downsamplingFactor,
                                       int coreFrameLength, int lowPower)
{
    (void)bypass;
    qmfClose(bank);
    if (divider != 2 || (downsamplingFactor != 1 && downsamplingFactor != 2) || coreFrameLength <= 0)
        return qmfError();
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
    if (!allocate(bank, n * n2, 0)) {
        qmfClose(bank);
        return qmfError();
    }
    fillWindow(bank);
    // The downsampled synthesis runs at the core rate; its quarter-sample shorter phase
    // offset is made up here so that the two banks still cancel their aliasing.
    const double phase = downsamplingFactor == 2 ? 1.0 : 0.5;
    for (int k = 0; k < n; ++k)
        for (int i = 0; i < n2; ++i) {
            const double a = M_PI / n2 * (k + 0.5) * (2 * i - phase);
            bank.cosTable[k * n2 + i] = float(2.0 * std::cos(a));
            bank.sinTable[k * n2 + i] = float(2.0 * std::sin(a));
        }
    qmfAnalysisKernel = lowPower ? qmfAnalysisReal : qmfAnalysisComplex;
    return nullptr;
}

const ErrorDescriptor* qmfSynthesisOpen(QmfBank& bank, int bypass, int downsamplingFactor, int outputFrameLength,
                                        float lowBandGain, float highBandGain, int lowPower)
{
    (void)bypass;
    qmfClose(bank);
    if ((downsamplingFactor != 1 && downsamplingFactor != 2) || outputFrameLength <= 0)
        return qmfError();
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
    const int n = bank.bands, n2 = 2 * n;
    if (!allocate(bank, n * n2, 2 * bank.windowLength)) {
        qmfClose(bank);
        return qmfError();
    }
    fillWindow(bank);
    for (int i = 0; i < n2; ++i)
        for (int k = 0; k < n; ++k) {
            const double a = M_PI / n2 * (k + 0.5) * (2 * i - (n2 * 2 - 1));
            bank.cosTable[i * n + k] = float(std::cos(a));
            bank.sinTable[i * n + k] = float(std::sin(a));
        }
    qmfSynthesisKernel = lowPower ? qmfSynthesisReal : qmfSynthesisComplex;
    return nullptr;
}

void qmfClose(QmfBank& bank)
{
    delete[] bank.window;
    delete[] bank.cosTable;
    delete[] bank.sinTable;
    delete[] bank.delay;
    delete[] bank.work;
    bank.window = bank.cosTable = bank.sinTable = bank.delay = bank.work = nullptr;
}

void qmfReset(QmfBank& bank)
{
    if (bank.work)
        std::fill(bank.work, bank.work + 2 * bank.bands, 0.0f);
    if (bank.delay)
        std::fill(bank.delay, bank.delay + 2 * bank.windowLength, 0.0f);
}

void qmfUseComplexKernels()
{
    qmfAnalysisKernel = qmfAnalysisComplex;
    qmfSynthesisKernel = qmfSynthesisComplex;
}

void qmfAnalysisComplex(const float* time, float* const* re, float* const* im, QmfBank& b)
{
    const int n = b.bands, n2 = 2 * n;
    float* u = b.work;
    for (int l = 0; l < b.slots; ++l) {
        analysisFold(time + l * n, b, u);
        for (int k = 0; k < n; ++k) {
            const float* c = b.cosTable + k * n2;
            const float* s = b.sinTable + k * n2;
            float accR = 0.0f, accI = 0.0f;
            for (int i = 0; i < n2; ++i) {
                accR += u[i] * c[i];
                accI += u[i] * s[i];
            }
            re[l][k] = accR;
            im[l][k] = accI;
        }
    }
}

// The real-valued (low-power) kernels keep their place in the kernel table but compute the
// complex values: a real-only bank needs its own aliasing reduction in the HF path, which
// this decoder does not have, and would lose the high band's imaginary half.
void qmfAnalysisReal(const float* time, float* const* re, float* const* im, QmfBank& b)
{
    qmfAnalysisComplex(time, re, im, b);
}

namespace {

// One synthesis slot from the band values X (real and imaginary, already gained).
void synthesisSlot(const float* xr, const float* xi, float* out, QmfBank& b)
{
    const int n = b.bands, n2 = 2 * n, len = 2 * b.windowLength;  // v holds 20N values
    float* v = b.delay;
    std::memmove(v + n2, v, size_t(len - n2) * sizeof(float));
    for (int i = 0; i < n2; ++i) {
        const float* c = b.cosTable + i * n;
        const float* s = b.sinTable + i * n;
        float acc = 0.0f;
        if (xi) {
            for (int k = 0; k < n; ++k)
                acc += xr[k] * c[k] - xi[k] * s[k];
        } else {
            for (int k = 0; k < n; ++k)
                acc += xr[k] * c[k];
        }
        v[i] = acc;
    }
    for (int k = 0; k < n; ++k) {
        float acc = 0.0f;
        for (int j = 0; j < b.taps; ++j) {
            acc += v[2 * n2 * j + k] * b.window[n2 * j + k];
            acc += v[2 * n2 * j + 3 * n + k] * b.window[n2 * j + n + k];
        }
        out[k] = acc;
    }
}

void gatherBands(const QmfBank& b, const float* re, const float* im, float* xr, float* xi)
{
    const int lowEnd = std::clamp(b.rangeStart, 0, b.bands);
    const int highEnd = std::clamp(b.rangeEnd, lowEnd, b.bands);
    for (int k = 0; k < b.bands; ++k) {
        const float g = k < lowEnd ? b.lowGain : k < highEnd ? b.highGain : 0.0f;
        xr[k] = g * re[k];
        if (xi)
            xi[k] = g * im[k];
    }
}

}  // namespace

void qmfSynthesisComplex(float* const* re, float* const* im, float* out, QmfBank& b)
{
    float xr[64], xi[64];
    for (int l = 0; l < b.slots; ++l) {
        gatherBands(b, re[l], im[l], xr, xi);
        synthesisSlot(xr, xi, out + l * b.bands, b);
    }
}

void qmfSynthesisReal(float* const* re, float* const* im, float* out, QmfBank& b)
{
    qmfSynthesisComplex(re, im, out, b);
}

void fftComplex(float* data, int size)
{
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
