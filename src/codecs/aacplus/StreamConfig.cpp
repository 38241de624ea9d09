#include "codecs/aacplus/StreamConfig.h"

#include <algorithm>

#include "codecs/aactables/AacSampleRate.h"
#include "codecs/aacplus/ChannelMapping.h"

namespace aacplus {

namespace {

// A rate of 0 maps to the invalid index 15; every other rate to a table index.
int indexForRate(int rate)
{
    if (rate <= 0)
        return 15;
    return aactables::sampleRateIndexForRate(uint32_t(rate));
}

int rateOfIndex(int index) { return int(aactables::sampleRateForIndex(index)); }

int readRate(BitReader& r, int& index)
{
    index = int(r.read(4));
    if (index == 15) {
        const uint32_t hi = r.read(16);
        return int((hi << 8) | r.read(8));
    }
    return rateOfIndex(index);
}

void readGroup(BitReader& r, PceEntry* entries, int n, int& channels)
{
    channels = 0;
    for (int i = 0; i < n; ++i) {
        entries[i].isCpe = uint8_t(r.read(1));
        entries[i].tag = uint8_t(r.read(4));
        channels += entries[i].isCpe ? 2 : 1;
    }
}

bool findElement(const FrameElement* elements, int count, int id, int tag)
{
    for (int i = 0; i < count; ++i)
        if (elements[i].id == id && elements[i].tag == tag)
            return true;
    return false;
}

bool groupHas(const PceEntry* entries, int n, int isCpe, int tag)
{
    for (int i = 0; i < n; ++i)
        if (entries[i].isCpe == isCpe && entries[i].tag == tag)
            return true;
    return false;
}

int profileOf(int mpegVersion, int objectType)
{
    if (mpegVersion == 1)
        return objectType == 0 ? 0x200 : objectType == 1 ? 0x201 : -1;
    if (mpegVersion == 2)
        return objectType == 0 ? 0x401 : objectType == 1 ? 0x402 : -1;
    return 0;
}

bool bytesAt(const BitReader& r, const char* text)
{
    BitReader c = r;
    for (const char* p = text; *p; ++p) {
        if (c.bitsLeft() < 8 || c.read(8) != uint8_t(*p))
            return false;
    }
    return true;
}

}  // namespace

// ---- program_config_element ---------------------------------------------------------

bool ProgramConfig::hasSingle(int tag) const
{
    return !valid || groupHas(front, numFront, 0, tag) || groupHas(side, numSide, 0, tag) ||
           groupHas(back, numBack, 0, tag);
}

bool ProgramConfig::hasPair(int tag) const
{
    return !valid || groupHas(front, numFront, 1, tag) || groupHas(side, numSide, 1, tag) ||
           groupHas(back, numBack, 1, tag);
}

bool ProgramConfig::hasLfe(int tag) const
{
    if (!valid)
        return true;
    for (int i = 0; i < numLfe; ++i)
        if (lfeTag[i] == tag)
            return true;
    return false;
}

bool ProgramConfig::sameLayout(const ProgramConfig& o) const
{
    return objectType == o.objectType && samplingFrequencyIndex == o.samplingFrequencyIndex &&
           numLfe == o.numLfe && numAssocData == o.numAssocData && numValidCc == o.numValidCc &&
           numFront == o.numFront && numSide == o.numSide && numBack == o.numBack;
}

void parseProgramConfig(ProgramConfig& pce, BitReader& r, Crc* crc, int64_t blockStart)
{
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
        if (i < 64)
            pce.comment[i] = b;
    }
    if (crc) {
        CrcRegion region;
        region.begin(start, 0);
        region.end(r.position(), INT64_MAX);
        crc->feed(r.data, r.count, &region, 1);
    }
    pce.valid = true;
}

