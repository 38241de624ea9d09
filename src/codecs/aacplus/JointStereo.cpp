#include "codecs/aacplus/JointStereo.h"

#include <algorithm>
#include <cmath>

#include "codecs/aacplus/CoreStatus.h"

namespace aacplus {

int ReadMsData(MsData& ms, BitReader& r, const IcsInfo& ics) {
    ms.maskPresent = int32_t(r.read(2));
    switch (ms.maskPresent) {
    case 0:
        for (int g = 0; g < ics.numGroups; ++g)
            std::fill(ms.flags[g], ms.flags[g] + ics.maxSfb, uint8_t(0));
        break;
    case 1:
        for (int g = 0; g < ics.numGroups; ++g)
            for (int b = 0; b < ics.maxSfb; ++b)
                ms.flags[g][b] = uint8_t(r.read(1));
        break;
    case 2:
        for (int g = 0; g < ics.numGroups; ++g)
            std::fill(ms.flags[g], ms.flags[g] + ics.maxSfb, uint8_t(1));
        break;
    default: return kCoreReservedMsMask;
    }
    return 0;
}

void ApplyMs(const uint8_t (*flags)[64], const IcsInfo& ics, decapl60& left, decapl60& right) {
    const uint16_t* offs = ics.swbOffset();
    int window = 0;
    for (int g = 0; g < ics.numGroups; ++g) {
        for (int w = 0; w < ics.groupLength[g]; ++w, ++window) {
            float* l = left.GetSpectrum(window);
            float* rr = right.GetSpectrum(window);
            for (int b = 0; b < ics.maxSfb; ++b) {
                if (!flags[g][b]) continue;
                for (int k = offs[b]; k < offs[b + 1]; ++k) {
                    const float a = l[k], c = rr[k];
                    l[k] = a + c;
                    rr[k] = a - c;
                }
            }
        }
    }
}

void ApplyIntensity(const uint8_t (*flags)[64], const IcsInfo& ics, decapl60& left, decapl60& right,
                    bool invertWithMs) {
    const uint16_t* offs = ics.swbOffset();
    int window = 0;
    for (int g = 0; g < ics.numGroups; ++g) {
        const uint8_t* cbs = right.GetCodebooks(g);
        const int16_t* sv = right.GetScaleFactors(g);
        for (int w = 0; w < ics.groupLength[g]; ++w, ++window) {
            const float* l = left.GetSpectrum(window);
            float* rr = right.GetSpectrum(window);
            for (int b = 0; b < ics.maxSfb; ++b) {
                const int cb = cbs[b];
                if (cb != 14 && cb != 15) continue;
                const int position = std::clamp(sv[b] + 100, -1000, 1000);
                float scale = float(std::pow(0.5, position / 4.0));
                if (cb == 14) scale = -scale;
                if (invertWithMs && flags[g][b]) scale = -scale;
                for (int k = offs[b]; k < offs[b + 1]; ++k)
                    rr[k] = scale * l[k];
            }
        }
    }
}

}  // namespace aacplus
