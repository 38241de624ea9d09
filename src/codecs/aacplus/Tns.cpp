#include "codecs/aacplus/Tns.h"

#include <algorithm>
#include <cmath>

namespace aacplus {

void readTnsData(TnsData& t, const IcsInfo& ics, BitReader& r) {
    t.present = r.readBit();
    if (!t.present) return;
    const bool shortWin = ics.isShort();
    const int maxOrder = shortWin ? 7 : (ics.isMain() ? 20 : 12);
    for (int w = 0; w < ics.numWindows(); ++w) {
        t.nFilt[w] = int(r.read(shortWin ? 1 : 2));
        if (t.nFilt[w]) t.coefRes[w] = int(r.read(1));
        int top = ics.numSwb;
        for (int f = 0; f < t.nFilt[w]; ++f) {
            TnsFilter& flt = t.filter[w][f];
            const int length = int(r.read(shortWin ? 4 : 6));
            flt.top = top;
            flt.bottom = std::max(top - length, 0);
            top = flt.bottom;
            flt.order = int(r.read(shortWin ? 3 : 5));
            if (flt.order) {
                flt.direction = r.readBit() ? -1 : 1;
                flt.coefCompress = int(r.read(1));
                flt.coefBits = t.coefRes[w] + 3 - flt.coefCompress;
                for (int i = 0; i < flt.order; ++i) {
                    const int v = int(r.read(flt.coefBits));
                    const int sign = 1 << (flt.coefBits - 1);
                    flt.coef[i] = (v & sign) ? v - (sign << 1) : v;
                }
                flt.order = std::min(flt.order, maxOrder);
            }
        }
    }
}

int tnsPredictor(const TnsFilter& f, int coefRes, float* a) {
    int order = f.order;
    while (order > 0 && f.coef[order - 1] == 0)
        --order;
    const double scale = double(1 << (coefRes + 2));
    const double qPos = (scale - 0.5) / (M_PI / 2.0);
    const double qNeg = (scale + 0.5) / (M_PI / 2.0);
    double k[33];
    for (int i = 0; i < order; ++i)
        k[i + 1] = std::sin(f.coef[i] / (f.coef[i] >= 0 ? qPos : qNeg));
    double lpc[33] = {1.0};
    double tmp[33];
    for (int m = 1; m <= order; ++m) {
        for (int i = 1; i < m; ++i)
            tmp[i] = lpc[i] + k[m] * lpc[m - i];
        for (int i = 1; i < m; ++i)
            lpc[i] = tmp[i];
        lpc[m] = k[m];
    }
    for (int i = 0; i <= order; ++i)
        a[i] = float(lpc[i]);
    return order;
}

void tnsFilterWindow(const TnsData& t, const IcsInfo& ics, int window, float* spectrum) {
    const uint16_t* offs = ics.swbOffset();
    const int limit = std::min(ics.tnsMaxBands(), ics.maxSfb);
    for (int f = 0; f < t.nFilt[window]; ++f) {
        const TnsFilter& flt = t.filter[window][f];
        if (flt.order <= 0) continue;
        float a[33];
        const int order = tnsPredictor(flt, t.coefRes[window], a);
        if (order == 0) continue;
        const int start = offs[std::min(flt.bottom, limit)];
        const int end = offs[std::min(flt.top, limit)];
        if (end <= start) continue;
        float state[32] = {};  // state[0] = y[n-1]
        const int n = end - start;
        float* x = spectrum + (flt.direction > 0 ? start : end - 1);
        const int step = flt.direction > 0 ? 1 : -1;
        for (int i = 0; i < n; ++i, x += step) {
            float y = *x;
            for (int j = 0; j < order; ++j)
                y -= a[j + 1] * state[j];
            for (int j = order - 1; j > 0; --j)
                state[j] = state[j - 1];
            state[0] = y;
            *x = y;
        }
    }
}

}  // namespace aacplus
