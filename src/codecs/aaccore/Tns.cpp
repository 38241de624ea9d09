#include "codecs/aaccore/Tns.h"

#include <cmath>

namespace aaccore {

int tnsPredictor(const int* coef, int order, int coefRes, float* a) {
    while (order > 0 && coef[order - 1] == 0)
        --order;
    // Steps of the inverse quantiser differ for negative indices (half a step further out).
    const double scale = double(1 << (coefRes + 2));
    const double qPos = (scale - 0.5) / (M_PI / 2.0);
    const double qNeg = (scale + 0.5) / (M_PI / 2.0);
    double lpc[33] = {1.0};
    double tmp[33];
    for (int m = 1; m <= order; ++m) {
        const double k = std::sin(coef[m - 1] / (coef[m - 1] >= 0 ? qPos : qNeg));
        for (int i = 1; i < m; ++i)
            tmp[i] = lpc[i] + k * lpc[m - i];
        for (int i = 1; i < m; ++i)
            lpc[i] = tmp[i];
        lpc[m] = k;
    }
    for (int i = 0; i <= order; ++i)
        a[i] = float(lpc[i]);
    return order;
}

void tnsFilter(float* x, int start, int end, bool downward, const float* a, int order) {
    if (order <= 0 || end <= start) return;
    float state[32] = {};  // state[0] = y[n-1]
    const int n = end - start;
    const int step = downward ? -1 : 1;
    float* p = x + (downward ? end - 1 : start);
    for (int i = 0; i < n; ++i, p += step) {
        float y = *p;
        for (int j = 0; j < order; ++j)
            y -= a[j + 1] * state[j];
        for (int j = order - 1; j > 0; --j)
            state[j] = state[j - 1];
        state[0] = y;
        *p = y;
    }
}

}  // namespace aaccore