int checkProgramMembership(ProgramConfig& pce, const FrameElement* elements, int count)
{
    if (!pce.valid)
        return kCoreOk;
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

int programFromConfig(DecoderStreamInfo& info, const ProgramConfig& pce)
{
    if (!pce.valid)
        return kCoreOk;
    const int rate = rateOfIndex(pce.samplingFrequencyIndex);
    const int index = indexForRate(rate);
    if (pce.samplingFrequencyIndex > 15 || rate <= 0 || index >= 15)
        return kCoreBadPceRate;
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

// ---- AudioSpecificConfig ------------------------------------------------------------

int parseGaSpecificConfig(AudioSpecificConfig& asc, BitReader& r, int channelConfiguration, int audioObjectType,
                          int64_t start)
{
    asc.frameLengthFlag = int(r.read(1));
    asc.dependsOnCoreCoder = int(r.read(1));
    asc.coreCoderDelay = asc.dependsOnCoreCoder ? int(r.read(14)) : 0;
    asc.extensionFlag = int(r.read(1));
    if (channelConfiguration == 0)
        parseProgramConfig(asc.pce, r, nullptr, start);
    if (asc.extensionFlag) {
        if (audioObjectType == 22) {
            asc.numOfSubFrame = int(r.read(5));
            asc.layerLength = int(r.read(11));
        }
        if (audioObjectType == 17 || audioObjectType == 19 || audioObjectType == 20 || audioObjectType == 21 ||
            audioObjectType == 23) {
            asc.sectionDataResilience = int(r.read(1));
            asc.scalefactorDataResilience = int(r.read(1));
            asc.spectralDataResilience = int(r.read(1));
        }
        asc.extensionFlag3 = int(r.read(1));
        if (asc.extensionFlag3)
            return kCoreSyntax;
    }
    return kCoreOk;
}

int parseAudioSpecificConfig(AudioSpecificConfig& asc, BitReader& r, int64_t bitsAvailable)
{
    const int64_t start = r.position();
    auto budget = [&] { return bitsAvailable < 0 ? int64_t(-1) : bitsAvailable - (r.position() - start); };
    asc.sbrPresentFlag = -1;
    asc.psPresentFlag = -1;
    asc.extensionAudioObjectType = 0;
    asc.audioObjectType = int(r.read(5));
    asc.samplingFrequency = readRate(r, asc.samplingFrequencyIndex);
    asc.channelConfiguration = int(r.read(4));
    if (asc.audioObjectType == 5 || asc.audioObjectType == 29) {
        asc.extensionAudioObjectType = 5;
        asc.sbrPresentFlag = 1;
        asc.psPresentFlag = asc.audioObjectType == 29 ? 1 : -1;
        asc.extensionSamplingFrequency = readRate(r, asc.extensionSamplingFrequencyIndex);
        asc.audioObjectType = int(r.read(5));
    }
    if (asc.audioObjectType != 1 && asc.audioObjectType != 2)
        return kCoreUnsupportedProfile;
    if (int err = parseGaSpecificConfig(asc, r, asc.channelConfiguration, asc.audioObjectType, start))
        return err;
    asc.frameLength = asc.frameLengthFlag ? 960 : 1024;

    if (budget() >= 16 && asc.extensionAudioObjectType != 5 && r.peek(11) == 0x2B7) {
        r.read(11);
        asc.extensionAudioObjectType = int(r.read(5));
        if (asc.extensionAudioObjectType == 5) {
            asc.sbrPresentFlag = int(r.read(1));
            if (asc.sbrPresentFlag == 1) {
                asc.extensionSamplingFrequency = readRate(r, asc.extensionSamplingFrequencyIndex);
                if (budget() >= 12 && r.peek(11) == 0x548) {
                    r.read(11);
                    asc.psPresentFlag = int(r.read(1));
                }
            } else {
                asc.extensionSamplingFrequencyIndex = asc.samplingFrequencyIndex;
                asc.extensionSamplingFrequency = asc.samplingFrequency;
                asc.psPresentFlag = 0;
            }
        }
    }
    if (asc.sbrPresentFlag == 1 && asc.extensionSamplingFrequency != asc.samplingFrequency &&
        asc.extensionSamplingFrequency != 2 * asc.samplingFrequency)
        return kCoreBadSbrRate;
    return kCoreOk;
}

// ---- LATM / LOAS --------------------------------------------------------------------

int readLoasHeader(BitReader& r)
{
    r.read(11);
    return int(r.read(13));
}

int parseStreamMuxConfig(LatmMuxConfig& mux, BitReader& r)
{
    mux.audioMuxVersion = int(r.read(1));
    if (mux.audioMuxVersion == 1)
        return kCoreSyntax;
    mux.allStreamsSameTimeFraming = int(r.read(1));
    mux.numSubFrames = int(r.read(6)) + 1;
    if (mux.numSubFrames != 1)
        return kCoreSyntax;
    mux.numProgram = int(r.read(4)) + 1;
    int streamCount = 0;
    const AudioSpecificConfig* previous = nullptr;
    for (int prog = 0; prog < mux.numProgram; ++prog) {
        mux.numLayer = int(r.read(3)) + 1;
        for (int lay = 0; lay < mux.numLayer; ++lay) {
            LatmLayer& layer = mux.layers[prog][lay];
            layer.streamIndex = streamCount++;
            bool own = true;
            if (prog != 0 || lay != 0) {
                mux.useSameConfig = int(r.read(1));
                own = !mux.useSameConfig || !previous;
            }
            if (own) {
                if (int err = parseAudioSpecificConfig(layer.asc, r, -1))
                    return err;
            } else {
                layer.asc = *previous;
            }
            previous = &layer.asc;
            if (layer.asc.audioObjectType != 2)
                return kCoreUnsupportedProfile;
            layer.frameLengthType = int(r.read(3));
            if (layer.frameLengthType != 0)
                return kCoreSyntax;
            layer.latmBufferFullness = int(r.read(8));
        }
        // Programs may differ in layer count; the payload lengths need each program's own
        // (the single numLayer field holds only the last program's).
        mux.programLayers[prog] = mux.numLayer;
    }
    mux.otherDataPresent = int(r.read(1));
    mux.otherDataLenBits = 0;
    if (mux.otherDataPresent) {
        bool escape = true;
        while (escape) {
            escape = r.read(1) != 0;
            const int64_t byte = r.read(8);
            // Saturate: a run of escape bytes would otherwise overflow.
            mux.otherDataLenBits = mux.otherDataLenBits >= (int64_t(1) << 40) ? mux.otherDataLenBits
                                                                                : (mux.otherDataLenBits << 8) + byte;
            if (r.overran())
                break;
        }
    }
    mux.crcCheckPresent = int(r.read(1));
    mux.crcCheckSum = mux.crcCheckPresent ? int(r.read(8)) : 0;
    return kCoreOk;
}

int parseAudioMuxElementHeader(LatmMuxConfig& mux, BitReader& r)
{
    if (mux.muxConfigPresent) {
        mux.useSameStreamMux = int(r.read(1));
        if (!mux.useSameStreamMux) {
            if (int err = parseStreamMuxConfig(mux, r)) {
                // A refused configuration must not leave a half-read one in use.
                mux.numSubFrames = 0;
                return err;
            }
        }
    }
    if (mux.audioMuxVersion != 0 || mux.numSubFrames == 0) {
        mux.muxHeaderRead = true;
        return kCoreOk;
    }
    if (mux.allStreamsSameTimeFraming != 1)
        return kCoreSyntax;
    for (int prog = 0; prog < mux.numProgram; ++prog) {
        for (int lay = 0; lay < mux.programLayers[prog]; ++lay) {
            LatmLayer& layer = mux.layers[prog][lay];
            if (layer.frameLengthType != 0)
                return kCoreSyntax;
            int64_t bytes = 0;
            uint32_t tmp;
            do {
                tmp = r.read(8);
                bytes += tmp;
            } while (tmp == 255 && !r.overran());
            layer.payloadBits = bytes * 8;
        }
    }
    mux.muxHeaderRead = true;
    return kCoreOk;
}

int skipLatmOtherData(LatmMuxConfig& mux, BitReader& r)
{
    if (!mux.otherDataPresent)
        return kCoreOk;
    if (mux.audioMuxVersion != 0)
        return kCoreSyntax;
    if (mux.otherDataLenBits > r.bitsLeft())
        return kCoreNeedMoreInput;
    r.skip(mux.otherDataLenBits);
    return kCoreOk;
}

void applyMuxConfig(const LatmMuxConfig& mux, DecoderStreamInfo& info, bool implicitSbr, int sbrDownsampleRate,
                    int downmixMode)
{
    for (int prog = 0; prog < mux.numProgram && prog < 16; ++prog) {
        info.workProgram = prog;
        aacPlusProgramInfo& p = info.info.programs[prog];
        const AudioSpecificConfig& asc = mux.layers[prog][0].asc;
        const int rate = asc.samplingFrequency;
        const int index = indexForRate(rate);
        if (index < 15) {
            info.samplingRate = rate;
            info.samplingFrequencyIndex = index;
            p.coreSampleRate = rate;
            info.mpegVersion = 2;
            if (asc.audioObjectType == 2)
                p.profile = 0x402;
        }
        const bool downsample = sbrDownsampleRate > 0 && sbrDownsampleRate <= p.coreSampleRate;
        bool sbrUp = false;
        if (asc.sbrPresentFlag == 1) {
            p.sampleRate = asc.extensionSamplingFrequency;
            const bool single = asc.extensionSamplingFrequency == asc.samplingFrequency || downsample;
            p.frameSize = single ? asc.frameLength : asc.frameLength * 2;
            p.sbrActive = 1;
            sbrUp = true;
        } else {
            p.sampleRate = rate;
            p.frameSize = asc.frameLength;
            p.sbrActive = 0;
            if (implicitSbr && p.coreSampleRate < 32000) {
                p.sampleRate = downsample ? rate : rate * 2;
                p.frameSize = downsample ? asc.frameLength : asc.frameLength * 2;
                sbrUp = true;
            }
        }

        int config = asc.channelConfiguration;
        if (config == 0) {
            ProgramConfig pce = asc.pce;
            pce.elementInstanceTag = prog;  // the record describes this program
            programFromConfig(info, pce);
            p.channelMode = 0;
            if (pce.valid && pce.totalChannels() == 1 && pce.frontChannels == 1)
                config = 1;
        }
        auto layout = [&](int mode, int front, int side, int back, int lfe, int channels) {
            p.channelMode = mode;
            p.frontChannels = front;
            p.sideChannels = side;
            p.backChannels = back;
            p.lfeChannels = lfe;
            p.numChannels = channels;
            p.programChannels = channels;
        };
        switch (config) {
        case 1:
            if (asc.psPresentFlag == 1)
                layout(3, 1, 0, 0, 0, 2);
            else if (asc.psPresentFlag == 0 || asc.sbrPresentFlag == 0)
                layout(1, 1, 0, 0, 0, 1);
            else if (sbrUp)
                layout(0, 1, 0, 0, 0, 2);
            else
                layout(0, 1, 0, 0, 0, 0);
            p.programChannels = 1;
            break;
        case 2: layout(2, 2, 0, 0, 0, 2); break;
        case 3: layout(0, 3, 0, 0, 0, 3); break;
        case 4: layout(6, 3, 0, 1, 0, 4); break;
        case 5: layout(7, 3, 0, 2, 0, 5); break;
        case 6: layout(8, 3, 0, 2, 1, 6); break;
        case 7: layout(0, 3, 2, 2, 1, 8); break;
        default: break;
        }
        if (p.numChannels > 0 && info.downmixKind == kDownmixUndecided)
            decideDownmix(info, p, downmixMode);
        info.markValid(p);
    }
    info.workProgram = info.info.currentProgram;
}

// ---- ADIF ---------------------------------------------------------------------------

bool detectAdif(const BitReader& r) { return bytesAt(r, "ADIF"); }

bool parseAdifHeader(AdifHeader& h, BitReader& r, ProgramConfig* slots)
{
    if (!detectAdif(r))
        return false;
    const int64_t start = r.position();
    r.skip(32);
    h.copyrightIdPresent = int(r.read(1));
    if (h.copyrightIdPresent)
        r.skip(72);
    h.originalCopy = int(r.read(1));
    h.home = int(r.read(1));
    h.bitstreamType = int(r.read(1));
    h.bitrate = int(r.read(23));
    h.numProgramConfigElements = int(r.read(4));
    for (int i = 0; i <= h.numProgramConfigElements; ++i) {
        if (h.bitstreamType == 0)
            r.skip(20);  // adif_buffer_fullness
        const int tag = int(r.peek(4));
        if (i == 0)
            h.firstTag = tag;
        parseProgramConfig(slots[tag], r, nullptr, start);
    }
    return true;
}

// ---- synchronisation ----------------------------------------------------------------

int channelsOfConfiguration(int channelConfiguration)
{
    if (channelConfiguration >= 1 && channelConfiguration <= 6)
        return channelConfiguration;
    return channelConfiguration == 7 ? 8 : 0;
}

namespace {

struct AdtsHeader {
    int id, layer, protectionAbsent, profile, sfIndex, channelConfiguration, frameLength, fullness, blocks;
};

AdtsHeader readAdtsHeader(BitReader& c)
{
    AdtsHeader h{};
    c.read(12);
    h.id = int(c.read(1));
    h.layer = int(c.read(2));
    h.protectionAbsent = int(c.read(1));
    h.profile = int(c.read(2));
    h.sfIndex = int(c.read(4));
    c.read(1);  // private_bit
    h.channelConfiguration = int(c.read(3));
    c.read(4);  // original_copy, home, copyright_id_bit, copyright_id_start
    h.frameLength = int(c.read(13));
    h.fullness = int(c.read(11));
    h.blocks = int(c.read(2));
    return h;
}

void updateAdtsBitRate(decapl84& in, DecoderStreamInfo& info, const AdtsHeader& h, int rate)
{
    const int delta = in.previousFullness < 0 ? 0 : (h.fullness - in.previousFullness) * 32;
    int channels = info.frameChannels;
    if (channels == 0)
        channels = h.channelConfiguration == 6 ? 5 : h.channelConfiguration;
    const float estimate = (float(h.frameLength) * 8.0f + float(delta) * float(channels)) * float(rate) /
                           (float(h.blocks + 1) * 1024.0f);
    if (info.current().coreSampleRate != 0) {
        in.rateRing[in.rateIndex] = estimate;
        in.rateIndex = (in.rateIndex + 1) % 16;
        in.rateFill = std::min(in.rateFill + 1, 16);
        if (h.fullness == 0x7FF) {
            info.info.bitRate = 0;
        } else {
            float sum = 0.0f;
            for (float v : in.rateRing)
                sum += v;
            info.info.bitRate = int32_t(sum / float(in.rateFill) + 0.5f);
        }
    }
    in.previousFullness = h.fullness;
}

// What may follow a frame: the next sync, or a tag that ends the stream. Accepting a
// trailing tag keeps the last frame before an ID3v1/ID3v2 tag from being dropped.
bool plausibleFollower(const BitReader& at)
{
    BitReader c = at;
    if (c.peek(8) == 0xFF)
        return true;
    return bytesAt(at, "TAG") || bytesAt(at, "ID3");
}

}  // namespace

int synchronise(decapl84& in, DecoderStreamInfo& info, Crc** crcOut, int32_t* transportOut)
{
    BitReader& r = in.reader();
    *crcOut = nullptr;
    r.align(0);
    if (in.rawBlocksLeft > 0) {
        --in.rawBlocksLeft;
        *transportOut = kTransportAdts;
        *crcOut = in.frameHasCrc ? in.crc.get() : nullptr;
        return kCoreOk;
    }
    const int32_t t = in.transport;
    for (;;) {
        BitReader c = r;
        if (c.bitsLeft() < 12)
            break;
        const uint32_t word = c.peek(12);
        const bool adts = (t == kTransportAuto || t == kTransportAdts) && word == 0xFFF;
        const bool loas = !adts && (t == kTransportAuto || t == kTransportLoas) && (word >> 1) == 0x2B7;
        if (!adts && !loas) {
            r.skip(8);
            continue;
        }
        const int64_t start = c.position();
        if (loas) {
            if (c.bitsLeft() < 25)
                break;
            const int length = readLoasHeader(c);
            if (3 + length > kInputBufferSize) {
                r.skip(8);
                continue;
            }
            if (c.bitsLeft() < int64_t(length) * 8)
                break;
            BitReader after = c;
            after.skip(int64_t(length) * 8);
            if (after.bitsLeft() != 0 && after.peek(8) != 0x56) {
                r.skip(8);
                continue;
            }
            in.transport = kTransportLoas;
            info.info.transport = kTransportLoas;
            in.frameHasCrc = false;
            in.frameEnd = start + int64_t(3 + length) * 8;
            *transportOut = kTransportLoas;
            return kCoreOk;
        }

        if (c.bitsLeft() < 56)
            break;
        const AdtsHeader h = readAdtsHeader(c);
        if (h.layer != 0 || h.frameLength <= 7 || h.frameLength > kInputBufferSize) {
            r.skip(8);
            continue;
        }
        if (c.bitsLeft() < int64_t(h.frameLength - 7) * 8)
            break;
        const bool hasCrc = h.protectionAbsent == 0 || in.adtsCrcAlways;
        if (hasCrc && c.bitsLeft() < 16)
            break;
        BitReader after = r;
        after.skip(int64_t(h.frameLength) * 8);
        if (after.bitsLeft() > 0 && !plausibleFollower(after)) {
            r.skip(8);
            continue;
        }
        if (h.sfIndex > 11 || (h.id == 1 && h.profile == 3)) {
            r.skip(8);
            continue;
        }

        in.frameHasCrc = false;
        if (hasCrc && in.crc) {
            in.crc->reset();
            in.crcCheck = uint16_t(c.read(16));
            in.crc->setExpected(in.crcCheck);
            CrcRegion header;
            header.begin(start, 0);
            header.end(start + 56, INT64_MAX);
            in.crc->feed(r.data, r.count, &header, 1);
            in.frameHasCrc = true;
        }
        r.skip(hasCrc ? 72 : 56);
        in.transport = kTransportAdts;
        info.info.transport = kTransportAdts;
        in.frameEnd = start + int64_t(h.frameLength) * 8;
        *transportOut = kTransportAdts;
        if (h.profile > 1)
            return kCoreUnsupportedProfile;
        const int rate = rateOfIndex(h.sfIndex);
        info.samplingRate = rate;
        info.samplingFrequencyIndex = h.sfIndex;
        info.current().coreSampleRate = rate;
        updateAdtsBitRate(in, info, h, rate);
        info.mpegVersion = h.id == 1 ? 1 : 2;
        info.current().profile = h.id == 1 ? (h.profile == 0 ? 0x200 : 0x201) : (h.profile == 0 ? 0x401 : 0x402);
        info.adtsChannelConfiguration = h.channelConfiguration;
        in.rawBlocksLeft = h.blocks;
        *crcOut = in.frameHasCrc ? in.crc.get() : nullptr;
        return kCoreOk;
    }
    return in.endOfInput ? kCoreEndOfStream : kCoreNeedMoreInput;
}

}  // namespace aacplus
