// Pulse data: a few quantised lines of a long window raised or lowered.
#pragma once

#include <cstdint>

#include "codecs/aacplus/BitReader.h"
#include "codecs/aacplus/IcsInfo.h"

namespace aacplus {

struct PulseData {
    bool present = false;
    int numberPulse = 0;  // pulses - 1
    int startSfb = 0;
    int offset[4] = {};
    int amp[4] = {};
    int position[4] = {};
};

// 0 or 0x1009 (a position beyond line 1023, or a start band the window type lacks).
[[nodiscard]] int readPulseData(PulseData& p, const IcsInfo& ics, BitReader& r);
void applyPulseData(const PulseData& p, int32_t* quantised);

}  // namespace aacplus
