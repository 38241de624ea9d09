#include "codecs/aacplus/SbrEnvelope.h"

#include <algorithm>
#include <cmath>

namespace aacplus {

namespace {

// Low-resolution band k covers high bands [lo, hi).
void lowBandCover(const SbrFrameData& f, int k, int& lo, int& hi) {
    const int single = std::max(0, f.nlTwiceMinusNh);  // 2*NL - NH bands cover one high band
    if (k < single) {
        lo = k;
        hi = k + 1;
    } else {
        lo = single + 2 * (k - single);
        hi = lo + 2;
    }
    lo = std::clamp(lo, 0, f.nh);
    hi = std::clamp(hi, lo, f.nh);
}

void conceal(const SbrHeader& h, SbrFrameData& f, const SbrPreviousFrame& prev) {
    const int start = std::clamp(f.prevLastBorder - kSbrTimeSlots, 0, 3);
    f.frameClass = kFixFix;
    f.numEnv = 1;
    f.tE[0] = uint8_t(start);
    f.tE[1] = kSbrTimeSlots;
    f.freqRes[0] = 1;
    f.dfEnv[0] = 1;
    f.lA = -1;
    f.numNoise = 1;
    f.tQ[0] = uint8_t(start);
    f.tQ[1] = kSbrTimeSlots;
    f.dfNoise[0] = 1;
    std::copy(f.prevInvfMode, f.prevInvfMode + kSbrMaxNoiseBands, f.invfMode);
    f.ampRes = prev.ampRes;
    f.coupling = prev.coupling;
    f.numEnvValues = f.nh;
    const bool balance = f.coupling == 2;
    const float scale = f.ampRes ? 1.0f : 2.0f;
    const float target = (balance ? 12.0f : 0.0f) * scale;
    const float step = (balance ? 0.5f : 1.0f) * scale;
    for (int k = 0; k < f.nh; ++k)
        f.env[k] = prev.lastEnvelope[k] <= target ? step : -step;
    for (int k = 0; k < kSbrMaxNoiseBands; ++k)
        f.noise[k] = 0.0f;
    (void)h;
}

}  // namespace

void sbrDeltaDecodeEnvelope(SbrFrameData& f, float* prev) {
    int pos = 0;
    for (int l = 0; l < f.numEnv; ++l) {
        const bool high = f.freqRes[l] != 0;
        const int n = high ? f.nh : f.nl;
        float* v = f.env + pos;
        if (f.dfEnv[l] == 0) {
            for (int k = 1; k < n; ++k)
                v[k] += v[k - 1];
        } else if (high) {
            for (int k = 0; k < n; ++k)
                v[k] += prev[k];
        } else {
            for (int k = 0; k < n; ++k) {
                int lo, hi;
                lowBandCover(f, k, lo, hi);
                v[k] += prev[lo];
            }
        }
        // The array keeps the envelope at high resolution for the next time delta.
        if (high) {
            std::copy(v, v + n, prev);
        } else {
            for (int k = 0; k < n; ++k) {
                int lo, hi;
                lowBandCover(f, k, lo, hi);
                for (int i = lo; i < hi; ++i)
                    prev[i] = v[k];
            }
        }
        pos += n;
    }
}

void sbrDecodeChannelEnvelope(SbrHeader& h, SbrFrameData& f, SbrPreviousFrame& prev, const SbrPreviousFrame* other) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        const bool concealed = h.errorFlag != 0;
        float adjust = 0.0f;
        if (concealed) {
            conceal(h, f, prev);
        } else {
            if (f.coupling != prev.coupling) {
                if (prev.coupling == 2 && other)
                    std::copy(other->lastEnvelope, other->lastEnvelope + kSbrMaxHighBands, prev.lastEnvelope);
                else if (f.coupling == 1 && other)
                    for (int k = 0; k < kSbrMaxHighBands; ++k)
                        prev.lastEnvelope[k] = 0.5f * (prev.lastEnvelope[k] + other->lastEnvelope[k]);
                else if (f.coupling == 2)
                    std::fill(prev.lastEnvelope, prev.lastEnvelope + kSbrMaxHighBands, 12.0f);
            }
            if (h.firstFrame) {
                const int t0 = f.tE[0], t1 = f.tE[1];
                const int t0New = f.prevLastBorder - kSbrTimeSlots;
                if (t1 - t0New >= 1 && t0New != t0 && t0New >= 0) {
                    f.tE[0] = uint8_t(t0New);
                    f.tQ[0] = uint8_t(t0New);
                    if (f.coupling != 2)
                        adjust = float(std::log2(double(t1 - t0) / double(t1 - t0New))) * (f.ampRes ? 1.0f : 2.0f);
                }
            }
        }
        float saved[kSbrMaxHighBands];
        std::copy(prev.lastEnvelope, prev.lastEnvelope + kSbrMaxHighBands, saved);
        sbrDeltaDecodeEnvelope(f, prev.lastEnvelope);
        const float top = f.ampRes ? 35.0f : 70.0f;
        for (int k = 0; k < kSbrMaxHighBands; ++k)
            prev.lastEnvelope[k] = std::clamp(prev.lastEnvelope[k], 0.0f, top);
        bool outOfRange = false;
        for (int i = 0; i < f.numEnvValues; ++i)
            outOfRange |= f.env[i] < 0.0f || f.env[i] > top;
        if (outOfRange && !concealed) {
            h.errorFlag = 1;
            std::copy(saved, saved + kSbrMaxHighBands, prev.lastEnvelope);
            continue;
        }
        // The stretched first envelope spreads the same energy over more slots; the
        // reference for the next time deltas keeps the transmitted values.
        if (adjust != 0.0f) {
            const int n = f.freqRes[0] ? f.nh : f.nl;
            for (int k = 0; k < n; ++k)
                f.env[k] += adjust;
        }
        const float a = f.ampRes ? 1.0f : 2.0f;
        for (int i = 0; i < f.numEnvValues; ++i)
            f.env[i] = 64.0f * std::exp2(f.env[i] / a);
        return;
    }
}

