#include "codecs/aactables/AacSampleRate.h"

#include "codecs/aactables/tables/AacTables.h"

namespace aactables {

int sampleRateIndexForRate(uint32_t rate) {
    for (int i = 0; i < kBandTableCount; ++i) {
        if (rate >= kSampleRateMinRate[i]) return i;
    }
    return kBandTableCount - 1;
}

uint32_t sampleRateForIndex(int index) {
    if (index < 0 || index >= kSampleRateIndexCount) return 0;
    return kSampleRates[index];
}

}  // namespace aactables
