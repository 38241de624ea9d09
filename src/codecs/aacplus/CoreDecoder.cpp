#include "codecs/aacplus/CoreDecoder.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "codecs/aacplus/ChannelMapping.h"

namespace aacplus {

namespace {

void addElement(FrameElements& fe, int id, int tag)
{
    if (fe.count < 128)
        fe.list[fe.count++] = {id, tag};
    if (id == kIdSce)
        ++fe.singles;
    else if (id == kIdCpe)
        ++fe.pairs;
    else if (id == kIdLfe)
        ++fe.lfes;
}

// The element sequence a standard channel configuration implies.
void elementsOfConfiguration(FrameElements& fe, int config)
{
    switch (config) {
    case 1: addElement(fe, kIdSce, 0); break;
    case 2: addElement(fe, kIdCpe, 0); break;
    case 3: addElement(fe, kIdSce, 0); addElement(fe, kIdCpe, 0); break;
    case 4: addElement(fe, kIdSce, 0); addElement(fe, kIdCpe, 0); addElement(fe, kIdSce, 1); break;
    case 5: addElement(fe, kIdSce, 0); addElement(fe, kIdCpe, 0); addElement(fe, kIdCpe, 1); break;
    case 6:
        addElement(fe, kIdSce, 0); addElement(fe, kIdCpe, 0); addElement(fe, kIdCpe, 1); addElement(fe, kIdLfe, 0);
        break;
    case 7:
        addElement(fe, kIdSce, 0); addElement(fe, kIdCpe, 0); addElement(fe, kIdCpe, 1); addElement(fe, kIdCpe, 2);
        addElement(fe, kIdLfe, 0);
        break;
    default: break;
    }
}

void elementsOfProgram(FrameElements& fe, const ProgramConfig& pce)
{
    const struct {
        const PceEntry* e;
        int n;
    } groups[3] = {{pce.front, pce.numFront}, {pce.side, pce.numSide}, {pce.back, pce.numBack}};
    for (const auto& g : groups)
        for (int i = 0; i < g.n; ++i)
            addElement(fe, g.e[i].isCpe ? kIdCpe : kIdSce, g.e[i].tag);
    for (int i = 0; i < pce.numLfe; ++i)
        addElement(fe, kIdLfe, pce.lfeTag[i]);
}

}  // namespace

CoreDecoder::CoreDecoder(BitReader* reader) : reader_(reader), mux_(new LatmMuxConfig) {}

CoreDecoder::~CoreDecoder() = default;

int CoreDecoder::configure(int maxChannels, int lfeChannels, bool pnsOn, bool concealment)
{
    // Element objects arrive with the element decoder; until then only the counts exist.
    singleCount_ = maxChannels;
    pairCount_ = maxChannels / 2;
    lfeCount_ = lfeChannels;
    maxChannels_ = maxChannels;
    channelLimit_ = maxChannels + lfeChannels;
    pnsOn_ = pnsOn;
    concealment_ = concealment;
    return kCoreOk;
}

bool CoreDecoder::loasFrameWithoutConfig(const BitReader& r)
{
    BitReader c = r;
    if (c.bitsLeft() < 25)
        return false;
    if (c.read(11) != 0x2B7)
        return false;
    c.read(13);
    return c.read(1) == 1;
}

void CoreDecoder::skipLoasFrame(BitReader& r)
{
    r.read(11);
    const int length = int(r.read(13));
    r.skip(int64_t(length) * 8);
}

bool CoreDecoder::setUpAdif(decapl84& input, DecoderStreamInfo& info)
{
    BitReader& r = *reader_;
    if (!parseAdifHeader(adif_, r, slots_))
        return false;
    input.transport = kTransportAdif;
    info.info.transport = kTransportAdif;
    return true;
}

int CoreDecoder::outputLength() const { return upsampling_ && !downsampledSbr_ ? 2048 : 1024; }

int CoreDecoder::latmHeader(DecoderStreamInfo& info, decapl84& input)
{
    BitReader& r = *reader_;
    if (input.transport == kTransportLoas)
        readLoasHeader(r);
    mux_->muxConfigPresent = input.transport == kTransportLoas || info.muxConfigPresent != 0;
    if (int err = parseAudioMuxElementHeader(*mux_, r))
        return err;
    if (mux_->muxHeaderRead)
        applyMuxConfig(*mux_, info, implicitSbr_, sbrDownsampleRate_, downmixMode_);
    if (mux_->numSubFrames == 0)
        return kCoreSyntax;  // no configuration to decode the payload with
    if (framesDecoded_ == 0) {
        const AudioSpecificConfig& asc = mux_->layers[info.info.currentProgram & 15][0].asc;
        explicitSbr_ = asc.sbrPresentFlag;
        psFlag_ = asc.psPresentFlag;
        downsampledSbr_ = asc.extensionSamplingFrequency == asc.samplingFrequency;
    }
    latmPayloadStart_ = r.position();
    return kCoreOk;
}

int CoreDecoder::latmTrailer(DecoderStreamInfo& info, decapl84& input, int64_t frameStart)
{
    BitReader& r = *reader_;
    const LatmLayer& layer = mux_->layers[info.info.currentProgram & 15][0];
    const int64_t used = r.position() - latmPayloadStart_;
    const int64_t spare = layer.payloadBits - used;
    if (spare < 0 || spare > 7)
        return kCoreInconsistentFrame;
    r.skip(spare);
    if (int err = skipLatmOtherData(*mux_, r))
        return err;
    r.align(0);
    if (input.transport == kTransportLoas && input.frameEnd > r.position())
        r.skip(input.frameEnd - r.position());

    latmBits_ += (r.position() - frameStart + 7) / 8 * 8;
    ++latmFrames_;
    if (mux_->useSameStreamMux == 0) {
        const int fullness = layer.latmBufferFullness;
        const double frames = double(latmFrames_) * layer.asc.frameLength;
        if (latmLastFullness_ < 0 || fullness == 0xFF || frames <= 0) {
            info.info.bitRate = 0;
        } else {
            const double bits =
                double(fullness - latmLastFullness_) * info.lastFrameChannels * 32.0 + double(latmBits_);
            info.info.bitRate = int32_t(bits * layer.asc.samplingFrequency / frames + 0.5);
        }
        latmLastFullness_ = fullness;
        latmBits_ = 0;
        latmFrames_ = 0;
    }
    return kCoreOk;
}

// Seam: the element loop of the raw_data_block. Leading program configurations are read
// here; the channel elements await the element decoder (README-internal.md).
int CoreDecoder::readElements(DecoderStreamInfo& info, decapl84& input, Crc* crc, FrameElements& fe,
                              int64_t blockStart)
{
    BitReader& r = *reader_;
    while (r.bitsLeft() >= 3 && r.peek(3) == kIdPce) {
        if (fe.count >= 127)
            return kCoreSyntax;
        r.read(3);
        const int tag = int(r.peek(4));
        parseProgramConfig(slots_[tag], r, crc, blockStart);
        fe.list[fe.count++] = {kIdPce, tag};
        fe.leadingPce[fe.leadingPceCount++] = tag;
    }

    int64_t payloadEnd = -1;
    if (input.transport == kTransportAdts) {
        if (info.adtsChannelConfiguration != 0)
            elementsOfConfiguration(fe, info.adtsChannelConfiguration);
        else if (fe.leadingPceCount)
            elementsOfProgram(fe, slots_[fe.leadingPce[0]]);
        else if (hasActive_)
            elementsOfProgram(fe, active_);
        else if (lastPceTag_ >= 0)
            elementsOfProgram(fe, slots_[lastPceTag_]);  // muxers send the PCE once
        if (fe.leadingPceCount)
            lastPceTag_ = fe.leadingPce[0];
        payloadEnd = input.frameEnd;
        input.rawBlocksLeft = 0;  // the stand-in steps over every block of the frame
    } else if (input.transport == kTransportLoas || input.transport == kTransportLatm) {
        const LatmLayer& layer = mux_->layers[info.info.currentProgram & 15][0];
        if (layer.asc.channelConfiguration != 0)
            elementsOfConfiguration(fe, layer.asc.channelConfiguration);
        else
            elementsOfProgram(fe, layer.asc.pce);
        payloadEnd = latmPayloadStart_ + layer.payloadBits;
    } else {
        return kCoreSyntax;  // unframed transports need the element decoder
    }
    if (fe.singles > singleCount_ || fe.pairs > pairCount_ || fe.lfes > lfeCount_)
        return kCoreSyntax;
    fe.channels = fe.singles + 2 * fe.pairs + fe.lfes;
    if (payloadEnd > r.position())
        r.skip(payloadEnd - r.position());
    if (r.overran())
        return input.endOfInput ? kCoreEndOfStream : kCoreNeedMoreInput;
    return kCoreOk;
}

// Seam: the channel elements' decode (and SBR). The stand-in writes silence.
void CoreDecoder::renderElements(float* out, DecoderStreamInfo& info, const FrameElements&, bool, int frameSize,
                                 int numChannels)
{
    aacPlusProgramInfo& p = info.current();
    if (upsampling_ && !downsampledSbr_) {
        p.sampleRate = p.coreSampleRate * 2;
        p.frameSize = 2048;
    }
    (void)frameSize;
    if (out) {
        const size_t n = std::min(size_t(p.frameSize) * size_t(std::max(numChannels, 0)), capacityFloats_);
        std::fill(out, out + n, 0.0f);
    }
}

int CoreDecoder::decodeSteps(DecoderStreamInfo& info, const DecoderStreamInfo& snapshot, decapl84& input, Crc* crc,
                             FrameElements& fe, int64_t frameStart)
{
    BitReader& r = *reader_;
    const int32_t transport = input.transport;

    if (transport == kTransportAdif && framesDecoded_ == 0) {
        info.mpegVersion = 1;
        for (int tag = 0; tag < 16; ++tag)
            if (int err = programFromConfig(info, slots_[tag]))
                return err;
        activeTag_ = adif_.firstTag;
        active_ = slots_[activeTag_];
        hasActive_ = active_.valid;
        info.info.currentProgram = activeTag_;
        info.workProgram = activeTag_;
        if (active_.samplingFrequencyIndex > 11)
            return kCoreNeedMoreInput;
        info.samplingFrequencyIndex = active_.samplingFrequencyIndex;
        info.info.bitRate = adif_.bitrate;
    }

    if (r.bitsLeft() <= 0)
        return input.endOfInput ? kCoreEndOfStream : kCoreNeedMoreInput;

    if (transport == kTransportLatm || transport == kTransportLoas) {
        if (int err = latmHeader(info, input))
            return err;
    }

    const int64_t blockStart = (transport == kTransportLatm || transport == kTransportLoas) ? r.position() : frameStart;
    if (int err = readElements(info, input, crc, fe, blockStart))
        return err;

    if (transport == kTransportLatm || transport == kTransportLoas) {
        if (int err = latmTrailer(info, input, frameStart))
            return err;
    }

    if (crc && fe.crcRegionsFed && !crc->matches())
        return kCoreCrcMismatch;

    if (info.mpegVersion != 2 && fe.leadingPceCount) {
        if (framesDecoded_ == 0 && !hasActive_) {
            activeTag_ = fe.leadingPce[0];
            active_ = slots_[activeTag_];
            hasActive_ = true;
        }
        for (int i = 0; i < fe.leadingPceCount; ++i) {
            ProgramConfig& s = slots_[fe.leadingPce[i]];
            if (fe.leadingPce[i] == activeTag_) {
                if (int err = checkProgramMembership(s, fe.list, fe.count))
                    return err;
                if (hasActive_ && !s.sameLayout(active_))
                    return kCoreInconsistentFrame;
            }
            if (int err = programFromConfig(info, s))
                return err;
        }
        info.info.currentProgram = activeTag_ & 15;
        info.workProgram = info.info.currentProgram;
    }

    aacPlusProgramInfo& p = info.current();
    if (hasActive_) {
        fe.channels = active_.totalChannels();
        p.frontChannels = fe.channels;
        info.speakerMask = 3;
    }
    // Beyond the channel limit the frame would not fit the buffers sized for it, whatever
    // kind of element carries the extra channels.
    if (fe.channels > channelLimit_)
        return kCoreSyntax;
    info.frameChannels = fe.channels;

    const bool lowRate = p.coreSampleRate < 32000;
    if (explicitSbr_ == 1) {
        upsampling_ = true;
        p.sbrActive = 1;
    } else if (explicitSbr_ == 0) {
        upsampling_ = implicitSbr_ && lowRate;
        p.sbrActive = 0;
    } else {
        upsampling_ = fe.sbrPayload || (implicitSbr_ && lowRate);
        p.sbrActive = fe.sbrPayload ? 1 : 0;
    }
    if (upsampling_ && sbrDownsampleRate_ > 0 && sbrDownsampleRate_ <= p.coreSampleRate)
        downsampledSbr_ = true;

    if (fe.channels < 2 && upsampling_ && psFlag_ != 0)
        p.numChannels = 2;
    else
        p.numChannels = fe.channels;
    p.programChannels = fe.channels;

    // "Decoded before" is judged by the frame count: the state also reads 4 when the input
    // ended before the first decode call.
    if (framesDecoded_ > 0) {
        const aacPlusProgramInfo& before = snapshot.info.programs[snapshot.info.currentProgram & 15];
        if (info.info.currentProgram != snapshot.info.currentProgram || p.coreSampleRate != before.coreSampleRate ||
            p.numChannels != before.numChannels)
            return kCoreInconsistentFrame;
    }
    return kCoreOk;
}

int CoreDecoder::decodeFrame(float* out, DecoderStreamInfo& info, aacPlusStreamInfo& visible, decapl84& input,
                             Crc* crc)
{
    BitReader& r = *reader_;
    visible = info.info;
    const DecoderStreamInfo snapshot = info;
    const int32_t transport = input.transport;
    const bool framed = transport == kTransportAuto || transport == kTransportAdts || transport == kTransportLoas;
    if (transport != kTransportLatm && transport != kTransportLoas)
        r.align(0);
    const int64_t frameStart = r.position();
    info.current().sbrActive = 0;
    info.frameChannels = 0;

    FrameElements fe;
    const int err = decodeSteps(info, snapshot, input, crc, fe, frameStart);
    bool concealed = false;
    if (err == kCoreEndOfStream) {
        const int32_t sbrActive = snapshot.info.programs[snapshot.info.currentProgram & 15].sbrActive;
        info = snapshot;
        info.current().sbrActive = sbrActive;
        if (info.info.state == 3)
            info.stateToReturnTo = 5;
        else
            info.info.state = 5;
        visible = info.info;
        return kCoreEndOfStream;
    }
    if (err) {
        // Step over the rest of a damaged frame whose end the transport told us.
        if (framed && input.frameEnd > r.position()) {
            r.skip(input.frameEnd - r.position());
            input.rawBlocksLeft = 0;
        }
        if (!framed || framesDecoded_ == 0) {
            info = snapshot;
            if (!framed) {
                if (info.info.state != 3)
                    info.stateToReturnTo = info.info.state;
                info.info.state = 3;
                visible = info.info;
                return err;
            }
            return kCoreNeedMoreInput;
        }
        info = snapshot;
        concealed = true;
    }

    aacPlusProgramInfo& p = info.current();
    info.markValid(p);
    info.downmixVariant = downmixVariant_;
    if (info.downmixKind == kDownmixUndecided)
        decideDownmix(info, p, downmixMode_);

    const int frameLength = outputLength();
    if (outputDesc_) {
        const uint64_t needed = uint64_t(frameLength) * uint64_t(std::max(p.outputChannels, 0)) * bytesPerSample_;
        if (needed > outputDesc_->capacity) {
            outputDesc_->needed = uint32_t(needed - outputDesc_->capacity);
            info = snapshot;
            return kCoreOutputTooSmall;
        }
        outputDesc_->needed = 0;
    }

    if (!concealed)
        previous_ = fe;
    const FrameElements& list = concealed ? previous_ : fe;

    p.sampleRate = p.coreSampleRate;
    p.frameSize = 1024;
    const int numChannels = p.numChannels;
    renderElements(out, info, list, concealed, frameLength, numChannels);

    if (framesDecoded_ < 0x7FFFFFFF)
        ++framesDecoded_;
    if (concealment_ && framesDecoded_ == 1) {
        // The concealment state machine runs one frame late: the first frame is held back.
        delayedConceal_ = concealed;
        return kCoreNeedMoreInput;
    }

    info.lastFrameChannels = list.singles + 2 * list.pairs;
    const ChannelLayout layout = channelLayout(numChannels, list.singles, list.pairs, psFlag_ == 1);
    applyChannelLayout(layout, info, p);
    std::copy(layout.map, layout.map + 8, reorderMap_);
    reorderOn_ = layout.reorder;
    if (reorderOn_ && out && size_t(p.frameSize) * size_t(numChannels) <= capacityFloats_)
        reorderOrDownmix(out, p.frameSize, numChannels, p.outputChannels, info.downmixKind, info.downmixVariant,
                         reorderMap_);

    if (concealment_)
        std::swap(concealed, delayedConceal_);
    int32_t& state = info.info.state;
    if (concealed) {
        if (state != 3)
            info.stateToReturnTo = state;
        state = 3;
    } else if (state == 0) {
        state = 1;
    } else if (state == 1) {
        state = 2;
    } else if (state == 3) {
        state = info.stateToReturnTo;
    }
    visible = info.info;
    return kCoreOk;
}

}  // namespace aacplus
