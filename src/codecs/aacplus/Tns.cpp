#include "codecs/aacplus/Tns.h"

#include <algorithm>

#include "codecs/aaccore/Tns.h"

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
    return aaccore::tnsPredictor(f.coef, f.order, coefRes, a);
}

void tnsFilterWindow(const TnsData& t, const IcsInfo& ics, int window, float* spectrum) {
    const uint16_t* offs = ics.swbOffset();
    const int limit = std::min(ics.tnsMaxBands(), ics.maxSfb);
    for (int f = 0; f < t.nFilt[window]; ++f) {
        const TnsFilter& flt = t.filter[window][f];
        if (flt.order <= 0) continue;
        float a[33];
        const int order = tnsPredictor(flt, t.coefRes[window], a);
        aaccore::tnsFilter(spectrum, offs[std::min(flt.bottom, limit)], offs[std::min(flt.top, limit)],
                           flt.direction < 0, a, order);
    }
}

}  // namespace aacplus
