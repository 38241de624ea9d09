#include "codecs/aacplus/SbrHfGen.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>

#include "codecs/aacplus/SbrDecoder.h"

namespace aacplus {

namespace {

const ErrorDescriptor* genError() { return sbrError(SbrUnit::HfGenerator); }

constexpr double kWhiteningThresholds[9] = {0, 5000, 6000, 6500, 7000, 7500, 8000, 9000, 10000};
constexpr float kWhiteningLevels[6] = {0.0f, 0.6f, 0.75f, 0.9f, 0.98f, 0.2f};

}  // namespace

const ErrorDescriptor* sbrHfGeneratorOpen(SbrHfGenerator& gen, const SbrDecoderConfig& config, int bands, int bypass,
                                          int slotsPerFrame)
{
    gen = SbrHfGenerator();
    gen.setup = config.words[10] / 20;
    if (gen.setup != 2 || bypass != 0 || bands != 64 || slotsPerFrame != 32)
        return genError();
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
                                       const int32_t* fNoise, int32_t nq, int32_t fsSbr, int bands, int bypass)
{
    (void)bypass;
    if (nMaster < 1 || fsSbr <= 0 || nq < 1 || nq > kSbrMaxNoiseBands)
        return genError();
    const int32_t k0 = fMaster[0], k2 = fMaster[nMaster];
    const int32_t lowest = gen.lowestSource;
    if (k0 - lowest < 4)
        return genError();
    if (k2 <= kx || k2 > bands)
        return genError();
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
        if (pass > 4 * kSbrMaxPatches + 4)
            return genError();
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
                    if (fMaster[i] <= end)
                        best = std::max(best, fMaster[i]);
                end = best;
            }
            width = end - usb;
        }
        if (width > 0) {
            if (n >= kSbrMaxPatches)
                return genError();
            const int32_t shift = (usb + width - k0 + 1) & ~1;
            SbrPatch p;
            p.sourceStart = usb - shift;
            p.sourceEnd = p.sourceStart + width;
            p.targetStart = usb;
            p.shift = shift;
            p.width = width;
            if (p.sourceStart < 1 || p.sourceEnd > kx)
                return genError();
            patches[n++] = p;
            usb += width;
        }
        if (goalBand - usb < 3)
            goalBand = k2;
    }
    if (n > 1 && patches[n - 1].width < 3)
        --n;
    if (n < 1 || n > kSbrMaxPatches)
        return genError();
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
        if (kWhiteningThresholds[i] <= crossover)
            row = i;
    gen.whitening[0] = float(kWhiteningThresholds[row]);
    for (int i = 0; i < 6; ++i)
        gen.whitening[1 + i] = kWhiteningLevels[i];
    return nullptr;
}

void sbrHfGenerate(float* const* srcRe, float* const* srcIm, float* const* dstRe, float* const* dstIm,
                   int slotsPerEnvelopeSlot, SbrFrameData& f, SbrHfGenerator& gen, int lowPower, int bypass)
{
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
        if (bw < 0.015625f)
            bw = 0.0f;
        if (bw >= 0.99609375f)
            bw = 0.99609375f;
        gen.chirp[q] = bw;
    }

    const int first = rate * f.tE[0];
    const int last = rate * f.tE[f.numEnv];  // exclusive, relative to the HF adjustment row
    const int clearEnd = 32 + rate * (f.tE[f.numEnv] - kSbrTimeSlots);
    for (int r = first; r < clearEnd; ++r)
        for (int k = gen.maxTargetEnd; k < 64; ++k) {
            dstRe[r][k] = 0.0f;
            if (!lowPower)
                dstIm[r][k] = 0.0f;
        }

    // Prediction coefficients per source band.
    std::complex<float> alpha0[64], alpha1[64];
    const int covSlots = gen.slots + 6;
    for (int k = gen.minSource; k < gen.maxSourceEnd && k < 64; ++k) {
        std::complex<double> phi01 = 0, phi02 = 0, phi12 = 0;
        double phi11 = 0, phi22 = 0;
        for (int n = 0; n < covSlots; ++n) {
            const std::complex<double> x0(srcRe[n][k], lowPower ? 0.0f : srcIm[n][k]);
            const std::complex<double> x1(srcRe[n - 1][k], lowPower ? 0.0f : srcIm[n - 1][k]);
            const std::complex<double> x2(srcRe[n - 2][k], lowPower ? 0.0f : srcIm[n - 2][k]);
            phi01 += x0 * std::conj(x1);
            phi02 += x0 * std::conj(x2);
            phi12 += x1 * std::conj(x2);
            phi11 += std::norm(x1);
            phi22 += std::norm(x2);
        }
        const double det = phi22 * phi11 - std::norm(phi12) * 0.999999;
        std::complex<double> a1 = 0, a0 = 0;
        if (std::abs(det) >= 1e-38)
            a1 = (phi01 * phi12 - phi02 * phi11) / det;
        if (phi11 >= 1e-38)
            a0 = -(phi01 + a1 * std::conj(phi12)) / phi11;
        if (std::norm(a0) >= 16.0 || std::norm(a1) >= 16.0)
            a0 = a1 = 0;
        alpha0[k] = std::complex<float>(a0);
        alpha1[k] = std::complex<float>(a1);
    }

    for (int p = 0; p < gen.numPatches; ++p) {
        const SbrPatch& patch = gen.patches[p];
        for (int k = patch.targetStart; k < patch.targetStart + patch.width && k < 64; ++k) {
            const int src = k - patch.shift;
            if (src < 0 || src >= 64)
                continue;
            int q = 0;
            while (q < nq - 1 && k >= gen.noiseBorders[q])
                ++q;
            const float bw = nq ? gen.chirp[q] : 0.0f;
            const std::complex<float> c0 = bw * alpha0[src];
            const std::complex<float> c1 = bw * bw * alpha1[src];
            for (int r = first; r < last; ++r) {
                const std::complex<float> x0(srcRe[r][src], lowPower ? 0.0f : srcIm[r][src]);
                const std::complex<float> x1(srcRe[r - 1][src], lowPower ? 0.0f : srcIm[r - 1][src]);
                const std::complex<float> x2(srcRe[r - 2][src], lowPower ? 0.0f : srcIm[r - 2][src]);
                const std::complex<float> y = x0 + c0 * x1 + c1 * x2;
                dstRe[r][k] = y.real();
                if (!lowPower)
                    dstIm[r][k] = y.imag();
            }
        }
    }
    std::copy(gen.chirp, gen.chirp + kSbrMaxNoiseBands, gen.prevChirp);
    std::copy(f.invfMode, f.invfMode + kSbrMaxNoiseBands, f.prevInvfMode);
}

}  // namespace aacplus
