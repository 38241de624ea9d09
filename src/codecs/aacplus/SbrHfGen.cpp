#include "codecs/aacplus/SbrHfGen.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>

#include "codecs/aaccore/Wide.h"

namespace aacplus {

namespace {

const ErrorDescriptor* genError() { return sbrError(SbrUnit::HfGenerator); }

constexpr double kWhiteningThresholds[9] = {0, 5000, 6000, 6500, 7000, 7500, 8000, 9000, 10000};
constexpr float kWhiteningLevels[6] = {0.0f, 0.6f, 0.75f, 0.9f, 0.98f, 0.2f};

struct Predictor {
    const float *c0r, *c0i, *c1r, *c1i;
};

// One row of a patch: y = x0 + c0 * x(-1) + c1 * x(-2). Separate functions, so that the
// compiler takes the pointers as distinct and vectorises.
void predictRow(const float* __restrict x0r, const float* __restrict x0i, const float* __restrict x1r,
                const float* __restrict x1i, const float* __restrict x2r, const float* __restrict x2i,
                const Predictor& c, float* __restrict yr, float* __restrict yi, int count) {
    const float* __restrict c0r = c.c0r;
    const float* __restrict c0i = c.c0i;
    const float* __restrict c1r = c.c1r;
    const float* __restrict c1i = c.c1i;
    for (int i = 0; i < count; ++i) {
        const float re = (x0r[i] + (c0r[i] * x1r[i] - c0i[i] * x1i[i])) + (c1r[i] * x2r[i] - c1i[i] * x2i[i]);
        const float im = (x0i[i] + (c0r[i] * x1i[i] + c0i[i] * x1r[i])) + (c1r[i] * x2i[i] + c1i[i] * x2r[i]);
        yr[i] = re;
        yi[i] = im;
    }
}

void predictRow(const float* __restrict x0r, const float* __restrict x1r, const float* __restrict x2r,
                const float* __restrict c0r, const float* __restrict c1r, float* __restrict yr, int count) {
    for (int i = 0; i < count; ++i)
        yr[i] = (x0r[i] + c0r[i] * x1r[i]) + c1r[i] * x2r[i];
}

}  // namespace

const ErrorDescriptor* sbrHfGeneratorOpen(SbrHfGenerator& gen, const SbrDecoderConfig& config, int bands, int bypass,
                                          int slotsPerFrame) {
    gen = SbrHfGenerator();
    gen.setup = config.words[10] / 20;
    if (gen.setup != 2 || bypass != 0 || bands != 64 || slotsPerFrame != 32) return genError();
    float chirp;
    const int32_t w12 = config.words[12];
    std::memcpy(&chirp, &w12, sizeof chirp);
    gen.fixedChirp = chirp;
    gen.lowestSource = std::max<int32_t>(1, config.words[4]);
    gen.bands = bands;
    gen.slots = slotsPerFrame;
    return nullptr;
}

void sbrHfGeneratorClose(SbrHfGenerator&) {}

const ErrorDescriptor* sbrBuildPatches(SbrHfGenerator& gen, int32_t kx, const int32_t* fMaster, int32_t nMaster,
                                       const int32_t* fNoise, int32_t nq, int32_t fsSbr, int bands, int bypass) {
    (void)bypass;
    if (nMaster < 1 || fsSbr <= 0 || nq < 1 || nq > kSbrMaxNoiseBands) return genError();
    const int32_t k0 = fMaster[0], k2 = fMaster[nMaster];
    const int32_t lowest = gen.lowestSource;
    if (k0 - lowest < 4) return genError();
    if (k2 <= kx || k2 > bands) return genError();
    const int32_t goal = int32_t(128.0 * 16000.0 / fsSbr + 0.5);
    int32_t goalBand;
    if (goal <= k0) {
        goalBand = k0;
    } else if (goal < k2) {
        goalBand = k2;
        for (int i = 0; i <= nMaster; ++i)
            if (fMaster[i] >= goal) {
                goalBand = fMaster[i];
                break;
            }
    } else {
        goalBand = k2;
    }
    int32_t usb = kx;
    const int32_t s = (kx - k0) + lowest;
    int n = 0;
    SbrPatch patches[kSbrMaxPatches + 1];
    // Each pass either adds a patch or moves the goal to k2; the bound guards a table that
    // would make no progress.
    for (int pass = 0; usb < k2; ++pass) {
        if (pass > 4 * kSbrMaxPatches + 4) return genError();
        int32_t width = goalBand - usb;
        if (width >= k0 - s) {
            int32_t end = k0 + ((usb - s) & ~1);
            if (end <= k0) {
                end = k0;
            } else if (end >= k2) {
                end = k2;
            } else {
                int32_t best = k0;
                for (int i = 0; i <= nMaster; ++i)
                    if (fMaster[i] <= end) best = std::max(best, fMaster[i]);
                end = best;
            }
            width = end - usb;
        }
        if (width > 0) {
            if (n >= kSbrMaxPatches) return genError();
            const int32_t shift = (usb + width - k0 + 1) & ~1;
            SbrPatch p;
            p.sourceStart = usb - shift;
            p.sourceEnd = p.sourceStart + width;
            p.targetStart = usb;
            p.shift = shift;
            p.width = width;
            if (p.sourceStart < 1 || p.sourceEnd > kx) return genError();
            patches[n++] = p;
            usb += width;
        }
        if (goalBand - usb < 3) goalBand = k2;
    }
    if (n > 1 && patches[n - 1].width < 3) --n;
    if (n < 1 || n > kSbrMaxPatches) return genError();
    gen.numPatches = n;
    std::copy(patches, patches + n, gen.patches);
    gen.minSource = patches[0].sourceStart;
    gen.maxSourceEnd = 0;
    gen.maxTargetEnd = 0;
    for (int i = 0; i < n; ++i) {
        gen.minSource = std::min(gen.minSource, patches[i].sourceStart);
        gen.maxSourceEnd = std::max(gen.maxSourceEnd, patches[i].sourceEnd);
        gen.maxTargetEnd = std::max(gen.maxTargetEnd, patches[i].targetStart + patches[i].width);
    }
    gen.numNoise = nq;
    for (int i = 0; i < nq; ++i)
        gen.noiseBorders[i] = fNoise[i + 1];
    const double crossover = double(kx) * fsSbr / 128.0;
    int row = 0;
    for (int i = 0; i < 9; ++i)
        if (kWhiteningThresholds[i] <= crossover) row = i;
    gen.whitening[0] = float(kWhiteningThresholds[row]);
    for (int i = 0; i < 6; ++i)
        gen.whitening[1 + i] = kWhiteningLevels[i];
    return nullptr;
}

AACCORE_WIDE_KERNEL void sbrHfGenerate(float* const* srcRe, float* const* srcIm, float* const* dstRe,
                                       float* const* dstIm, int slotsPerEnvelopeSlot, SbrFrameData& f,
                                       SbrHfGenerator& gen, int lowPower, int bypass) {
    (void)bypass;
    const int rate = slotsPerEnvelopeSlot;
    const float off = gen.whitening[1], transition = gen.whitening[2], low = gen.whitening[3], mid = gen.whitening[4],
                high = gen.whitening[5];
    const int nq = std::clamp(gen.numNoise, 0, kSbrMaxNoiseBands);
    for (int q = 0; q < nq; ++q) {
        float bw;
        if (gen.fixedChirp > 0.0f) {
            bw = gen.fixedChirp;
        } else {
            switch (f.invfMode[q]) {
            case 0: bw = f.prevInvfMode[q] == 1 ? transition : off; break;
            case 1: bw = f.prevInvfMode[q] == 0 ? transition : low; break;
            case 2: bw = mid; break;
            default: bw = high; break;
            }
        }
        const float old = gen.prevChirp[q];
        bw = bw < old ? 0.75f * bw + 0.25f * old : 0.90625f * bw + 0.09375f * old;
        if (bw < 0.015625f) bw = 0.0f;
        if (bw >= 0.99609375f) bw = 0.99609375f;
        gen.chirp[q] = bw;
    }

    const int first = rate * f.tE[0];
    const int last = rate * f.tE[f.numEnv];  // exclusive, relative to the HF adjustment row
    const int clearEnd = 32 + rate * (f.tE[f.numEnv] - kSbrTimeSlots);
    const int clearFrom = std::clamp(gen.maxTargetEnd, 0, 64);
    for (int r = first; r < clearEnd; ++r) {
        std::fill(dstRe[r] + clearFrom, dstRe[r] + 64, 0.0f);
        if (!lowPower) std::fill(dstIm[r] + clearFrom, dstIm[r] + 64, 0.0f);
    }

    // Prediction coefficients per source band. The covariances are summed slot by slot
    // across all source bands at once (contiguous, in double). phi11 and phi22 share all but
    // one term of the energy sum, phi01 and phi12 all but one of the lag-1 sum.
    static const float kZeroRow[64] = {};
    auto imagRow = [&](int r) { return lowPower ? kZeroRow : srcIm[r]; };
    std::complex<float> alpha0[64], alpha1[64];
    const int covSlots = gen.slots + 6;
    const int kLo = std::max(0, gen.minSource), kHi = std::min(gen.maxSourceEnd, 64);
    // energy: |x(m)|^2, m = -1..S-3; lag1: x(m) x*(m-1), m = 0..S-2; lag2: x(n) x*(n-2), n = 0..S-1.
    double energy[64] = {}, lag1r[64] = {}, lag1i[64] = {}, lag2r[64] = {}, lag2i[64] = {};
    for (int n = -1; n < covSlots; ++n) {
        const float* __restrict x0r = srcRe[n];
        const float* __restrict x1r = srcRe[n - 1];
        const float* __restrict x0i = imagRow(n);
        const float* __restrict x1i = imagRow(n - 1);
        if (n <= covSlots - 3)
            for (int k = kLo; k < kHi; ++k)
                energy[k] += double(x0r[k]) * x0r[k] + double(x0i[k]) * x0i[k];
        if (n >= 0 && n <= covSlots - 2)
            for (int k = kLo; k < kHi; ++k) {
                const double ar = x0r[k], ai = x0i[k], br = x1r[k], bi = x1i[k];
                lag1r[k] += ar * br + ai * bi;
                lag1i[k] += ai * br - ar * bi;
            }
        if (n >= 0) {
            const float* __restrict x2r = srcRe[n - 2];
            const float* __restrict x2i = imagRow(n - 2);
            for (int k = kLo; k < kHi; ++k) {
                const double ar = x0r[k], ai = x0i[k], cr = x2r[k], ci = x2i[k];
                lag2r[k] += ar * cr + ai * ci;
                lag2i[k] += ai * cr - ar * ci;
            }
        }
    }
    double p01r[64], p01i[64], p12r[64], p12i[64], p11[64], p22[64];
    {
        const int last = covSlots - 1;
        const float* lr = srcRe[last];
        const float* li = imagRow(last);
        const float* pr = srcRe[last - 1];
        const float* pi = imagRow(last - 1);
        const float* m1r = srcRe[-1];
        const float* m1i = imagRow(-1);
        const float* m2r = srcRe[-2];
        const float* m2i = imagRow(-2);
        for (int k = kLo; k < kHi; ++k) {
            p11[k] = energy[k] + (double(pr[k]) * pr[k] + double(pi[k]) * pi[k]);
            p22[k] = energy[k] + (double(m2r[k]) * m2r[k] + double(m2i[k]) * m2i[k]);
            p01r[k] = lag1r[k] + (double(lr[k]) * pr[k] + double(li[k]) * pi[k]);
            p01i[k] = lag1i[k] + (double(li[k]) * pr[k] - double(lr[k]) * pi[k]);
            p12r[k] = lag1r[k] + (double(m1r[k]) * m2r[k] + double(m1i[k]) * m2i[k]);
            p12i[k] = lag1i[k] + (double(m1i[k]) * m2r[k] - double(m1r[k]) * m2i[k]);
        }
    }
    const double* p02r = lag2r;
    const double* p02i = lag2i;
    for (int k = kLo; k < kHi; ++k) {
        const std::complex<double> phi01(p01r[k], p01i[k]), phi02(p02r[k], p02i[k]), phi12(p12r[k], p12i[k]);
        const double phi11 = p11[k], phi22 = p22[k];
        const double det = phi22 * phi11 - (p12r[k] * p12r[k] + p12i[k] * p12i[k]) * 0.999999;
        std::complex<double> a1 = 0, a0 = 0;
        if (std::abs(det) >= 1e-38) a1 = (phi01 * phi12 - phi02 * phi11) / det;
        if (phi11 >= 1e-38) a0 = -(phi01 + a1 * std::conj(phi12)) / phi11;
        if (a0.real() * a0.real() + a0.imag() * a0.imag() >= 16.0 ||
            a1.real() * a1.real() + a1.imag() * a1.imag() >= 16.0)
            a0 = a1 = 0;
        alpha0[k] = std::complex<float>(a0);
        alpha1[k] = std::complex<float>(a1);
    }

    // X_high = X_low + bw * alpha0 * X_low(-1) + bw^2 * alpha1 * X_low(-2), a row at a time
    // over each patch's contiguous run of bands.
    for (int p = 0; p < gen.numPatches; ++p) {
        const SbrPatch& patch = gen.patches[p];
        const int kBegin = std::max({patch.targetStart, patch.shift, 0});
        const int kEnd = std::min({patch.targetStart + patch.width, 64, 64 + patch.shift});
        if (kBegin >= kEnd) continue;
        const int count = kEnd - kBegin, srcBegin = kBegin - patch.shift;
        float c0r[64], c0i[64], c1r[64], c1i[64];
        for (int i = 0; i < count; ++i) {
            const int k = kBegin + i, src = srcBegin + i;
            int q = 0;
            while (q < nq - 1 && k >= gen.noiseBorders[q])
                ++q;
            const float bw = nq ? gen.chirp[q] : 0.0f;
            const float bw2 = bw * bw;
            c0r[i] = bw * alpha0[src].real();
            c0i[i] = bw * alpha0[src].imag();
            c1r[i] = bw2 * alpha1[src].real();
            c1i[i] = bw2 * alpha1[src].imag();
        }
        const Predictor c{c0r, c0i, c1r, c1i};
        for (int r = first; r < last; ++r) {
            if (lowPower)
                predictRow(srcRe[r] + srcBegin, srcRe[r - 1] + srcBegin, srcRe[r - 2] + srcBegin, c.c0r, c.c1r,
                           dstRe[r] + kBegin, count);
            else
                predictRow(srcRe[r] + srcBegin, srcIm[r] + srcBegin, srcRe[r - 1] + srcBegin, srcIm[r - 1] + srcBegin,
                           srcRe[r - 2] + srcBegin, srcIm[r - 2] + srcBegin, c, dstRe[r] + kBegin, dstIm[r] + kBegin,
                           count);
        }
    }
    std::copy(gen.chirp, gen.chirp + kSbrMaxNoiseBands, gen.prevChirp);
    std::copy(f.invfMode, f.invfMode + kSbrMaxNoiseBands, f.prevInvfMode);
}

}  // namespace aacplus
