// program_config_element: parsing, membership and the program record it gives.
#include "codecs/aacplus/StreamConfig.h"

#include "codecs/aacplus/TransportCommon.h"

namespace aacplus {

using transport::indexForRate;
using transport::rateOfIndex;

namespace {

void readGroup(BitReader& r, PceEntry* entries, int n, int& channels) {
    channels = 0;
    for (int i = 0; i < n; ++i) {
        entries[i].isCpe = uint8_t(r.read(1));
        entries[i].tag = uint8_t(r.read(4));
        channels += entries[i].isCpe ? 2 : 1;
    }
}

bool findElement(const FrameElement* elements, int count, int id, int tag) {
    for (int i = 0; i < count; ++i)
        if (elements[i].id == id && elements[i].tag == tag) return true;
    return false;
}

bool groupHas(const PceEntry* entries, int n, int isCpe, int tag) {
    for (int i = 0; i < n; ++i)
        if (entries[i].isCpe == isCpe && entries[i].tag == tag) return true;
    return false;
}

int profileOf(int mpegVersion, int objectType) {
    if (mpegVersion == 1)
        return objectType == 0 ? kAacPlusProfileMpeg2Main : objectType == 1 ? kAacPlusProfileMpeg2Lc : -1;
    if (mpegVersion == 2)
        return objectType == 0 ? kAacPlusProfileMpeg4Main : objectType == 1 ? kAacPlusProfileMpeg4Lc : -1;
    return 0;
}

}  // namespace

bool ProgramConfig::hasSingle(int tag) const {
    return !valid || groupHas(front, numFront, 0, tag) || groupHas(side, numSide, 0, tag) ||
           groupHas(back, numBack, 0, tag);
}

bool ProgramConfig::hasPair(int tag) const {
    return !valid || groupHas(front, numFront, 1, tag) || groupHas(side, numSide, 1, tag) ||
           groupHas(back, numBack, 1, tag);
}

bool ProgramConfig::hasLfe(int tag) const {
    if (!valid) return true;
    for (int i = 0; i < numLfe; ++i)
        if (lfeTag[i] == tag) return true;
    return false;
}

bool ProgramConfig::sameLayout(const ProgramConfig& o) const {
    return objectType == o.objectType && samplingFrequencyIndex == o.samplingFrequencyIndex && numLfe == o.numLfe &&
           numAssocData == o.numAssocData && numValidCc == o.numValidCc && numFront == o.numFront &&
           numSide == o.numSide && numBack == o.numBack;
}

void parseProgramConfig(ProgramConfig& pce, BitReader& r, Crc* crc, int64_t blockStart) {
    const int64_t start = r.position();
    pce.elementInstanceTag = int(r.read(4));
    pce.objectType = int(r.read(2));
    pce.samplingFrequencyIndex = int(r.read(4));
    pce.numFront = int(r.read(4));
    pce.numSide = int(r.read(4));
    pce.numBack = int(r.read(4));
    pce.numLfe = int(r.read(2));
    pce.numAssocData = int(r.read(3));
    pce.numValidCc = int(r.read(4));
    pce.monoMixdownPresent = int(r.read(1));
    pce.monoMixdownElement = pce.monoMixdownPresent ? int(r.read(4)) : 0;
    pce.stereoMixdownPresent = int(r.read(1));
    pce.stereoMixdownElement = pce.stereoMixdownPresent ? int(r.read(4)) : 0;
    pce.matrixMixdownIdxPresent = int(r.read(1));
    if (pce.matrixMixdownIdxPresent) {
        pce.matrixMixdownIdx = int(r.read(2));
        pce.pseudoSurroundEnable = int(r.read(1));
    } else {
        pce.matrixMixdownIdx = 0;
        pce.pseudoSurroundEnable = 0;
    }
    readGroup(r, pce.front, pce.numFront, pce.frontChannels);
    readGroup(r, pce.side, pce.numSide, pce.sideChannels);
    readGroup(r, pce.back, pce.numBack, pce.backChannels);
    for (int i = 0; i < pce.numLfe; ++i)
        pce.lfeTag[i] = uint8_t(r.read(4));
    for (int i = 0; i < pce.numAssocData; ++i)
        pce.assocTag[i] = uint8_t(r.read(4));
    for (int i = 0; i < pce.numValidCc; ++i) {
        pce.cc[i].isCpe = uint8_t(r.read(1));
        pce.cc[i].tag = uint8_t(r.read(4));
    }
    r.align(blockStart);
    pce.commentBytes = int(r.read(8));
    for (int i = 0; i < pce.commentBytes; ++i) {
        const uint8_t b = uint8_t(r.read(8));
        if (i < 64) pce.comment[i] = b;
    }
    if (crc) {
        CrcRegion region;
        region.begin(start, 0);
        region.end(r.position(), INT64_MAX);
        crc->feed(r.data, r.count, &region, 1);
    }
    pce.valid = true;
}

int checkProgramMembership(ProgramConfig& pce, const FrameElement* elements, int count) {
    if (!pce.valid) return kCoreOk;
    const struct {
        const PceEntry* entries;
        int n;
    } groups[3] = {{pce.front, pce.numFront}, {pce.side, pce.numSide}, {pce.back, pce.numBack}};
    for (const auto& g : groups) {
        for (int i = 0; i < g.n; ++i) {
            if (!findElement(elements, count, g.entries[i].isCpe ? kIdCpe : kIdSce, g.entries[i].tag)) {
                pce.valid = false;
                return kCoreMissingElement;
            }
        }
    }
    for (int i = 0; i < pce.numLfe; ++i) {
        if (!findElement(elements, count, kIdLfe, pce.lfeTag[i])) {
            pce.valid = false;
            return kCoreMissingElement;
        }
    }
    return kCoreOk;
}

int programFromConfig(DecoderStreamInfo& info, const ProgramConfig& pce) {
    if (!pce.valid) return kCoreOk;
    const int rate = rateOfIndex(pce.samplingFrequencyIndex);
    const int index = indexForRate(rate);
    if (pce.samplingFrequencyIndex > 15 || rate <= 0 || index >= 15) return kCoreBadPceRate;
    aacPlusProgramInfo& p = info.info.programs[pce.elementInstanceTag & 15];
    info.samplingRate = rate;
    info.samplingFrequencyIndex = index;
    p.coreSampleRate = rate;
    p.profile = profileOf(info.mpegVersion, pce.objectType);
    p.frontChannels = pce.frontChannels;
    p.sideChannels = pce.sideChannels;
    p.backChannels = pce.backChannels;
    p.lfeChannels = pce.numLfe;
    p.numChannels = pce.totalChannels();
    p.programChannels = p.numChannels;
    info.markValid(p);
    return kCoreOk;
}

}  // namespace aacplus
