// ics_info of one channel: window sequence and shape, band limits, grouping and the
// Main-profile predictor side information, with the per-rate band tables behind it.
#pragma once

#include <cstdint>

#include "codecs/aacplus/BitReader.h"
#include "codecs/aacplus/aacPlusTypes.h"

namespace aacplus {

enum WindowSequence : int {
    kOnlyLong = 0,
    kLongStart = 1,
    kEightShort = 2,
    kLongStop = 3,
    kStopStart = 4,  // made by concealment only
};

struct IcsInfo {
    bool valid = false;
    int reservedBit = 0;
    int windowSequence = 0;
    int windowShape = 0;
    int maxSfb = 0;
    int scaleFactorGrouping = 0;
    bool predictorDataPresent = false;
    bool predictorReset = false;
    int predictorResetGroup = 0;
    uint8_t predictionUsed[64] = {};
    int numSwb = 0;
    int sfIndex = 0;
    int profile = 0;
    int numGroups = 1;
    int groupLength[8] = {1};

    void reset(int samplingFrequencyIndex, int profileCode);
    // Sets the sequence (and what follows from it: band count, one group of one window for
    // long sequences, eight groups of one window for short ones).
    void setSequence(int sequence, int shape);

    bool isShort() const { return windowSequence == kEightShort; }
    int numWindows() const { return isShort() ? 8 : 1; }
    bool isMain() const { return profile == kAacPlusProfileMpeg2Main || profile == kAacPlusProfileMpeg4Main; }
    const uint16_t* swbOffset() const;
    int predSfbMax() const;
    int tnsMaxBands() const;
};

// Reads ics_info. 0, 0x1008 (predictor reset group outside 1..30) or 0x100F (max_sfb above
// the band count).
[[nodiscard]] int readIcsInfo(BitReader& r, IcsInfo& ics);

// Long-window band offsets of a sampling frequency index (numSwb + 1 entries).
const uint16_t* longSwbOffset(int sfIndex, int* numSwb);

}  // namespace aacplus
