#include "codecs/vlb/OutputStage.h"

#include <cmath>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr float kThreshold = 32767.0f;
constexpr float kHardLimit = 103542.72f;

// Built once and only read afterwards: decoders on several threads share it.
struct GainTable {
    double v[33];
    GainTable() {
        for (int i = 0; i <= 32; ++i)
            v[i] = static_cast<float>(32767.0 / (i * 2211.7725 + 32767.0) - 0.013);
    }
};

const double* Gains() {
    static const GainTable table;
    return table.v;
}

}  // namespace

const double* VlbLimiterGainTable() { return Gains(); }

COutputStage::COutputStage(int channels, int) : channels_(channels < 1 ? 1 : channels > 2 ? 2 : channels) {
    for (float& w : work_)
        w = 0.0f;
}

void COutputStage::SetRate(uint32_t rate) {
    rate_ = rate;
    switch (rate) {
    case 96000:
    case 88200:
    case 64000:
    case 48000:
    case 44100:
    case 32000:
    case 24000:
    case 22050:
    case 16000:
    case 12000:
    case 11025:
    case 8000:
        holdTime_ = static_cast<uint16_t>(rate / 50);
        decay_ = 1.0f - 20.0f / static_cast<float>(rate);
        break;
    default:
        holdTime_ = 1920;
        decay_ = 1.0f - 20.0f / 96000.0f;
        break;
    }
}

float COutputStage::Gain(int channel, float x) {
    Limiter& s = limiter_[channel];
    if (x <= kThreshold && s.envelope <= kThreshold) {
        s.envelope = 0.0f;
        return 1.0f;
    }
    if (x > kHardLimit) {
        s.envelope = kHardLimit;
        s.hold = holdTime_;
        return kThreshold / x;
    }
    if (x > s.envelope) {
        s.envelope = x;
        s.hold = holdTime_;
    } else if (s.hold > 0) {
        --s.hold;
    } else if (s.envelope <= kThreshold) {
        s.envelope = 0.0f;
        return 1.0f;
    } else {
        s.envelope *= decay_;
    }
    if (s.envelope > kThreshold) {
        float k = (s.envelope - kThreshold) * 0.0004521260663110695f;
        int i = static_cast<int>(k);
        if (i > 31) i = 31;  // the envelope never exceeds the hard limit, which is k = 32
        const double* gains = Gains();
        return static_cast<float>(gains[i] + (k - i) * (gains[i + 1] - gains[i]));
    }
    s.envelope = 0.0f;
    return 1.0f;
}

void COutputStage::Process(float** channels, unsigned n, unsigned piece) {
    if (n > kPiece) n = kPiece;
    for (int c = 0; c < channels_; ++c) {
        float* samples = channels[c] + piece * n;
        float* delay = delay_[c];
        for (unsigned i = 0; i < kDelay; ++i)
            work_[i] = delay[i];
        if (n > kDelay && Quiet(c, samples, n)) {
            // Nothing reaches the threshold: every gain is 1 and no step is softened, so the
            // piece only moves through the delay line.
            limiter_[c].envelope = 0.0f;
            previousGain_[c] = 1.0f;
            for (unsigned j = 0; j < n - kDelay; ++j)
                work_[kDelay + j] = samples[j];
            for (unsigned j = 0; j < kDelay; ++j)
                delay[j] = samples[n - kDelay + j];
            Round(samples, n);
            continue;
        }
        // Sample j of this piece is stored at out(j): the work buffer while it still fits
        // in front of the last 10, else the delay line carried to the next piece.
        auto slot = [&](unsigned j) -> float& {
            return j + kDelay < n + kDelay && j < n - kDelay ? work_[kDelay + j] : delay[j - (n - kDelay)];
        };
        for (unsigned j = 0; j < n; ++j) {
            float sample = samples[j];
            if (!std::isfinite(sample)) sample = 0.0f;  // corrupt spectra must not reach the caller
            float g = Gain(c, std::fabs(sample));
            slot(j) = g * sample;
            float d = previousGain_[c] - g;
            if (d > 0.0f) {
                // Soften the step: ramp down the nine samples before the drop.
                for (unsigned k = 1; k <= 9; ++k) {
                    float factor = 1.0f - 0.1f * static_cast<float>(10 - k) * d;
                    // k = 1 is the sample just before (factor 1 - 0.9 d).
                    if (j >= k)
                        slot(j - k) *= factor;
                    else if (kDelay + j >= k)
                        work_[kDelay + j - k] *= factor;
                }
            }
            previousGain_[c] = g;
        }
        Round(samples, n);
    }
}

bool COutputStage::Quiet(int channel, const float* samples, unsigned n) const {
    // Whole-piece test without an early exit, so it runs as one vector loop; the negated
    // form also catches NaN and infinities.
    unsigned loud = !(limiter_[channel].envelope <= kThreshold);
    for (unsigned j = 0; j < n; ++j)
        loud |= !(std::fabs(samples[j]) <= kThreshold);
    return loud == 0;
}

void COutputStage::Round(float* __restrict samples, unsigned n) const {
    const float* __restrict work = work_;
    unsigned j = 0;
#if defined(__SSE2__)
    // The scalar loop's selections as min, max and a sign flip: minps(a, b) is a < b ? a : b,
    // so NaN passes through as it does below, and -0.5 with its sign cleared is 0.5.
    const __m128 low = _mm_set1_ps(-32768.0f), high = _mm_set1_ps(32767.0f);
    const __m128 minusHalf = _mm_set1_ps(-0.5f), sign = _mm_set1_ps(-0.0f), zero = _mm_setzero_ps();
    for (; j + 4 <= n; j += 4) {
        __m128 v = _mm_min_ps(high, _mm_loadu_ps(work + j));
        v = _mm_max_ps(low, v);
        const __m128 half = _mm_xor_ps(minusHalf, _mm_and_ps(_mm_cmpge_ps(v, zero), sign));
        _mm_storeu_ps(samples + j, _mm_add_ps(v, half));
    }
#endif
    for (; j < n; ++j) {
        float v = work[j];
        v = 32767.0f < v ? 32767.0f : v;
        v = v < -32768.0f ? -32768.0f : v;
        samples[j] = v + (v >= 0.0f ? 0.5f : -0.5f);
    }
}
