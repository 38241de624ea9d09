// Inverse quantisation of AAC spectral values: |q|^(4/3) and the band gain 2^(sf/4).
#pragma once

#include <algorithm>
#include <cmath>

namespace aaccore {

inline constexpr int kMaxQuant = 8191 + 15 * 4;  // escape limit plus the largest pulses

struct QuantTables {
    float pow43[kMaxQuant + 1];
    float scale[256];  // 2^(sv / 4) for sv = -100 .. 155
    QuantTables();
};

const QuantTables& quantTables();

// |a|^(4/3) for a >= 0; a table look-up up to the largest legal value.
inline float magnitude43(const QuantTables& t, int a) {
    return a <= kMaxQuant ? t.pow43[a] : float(std::pow(double(a), 4.0 / 3.0));
}

// 2^(sv / 4), sv = scale factor - 100.
inline float scaleGain(const QuantTables& t, int sv) {
    if (sv >= -100 && sv <= 155) return t.scale[sv + 100];
    return float(std::exp2(0.25 * std::clamp(sv, -400, 400)));
}

}  // namespace aaccore
