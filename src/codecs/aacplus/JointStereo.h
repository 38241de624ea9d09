// M/S and intensity stereo of a channel pair.
#pragma once

#include <cstdint>

#include "codecs/aacplus/BitReader.h"
#include "codecs/aacplus/Ics.h"

namespace aacplus {

struct MsData {
    uint8_t flags[8][64] = {};
    int32_t maskPresent = 2;
};

// Reads ms_mask_present and the band flags. 0 or 0x100E (reserved value 3).
[[nodiscard]] int ReadMsData(MsData& ms, BitReader& r, const IcsInfo& ics);
void ApplyMs(const uint8_t (*flags)[64], const IcsInfo& ics, decapl60& left, decapl60& right);
// invertWithMs: the band's M/S flag reverses the intensity sign (common window with
// ms_mask_present 1 only; see the caller).
void ApplyIntensity(const uint8_t (*flags)[64], const IcsInfo& ics, decapl60& left, decapl60& right, bool invertWithMs);

}  // namespace aacplus
