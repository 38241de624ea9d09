#include "codecs/aacplus/Prediction.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

namespace aacplus {
namespace {

inline float truncate16(float v) { return std::bit_cast<float>(std::bit_cast<uint32_t>(v) & 0xFFFF0000u); }

inline float round16(float v) {
    uint32_t bits = std::bit_cast<uint32_t>(v);
    const bool up = bits & 0x8000u;
    bits &= 0xFFFF0000u;
    if (up) bits += 0x10000u;
    return std::bit_cast<float>(bits);
}

struct Reciprocal {
    float mantissa[128];
    float exponent[256];
    Reciprocal() {
        for (int m = 0; m < 128; ++m) {
            // 0.953125 / (1 + m / 128) rounded to an 8-bit mantissa.
            const double v = 0.953125 / (1.0 + m / 128.0);
            int e;
            const double f = std::frexp(v, &e);  // f in [0.5, 1)
            mantissa[m] = float(std::ldexp(std::round(f * 256.0) / 256.0, e));
        }
        for (int e = 0; e < 256; ++e)
            exponent[e] = (e >= 128 && e <= 254) ? float(std::ldexp(1.0, 127 - e)) : 0.0f;
    }
};

const Reciprocal& reciprocal() {
    static const Reciprocal t;
    return t;
}

// Approximates 0.953125 / var; 0 when var is below 2.0.
inline float gainOver(float var) {
    const Reciprocal& t = reciprocal();
    const uint32_t bits = std::bit_cast<uint32_t>(var);
    return t.mantissa[(bits >> 16) & 127] * t.exponent[(bits >> 23) & 255];
}

}  // namespace

void ResetPredictors(PredictionState& s) {
    for (Predictor& p : s.p)
        p = Predictor{{0.0f, 0.0f}, {0.0f, 0.0f}, {1.0f, 1.0f}};
}

float predictorEstimate(const Predictor& p) {
    const float k0 = p.cor[0] * gainOver(p.var[0]);
    const float k1 = p.cor[1] * gainOver(p.var[1]);
    return round16(k0 * p.r[0] + k1 * p.r[1]);
}

void predictorUpdate(Predictor& p, float x) {
    constexpr float a = 0.953125f;
    constexpr float alpha = 0.90625f;
    const float k0 = p.cor[0] * gainOver(p.var[0]);
    const float e[2] = {x, x - k0 * p.r[0]};
    for (int i = 0; i < 2; ++i) {
        p.var[i] = truncate16(alpha * p.var[i] + 0.5f * (p.r[i] * p.r[i] + e[i] * e[i]));
        p.cor[i] = truncate16(alpha * p.cor[i] + p.r[i] * e[i]);
    }
    p.r[1] = truncate16(a * (p.r[0] - k0 * x));
    p.r[0] = truncate16(a * x);
}

void Predict(PredictionState& s, const IcsInfo& ics, decapl60& channel) {
    if (ics.isShort()) {
        ResetPredictors(s);
        return;
    }
    const uint16_t* offs = ics.swbOffset();
    const int limitBand = std::min(ics.predSfbMax(), ics.numSwb);
    const int end = std::min<int>(offs[limitBand], 672);
    float* x = channel.GetSpectrum(0);
    if (ics.predictorDataPresent) {
        for (int b = 0; b < limitBand; ++b) {
            if (!ics.predictionUsed[b]) continue;
            for (int k = offs[b]; k < offs[b + 1] && k < end; ++k)
                x[k] += predictorEstimate(s.p[k]);
        }
    }
    for (int k = 0; k < end; ++k)
        predictorUpdate(s.p[k], x[k]);
    if (ics.predictorDataPresent && ics.predictorReset) {
        const int g = ics.predictorResetGroup;
        for (int k = g - 1; k < end; k += 30)
            s.p[k] = Predictor{{0.0f, 0.0f}, {0.0f, 0.0f}, {1.0f, 1.0f}};
    }
}

}  // namespace aacplus
