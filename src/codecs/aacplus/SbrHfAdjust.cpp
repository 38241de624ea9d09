#include "codecs/aacplus/SbrHfAdjust.h"

#include <algorithm>
#include <cmath>

#include "codecs/aaccore/Wide.h"
#include "codecs/aactables/tables/AacTables.h"

namespace aacplus {

namespace {

constexpr float kLimiterGains[4] = {0.5011932f, 1.0f, 1.9952693f, 1e20f};
constexpr float kMaxGain = 1e10f;
constexpr float kEps = 1e-12f;
constexpr float kMaxBoost = 2.5118864f;
constexpr float kSmooth[4] = {0.6666667f, 0.3651638f, 0.1469943f, 0.0318305f};
constexpr float kPhiRe[4] = {1.0f, 0.0f, -1.0f, 0.0f};
constexpr float kPhiIm[4] = {0.0f, 1.0f, 0.0f, -1.0f};

// The noise table in float, run on 64 entries past its end so that a row's bands read it
// without wrapping.
struct NoiseRun {
    float re[512 + 64], im[512 + 64];
    NoiseRun() {
        for (int i = 0; i < 512 + 64; ++i) {
            re[i] = float(aactables::kSbrNoiseTable[i & 511].re);
            im[i] = float(aactables::kSbrNoiseTable[i & 511].im);
        }
    }
};

const NoiseRun& noiseRun() {
    static const NoiseRun run;
    return run;
}

struct RowGains {
    const float* gain;
    const float* noise;    // noise level
    const float* sine;     // sinusoid level
    const float* sineIm;   // sinusoid level with the band's sign for the imaginary part
    const float* noiseRe;  // the noise table from the row's first band
    const float* noiseIm;
};

// One row of bands: gained, plus a sinusoid where there is one, else (outside transients)
// noise. Branch-free so that it vectorises.
template <bool Complex>
void adjustRow(float* __restrict xr, float* __restrict xi, const RowGains& row, int phase, bool addNoise, int m) {
    const float* __restrict g = row.gain;
    const float* __restrict qn = row.noise;
    const float* __restrict s = row.sine;
    const float* __restrict si = row.sineIm;
    const float* __restrict nr = row.noiseRe;
    const float* __restrict ni = row.noiseIm;
    const float pr = kPhiRe[phase], pi = kPhiIm[phase];
    float w[64];  // 1 where the band takes noise, else 0
    for (int k = 0; k < m; ++k)
        w[k] = addNoise && s[k] == 0.0f ? 1.0f : 0.0f;
    for (int k = 0; k < m; ++k) {
        // One of the two terms is a zero: no branch, and the sum is the other term exactly.
        const float q = qn[k] * w[k];
        xr[k] = xr[k] * g[k] + (s[k] * pr + q * nr[k]);
        if constexpr (Complex) xi[k] = xi[k] * g[k] + (si[k] * pi + q * ni[k]);
    }
}

}  // namespace

const ErrorDescriptor* sbrEnvelopeAdjusterOpen(SbrEnvelopeAdjuster& adj, int synthesisSlots, int timeSlots) {
    if (timeSlots != kSbrTimeSlots || synthesisSlots != 2 * timeSlots) return sbrError(SbrUnit::BandTables);
    adj = SbrEnvelopeAdjuster();
    adj.slotsPerEnvelopeSlot = synthesisSlots / timeSlots;
    return nullptr;
}

void sbrEnvelopeAdjusterClose(SbrEnvelopeAdjuster&) {}

AACCORE_WIDE_KERNEL void sbrAdjustEnvelope(SbrEnvelopeAdjuster& adj, const SbrHeader& h, SbrFrameData& f,
                                           float* const* re, float* const* im, int lowPower, int bypass) {
    (void)bypass;
    SbrBandTables& t = adj.tables;
    const int kx = t.kx, m = t.m;
    if (m <= 0 || kx + m > 64 || t.nHigh <= 0) return;
    const int rate = adj.slotsPerEnvelopeSlot;
    const int nh = std::min<int>(t.nHigh, kSbrMaxHighBands);

    // Sinusoid flags per QMF band (relative to kx) for this frame.
    uint8_t sineNow[64] = {};
    uint8_t sineStarted[64] = {};  // flag present before envelope l_A (continued from the previous frame)
    for (int i = 0; i < nh; ++i) {
        if (!f.addHarmonic[i]) continue;
        const int band = (t.fHigh[i] + t.fHigh[i + 1]) / 2 - kx;
        if (band >= 0 && band < m) {
            sineNow[band] = 1;
            sineStarted[band] = t.prevHarmonics[i] != 0.0f ? 1 : 0;
        }
    }

    const float limGain = kLimiterGains[std::clamp(h.limiterGains, 0, 3)];
    int envPos = 0;
    for (int l = 0; l < f.numEnv; ++l) {
        const bool highRes = f.freqRes[l] != 0;
        const int nBands = highRes ? t.nHigh : t.nLow;
        const int32_t* table = highRes ? t.fHigh : t.fLow;
        const int r0 = rate * f.tE[l], r1 = rate * f.tE[l + 1];
        const int slots = std::max(1, r1 - r0);
        const bool transient = l == f.lA || l == adj.lAPrev;
        int qEnv = 0;
        if (f.numNoise == 2 && f.tE[l] >= f.tQ[1]) qEnv = 1;

        float eOrig[64], eCurr[64], qOrig[64], sM[64], gain[64], noiseLevel[64];
        uint8_t sineMapped[64] = {}, sineIndex[64] = {};
        for (int k = 0; k < m; ++k)
            sineIndex[k] = sineNow[k] && (l >= f.lA || sineStarted[k] || f.lA < 0);

        // Energy per QMF band over the envelope's slots, a row at a time (contiguous bands).
        float bandEnergy[64] = {};
        for (int r = r0; r < r1; ++r) {
            const float* __restrict xr = re[r] + kx;
            if (lowPower) {
                for (int k = 0; k < m; ++k)
                    bandEnergy[k] += xr[k] * xr[k] + 0.0f;
            } else {
                const float* __restrict xi = im[r] + kx;
                for (int k = 0; k < m; ++k)
                    bandEnergy[k] += xr[k] * xr[k] + xi[k] * xi[k];
            }
        }

        // Dequantised envelope and noise floor per QMF band, sinusoids per band of this resolution.
        for (int b = 0; b < nBands; ++b) {
            const int lo = std::max(0, table[b] - kx), hi = std::min(m, table[b + 1] - kx);
            uint8_t any = 0;
            for (int k = lo; k < hi; ++k)
                any |= sineIndex[k];
            float sum = 0.0f;
            if (!h.interpolFreq) {
                for (int k = lo; k < hi; ++k)
                    sum += bandEnergy[k];
                sum /= float(slots * std::max(1, hi - lo));
            }
            for (int k = lo; k < hi; ++k) {
                eOrig[k] = f.env[envPos + b];
                sineMapped[k] = any;
                eCurr[k] = h.interpolFreq ? bandEnergy[k] / float(slots) : sum;
            }
        }
        envPos += nBands;
        for (int q = 0; q < t.nNoise; ++q)
            for (int k = t.fNoise[q] - kx; k < t.fNoise[q + 1] - kx; ++k)
                qOrig[k] = f.noise[qEnv * kSbrMaxNoiseBands + q];

        float qM[64];
        for (int k = 0; k < m; ++k) {
            const float e = eOrig[k], qo = qOrig[k];
            qM[k] = e * qo / (1.0f + qo);
            sM[k] = sineIndex[k] ? e / (1.0f + qo) : 0.0f;
            if (!sineMapped[k])
                gain[k] = e / ((1.0f + eCurr[k]) * (1.0f + (transient ? 0.0f : qo)));
            else
                gain[k] = e / (1.0f + eCurr[k]) * qo / (1.0f + qo);
        }

        // Limiter and compensation boost per limiter band.
        for (int b = 0; b < t.nLim; ++b) {
            const int lo = t.fLim[b], hi = t.fLim[b + 1];
            float sumOrig = 0.0f, sumCurr = 0.0f;
            for (int k = lo; k < hi; ++k) {
                sumOrig += eOrig[k];
                sumCurr += eCurr[k];
            }
            const float gMax = std::min(kMaxGain, (kEps + sumOrig) / (kEps + sumCurr) * limGain);
            float denom = kEps;
            for (int k = lo; k < hi; ++k) {
                if (gain[k] > gMax) {
                    qM[k] = qM[k] * gMax / gain[k];
                    gain[k] = gMax;
                }
                denom += eCurr[k] * gain[k] + sM[k];
                if (!sineIndex[k] && !transient) denom += qM[k];
            }
            const float boost = std::min(kMaxBoost, (kEps + sumOrig) / denom);
            for (int k = lo; k < hi; ++k) {
                gain[k] *= boost;
                qM[k] *= boost;
                sM[k] *= boost;
            }
        }
        for (int k = 0; k < m; ++k) {
            gain[k] = std::sqrt(gain[k]);
            noiseLevel[k] = std::sqrt(qM[k]);
            sM[k] = std::sqrt(sM[k]);
        }

        const bool smooth = h.smoothingMode == 0 && !transient && adj.prevValid;
        float sIm[64], gSmooth[64], qSmooth[64];
        for (int k = 0; k < m; ++k)
            sIm[k] = ((k + kx) & 1) ? -sM[k] : sM[k];
        const NoiseRun& noise = noiseRun();
        for (int r = r0; r < r1; ++r) {
            const int i = r - r0;
            const float* g = gain;
            const float* qn = noiseLevel;
            if (smooth && i < 4) {
                for (int k = 0; k < m; ++k) {
                    gSmooth[k] = kSmooth[i] * adj.prevGain[k] + (1.0f - kSmooth[i]) * gain[k];
                    qSmooth[k] = kSmooth[i] * adj.prevNoise[k] + (1.0f - kSmooth[i]) * noiseLevel[k];
                }
                g = gSmooth;
                qn = qSmooth;
            }
            const int start = (adj.noiseIndex + 1) & 511;
            const RowGains row{g, qn, sM, sIm, noise.re + start, noise.im + start};
            if (lowPower)
                adjustRow<false>(re[r] + kx, nullptr, row, adj.phaseIndex, !transient, m);
            else
                adjustRow<true>(re[r] + kx, im[r] + kx, row, adj.phaseIndex, !transient, m);
            adj.noiseIndex = (adj.noiseIndex + m) & 511;
            adj.phaseIndex = (adj.phaseIndex + 1) & 3;
        }
        std::copy(gain, gain + m, adj.prevGain);
        std::copy(noiseLevel, noiseLevel + m, adj.prevNoise);
        adj.prevValid = true;
    }
    adj.lAPrev = f.lA == f.numEnv ? 0 : -1;
    for (int i = 0; i < kSbrMaxHighBands; ++i)
        t.prevHarmonics[i] = i < nh ? float(f.addHarmonic[i]) : 0.0f;
}

}  // namespace aacplus