namespace {

void decodeNoise(SbrFrameData& f, SbrPreviousFrame& prev) {
    const int nq = std::clamp(f.nqValues, 0, kSbrMaxNoiseBands);
    for (int q = 0; q < f.numNoise; ++q) {
        float* v = f.noise + q * kSbrMaxNoiseBands;
        const float* ref = q == 0 ? prev.lastNoise : f.noise;
        if (f.dfNoise[q] == 0) {
            for (int k = 1; k < nq; ++k)
                v[k] += v[k - 1];
        } else {
            for (int k = 0; k < nq; ++k)
                v[k] += ref[k];
        }
        for (int k = 0; k < nq; ++k)
            v[k] = std::clamp(v[k], 0.0f, 35.0f);
    }
    std::copy(f.noise + (f.numNoise - 1) * kSbrMaxNoiseBands, f.noise + (f.numNoise - 1) * kSbrMaxNoiseBands + nq,
              prev.lastNoise);
}

void dequantiseNoise(SbrFrameData& f) {
    for (int q = 0; q < f.numNoise; ++q)
        for (int k = 0; k < f.nqValues && k < kSbrMaxNoiseBands; ++k)
            f.noise[q * kSbrMaxNoiseBands + k] = std::exp2(6.0f - f.noise[q * kSbrMaxNoiseBands + k]);
}

void finish(SbrFrameData& f, SbrPreviousFrame& prev) {
    prev.coupling = f.coupling;
    prev.ampRes = f.ampRes;
    f.prevLastBorder = f.tE[f.numEnv];
}

}  // namespace

void sbrDecodeEnvelopes(SbrHeader& h, SbrFrameData& f0, SbrPreviousFrame& p0, SbrFrameData* f1, SbrPreviousFrame* p1) {
    const int errorBefore = h.errorFlag;
    const SbrFrameData f0Parsed = f0;
    const SbrPreviousFrame p0Before = p0;
    sbrDecodeChannelEnvelope(h, f0, p0, p1);
    decodeNoise(f0, p0);
    if (!f1 || !p1) {
        dequantiseNoise(f0);
        finish(f0, p0);
        h.firstFrame = h.errorFlag;
        return;
    }
    const int errorAfter0 = h.errorFlag;
    sbrDecodeChannelEnvelope(h, *f1, *p1, &p0);
    decodeNoise(*f1, *p1);
    if (h.errorFlag && !errorAfter0 && !errorBefore) {
        // Channel 1 failed: conceal channel 0 too, from its state before this frame.
        f0 = f0Parsed;
        p0 = p0Before;
        sbrDecodeChannelEnvelope(h, f0, p0, p1);
        decodeNoise(f0, p0);
    }
    if (f1->coupling == 2) {
        const int n = std::min(f0.numEnvValues, f1->numEnvValues);
        for (int i = 0; i < n; ++i) {
            const float r = f1->env[i] * std::exp2(-12.0f) / 64.0f;
            f1->env[i] = 2.0f * f0.env[i] / (1.0f + r);
            f0.env[i] = r * f1->env[i];
        }
        for (int q = 0; q < f0.numNoise; ++q)
            for (int k = 0; k < f0.nqValues && k < kSbrMaxNoiseBands; ++k) {
                float& q0 = f0.noise[q * kSbrMaxNoiseBands + k];
                float& q1 = f1->noise[q * kSbrMaxNoiseBands + k];
                const float r = std::exp2(q1 - 12.0f);
                q1 = 2.0f * std::exp2(6.0f - q0) / (1.0f + r);
                q0 = r * q1;
            }
    } else {
        dequantiseNoise(f0);
        dequantiseNoise(*f1);
    }
    finish(f0, p0);
    finish(*f1, *p1);
    h.firstFrame = h.errorFlag;
}

}  // namespace aacplus
