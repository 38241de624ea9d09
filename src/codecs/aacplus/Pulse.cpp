#include "codecs/aacplus/Pulse.h"

#include "codecs/aacplus/CoreStatus.h"

namespace aacplus {

int readPulseData(PulseData& p, const IcsInfo& ics, BitReader& r) {
    p.present = r.readBit();
    if (!p.present) return 0;
    p.numberPulse = int(r.read(2));
    p.startSfb = int(r.read(6));
    for (int i = 0; i <= p.numberPulse; ++i) {
        p.offset[i] = int(r.read(5));
        p.amp[i] = int(r.read(4));
    }
    // A start band past the band table has no offset to start from: treated like a
    // position past the spectrum. Short windows carry no pulse data.
    if (ics.isShort() || p.startSfb > ics.numSwb) return kCorePulseBeyondEnd;
    int pos = ics.swbOffset()[p.startSfb];
    for (int i = 0; i <= p.numberPulse; ++i) {
        pos += p.offset[i];
        if (pos > 1023) return kCorePulseBeyondEnd;
        p.position[i] = pos;
    }
    return 0;
}

void applyPulseData(const PulseData& p, int32_t* quantised) {
    if (!p.present) return;
    for (int i = 0; i <= p.numberPulse; ++i) {
        int32_t& q = quantised[p.position[i]];
        q = q > 0 ? q + p.amp[i] : q - p.amp[i];
    }
}

}  // namespace aacplus
