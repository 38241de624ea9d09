#include "codecs/aacplus/IcsInfo.h"

#include <algorithm>
#include <iterator>

#include "codecs/aacplus/CoreStatus.h"
#include "codecs/aactables/AacSampleRate.h"
#include "codecs/aactables/tables/AacTables.h"

namespace aacplus {
namespace {

int row(int sfIndex) { return aactables::bandTableRow(std::clamp(sfIndex, 0, 12)); }

}  // namespace

const uint16_t* longSwbOffset(int sfIndex, int* numSwb) {
    const aactables::SwbOffsetTable& t = aactables::kSwbOffsetLong[row(sfIndex)];
    if (numSwb) *numSwb = t.numSwb;
    return t.offsets;
}

void IcsInfo::reset(int samplingFrequencyIndex, int profileCode) {
    *this = IcsInfo();
    sfIndex = samplingFrequencyIndex;
    profile = profileCode;
    numSwb = aactables::kSwbOffsetLong[row(sfIndex)].numSwb;
}

void IcsInfo::setSequence(int sequence, int shape) {
    windowSequence = sequence;
    windowShape = shape;
    if (sequence == kEightShort) {
        numSwb = aactables::kSwbOffsetShort[row(sfIndex)].numSwb;
        numGroups = 8;
        std::fill(groupLength, groupLength + 8, 1);
    } else {
        numSwb = aactables::kSwbOffsetLong[row(sfIndex)].numSwb;
        numGroups = 1;
        groupLength[0] = 1;
    }
    maxSfb = std::min(maxSfb, numSwb);
}

const uint16_t* IcsInfo::swbOffset() const {
    return isShort() ? aactables::kSwbOffsetShort[row(sfIndex)].offsets
                     : aactables::kSwbOffsetLong[row(sfIndex)].offsets;
}

int IcsInfo::predSfbMax() const { return aactables::kPredSfbMax[row(sfIndex)]; }

int IcsInfo::tnsMaxBands() const {
    return isShort() ? aactables::kTnsMaxBandsShort[row(sfIndex)] : aactables::kTnsMaxBandsLong[row(sfIndex)];
}

int readIcsInfo(BitReader& r, IcsInfo& ics) {
    ics.reservedBit = int(r.read(1));
    ics.windowSequence = int(r.read(2));
    ics.windowShape = int(r.read(1));
    ics.predictorDataPresent = false;
    ics.predictorReset = false;
    ics.predictorResetGroup = 0;
    std::fill(std::begin(ics.predictionUsed), std::end(ics.predictionUsed), 0);
    if (ics.isShort()) {
        ics.maxSfb = int(r.read(4));
        ics.scaleFactorGrouping = int(r.read(7));
        ics.numSwb = aactables::kSwbOffsetShort[row(ics.sfIndex)].numSwb;
        ics.numGroups = 1;
        ics.groupLength[0] = 1;
        for (int w = 1; w < 8; ++w) {
            if (ics.scaleFactorGrouping & (1 << (6 - (w - 1)))) {
                ++ics.groupLength[ics.numGroups - 1];
            } else {
                ics.groupLength[ics.numGroups++] = 1;
            }
        }
    } else {
        ics.numSwb = aactables::kSwbOffsetLong[row(ics.sfIndex)].numSwb;
        ics.maxSfb = int(r.read(6));
        ics.predictorDataPresent = r.readBit();
        if (ics.predictorDataPresent) {
            ics.predictorReset = r.readBit();
            if (ics.predictorReset) {
                ics.predictorResetGroup = int(r.read(5));
                if (ics.predictorResetGroup < 1 || ics.predictorResetGroup > 30) return kCorePredictorReset;
            }
            const int n = std::min(ics.maxSfb, ics.predSfbMax());
            for (int b = 0; b < n; ++b)
                ics.predictionUsed[b] = uint8_t(r.read(1));
        }
        ics.numGroups = 1;
        ics.groupLength[0] = 1;
    }
    if (ics.maxSfb > ics.numSwb) return kCoreInconsistentFrame;
    ics.valid = true;
    return 0;
}

}  // namespace aacplus
