#include "codecs/aacplus/JointStereo.h"

#include <algorithm>

#include "codecs/aaccore/Stereo.h"

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

namespace {

aaccore::Grouping grouping(const IcsInfo& ics) {
    aaccore::Grouping g;
    g.numGroups = ics.numGroups;
    std::copy(ics.groupLength, ics.groupLength + 8, g.groupLength);
    g.maxSfb = ics.maxSfb;
    g.offsets = ics.swbOffset();
    return g;
}

}  // namespace

void ApplyMs(const uint8_t (*flags)[64], const IcsInfo& ics, decapl60& left, decapl60& right) {
    aaccore::applyMs(grouping(ics), flags, [&](int c, int w) { return (c ? right : left).GetSpectrum(w); });
}

void ApplyIntensity(const uint8_t (*flags)[64], const IcsInfo& ics, decapl60& left, decapl60& right,
                    bool invertWithMs) {
    aaccore::applyIntensity(
        grouping(ics), invertWithMs ? flags : nullptr, [&](int c, int w) { return (c ? right : left).GetSpectrum(w); },
        [&](int g) { return right.GetCodebooks(g); }, [&](int g) { return right.GetScaleFactors(g); });
}

}  // namespace aacplus
