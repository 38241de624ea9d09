// The ADIF header.
#include "codecs/aacplus/StreamConfig.h"

#include "codecs/aacplus/TransportCommon.h"

namespace aacplus {

using transport::bytesAt;

bool detectAdif(const BitReader& r) { return bytesAt(r, "ADIF"); }

bool parseAdifHeader(AdifHeader& h, BitReader& r, ProgramConfig* slots) {
    if (!detectAdif(r)) return false;
    const int64_t start = r.position();
    r.skip(32);
    h.copyrightIdPresent = int(r.read(1));
    if (h.copyrightIdPresent) r.skip(72);
    h.originalCopy = int(r.read(1));
    h.home = int(r.read(1));
    h.bitstreamType = int(r.read(1));
    h.bitrate = int(r.read(23));
    h.numProgramConfigElements = int(r.read(4));
    for (int i = 0; i <= h.numProgramConfigElements; ++i) {
        if (h.bitstreamType == 0) r.skip(20);  // adif_buffer_fullness
        const int tag = int(r.peek(4));
        if (i == 0) h.firstTag = tag;
        parseProgramConfig(slots[tag], r, nullptr, start);
    }
    return true;
}

}  // namespace aacplus
