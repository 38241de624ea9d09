#include "codecs/aacplus/CoreDecoder.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "codecs/aacplus/ChannelMapping.h"
#include "codecs/aacplus/ElementLoop.h"
#include "codecs/aacplus/Limiter.h"

namespace aacplus {

namespace {

ElementContext elementContext(DecoderStreamInfo& info) {
    return ElementContext{info.samplingFrequencyIndex, info.current().profile};
}

}  // namespace

CoreDecoder::CoreDecoder(BitReader* reader)
    : reader_(reader), mux_(new LatmMuxConfig), elements_(new ElementDecoder(reader)) {
    sbrGetDefaultConfig(&sbrConfig_, 0);
}

CoreDecoder::~CoreDecoder() = default;

int CoreDecoder::configure(int maxChannels, int lfeChannels, bool pnsOn, bool concealment) {
    const int err = elements_->configure(maxChannels, lfeChannels, pnsOn, concealment);
    singleCount_ = elements_->singleCount();
    pairCount_ = elements_->pairCount();
    lfeCount_ = elements_->lfeCount();
    maxChannels_ = maxChannels;
    channelLimit_ = maxChannels + lfeChannels;
    pnsOn_ = pnsOn;
    concealment_ = concealment;
    return err;
}

bool CoreDecoder::loasFrameWithoutConfig(const BitReader& r) {
    BitReader c = r;
    if (c.bitsLeft() < 25) return false;
    if (c.read(11) != 0x2B7) return false;
    c.read(13);
    return c.read(1) == 1;
}

void CoreDecoder::skipLoasFrame(BitReader& r) {
    r.read(11);
    const int length = int(r.read(13));
    r.skip(int64_t(length) * 8);
}

bool CoreDecoder::setUpAdif(decapl84& input, DecoderStreamInfo& info) {
    BitReader& r = *reader_;
    if (!parseAdifHeader(adif_, r, slots_)) return false;
    input.transport = kTransportAdif;
    info.info.transport = kTransportAdif;
    return true;
}

int CoreDecoder::outputLength() const {
    // An element's SBR decoder, once open, doubles its output in every later frame, also in
    // frames that carry no SBR data: the buffers must be sized for that.
    return (upsampling_ || elements_->anySbrDecoder()) && !downsampledSbr_ ? 2048 : 1024;
}

int CoreDecoder::latmHeader(DecoderStreamInfo& info, decapl84& input) {
    BitReader& r = *reader_;
    if (input.transport == kTransportLoas) readLoasHeader(r);
    mux_->muxConfigPresent = input.transport == kTransportLoas || info.muxConfigPresent != 0;
    if (int err = parseAudioMuxElementHeader(*mux_, r)) return err;
    if (mux_->muxHeaderRead) applyMuxConfig(*mux_, info, implicitSbr_, sbrDownsampleRate_, downmixMode_);
    if (mux_->numSubFrames == 0) return kCoreSyntax;  // no configuration to decode the payload with
    if (framesDecoded_ == 0) {
        const AudioSpecificConfig& asc = mux_->layers[info.info.currentProgram & 15][0].asc;
        explicitSbr_ = asc.sbrPresentFlag;
        psFlag_ = asc.psPresentFlag;
        downsampledSbr_ = asc.extensionSamplingFrequency == asc.samplingFrequency;
    }
    latmPayloadStart_ = r.position();
    return kCoreOk;
}

int CoreDecoder::latmTrailer(DecoderStreamInfo& info, decapl84& input, int64_t frameStart) {
    BitReader& r = *reader_;
    const LatmLayer& layer = mux_->layers[info.info.currentProgram & 15][0];
    const int64_t used = r.position() - latmPayloadStart_;
    const int64_t spare = layer.payloadBits - used;
    if (spare < 0 || spare > 7) return kCoreInconsistentFrame;
    r.skip(spare);
    if (int err = skipLatmOtherData(*mux_, r)) return err;
    r.align(0);
    if (input.transport == kTransportLoas && input.frameEnd > r.position()) r.skip(input.frameEnd - r.position());

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

// The element loop of the raw_data_block: leading program configurations here, the rest
// in the element decoder.
int CoreDecoder::readElements(DecoderStreamInfo& info, decapl84& input, Crc* crc, FrameElements& fe,
                              int64_t blockStart) {
    BitReader& r = *reader_;
    while (r.bitsLeft() >= 3 && r.peek(3) == kIdPce) {
        if (fe.count >= 127) return kCoreSyntax;
        r.read(3);
        const int tag = int(r.peek(4));
        parseProgramConfig(slots_[tag], r, crc, blockStart);
        fe.list[fe.count++] = {kIdPce, tag};
        fe.leadingPce[fe.leadingPceCount++] = tag;
        lastPceTag_ = tag;
    }

    // Membership: the active program, or on the first frame the one about to become active.
    const ProgramConfig* program = nullptr;
    if (hasActive_)
        program = &active_;
    else if (info.mpegVersion != 2 && framesDecoded_ == 0 && fe.leadingPceCount)
        program = &slots_[fe.leadingPce[0]];

    const AncillarySink sink{ancillary_, ancillaryDesc_, &lastAncillaryTag_};
    const bool framed = input.transport == kTransportAdts || input.transport == kTransportLoas;
    int err = elements_->readElements(elementContext(info), crc, fe, program, sink, blockStart);
    if (err == kCoreNeedMoreInput) {
        // Bits past the buffered data: a framed transport buffered the whole frame, so the
        // frame is damaged; otherwise the caller has not fed the whole block.
        if (framed) return kCoreSyntax;
        return input.endOfInput ? kCoreEndOfStream : kCoreNeedMoreInput;
    }
    if (err) return err;
    if (input.transport != kTransportLatm && input.transport != kTransportLoas) r.align(blockStart);
    if (input.transport == kTransportAdts && input.frameEnd >= 0) {
        if (r.position() > input.frameEnd) return kCoreSyntax;  // the elements ran past the frame
        if (input.rawBlocksLeft == 0 && input.frameEnd > r.position()) r.skip(input.frameEnd - r.position());
    }
    return kCoreOk;
}

// Decodes (or conceals) the listed elements into `out`; returns the channels produced.
int CoreDecoder::renderElements(float* out, DecoderStreamInfo& info, const FrameElements& fe, bool concealed,
                                int numChannels, bool& parametricStereo) {
    // The elements write frames of numChannels interleaved channels; SBR doubles them in place.
    const size_t frameFloats = size_t(outputLength()) * size_t(std::max(numChannels, 0));
    float* target = out && frameFloats <= capacityFloats_ ? out : nullptr;
    const ProgramConfig* program = hasActive_ ? &active_ : nullptr;
    // Muxers may send the program configuration once: its element order still holds.
    const ProgramConfig* order = program ? program : (lastPceTag_ >= 0 ? &slots_[lastPceTag_] : nullptr);
    aacPlusProgramInfo& p = info.current();
    // A mono element makes two channels only where the output is laid out for two.
    const bool monoToStereo = fe.singles == 1 && fe.pairs == 0 && fe.lfes == 0 && psFlag_ != 0 && numChannels >= 2;
    sbrSetMonoToStereo(&sbrConfig_, monoToStereo ? 1 : 0);
    sbrConfig_.words[14] = downsampledSbr_ ? 1 : 0;
    ElementDecoder::SbrOutcome sbr;
    const int produced = elements_->render(target, fe, concealed, numChannels, elementContext(info), upsampling_,
                                           sbrConfig_, sbr, program, order);
    p.sampleRate = int32_t(float(p.coreSampleRate) * sbr.rateRatio);
    p.frameSize = int32_t(1024.0f * sbr.rateRatio);
    parametricStereo = sbr.parametricStereo;
    return produced;
}

int CoreDecoder::decodeSteps(DecoderStreamInfo& info, const DecoderStreamInfo& snapshot, decapl84& input, Crc* crc,
                             FrameElements& fe, int64_t frameStart) {
    BitReader& r = *reader_;
    const int32_t transport = input.transport;

    if (transport == kTransportAdif && framesDecoded_ == 0) {
        info.mpegVersion = 1;
        for (int tag = 0; tag < 16; ++tag)
            if (int err = programFromConfig(info, slots_[tag])) return err;
        activeTag_ = adif_.firstTag;
        active_ = slots_[activeTag_];
        hasActive_ = active_.valid;
        info.info.currentProgram = activeTag_;
        info.workProgram = activeTag_;
        if (active_.samplingFrequencyIndex > 11) return kCoreNeedMoreInput;
        info.samplingFrequencyIndex = active_.samplingFrequencyIndex;
        info.info.bitRate = adif_.bitrate;
    }

    if (r.bitsLeft() <= 0) return input.endOfInput ? kCoreEndOfStream : kCoreNeedMoreInput;

    if (transport == kTransportLatm || transport == kTransportLoas) {
        if (int err = latmHeader(info, input)) return err;
    }

    const int64_t blockStart = (transport == kTransportLatm || transport == kTransportLoas) ? r.position() : frameStart;
    if (int err = readElements(info, input, crc, fe, blockStart)) return err;

    if (transport == kTransportLatm || transport == kTransportLoas) {
        if (int err = latmTrailer(info, input, frameStart)) return err;
    }

    if (crc && fe.crcRegionsFed && !crc->matches()) return kCoreCrcMismatch;

    if (info.mpegVersion != 2 && fe.leadingPceCount) {
        if (framesDecoded_ == 0 && !hasActive_) {
            activeTag_ = fe.leadingPce[0];
            active_ = slots_[activeTag_];
            hasActive_ = true;
        }
        for (int i = 0; i < fe.leadingPceCount; ++i) {
            ProgramConfig& s = slots_[fe.leadingPce[i]];
            if (fe.leadingPce[i] == activeTag_) {
                if (int err = checkProgramMembership(s, fe.list, fe.count)) return err;
                if (hasActive_ && !s.sameLayout(active_)) return kCoreInconsistentFrame;
            }
            if (int err = programFromConfig(info, s)) return err;
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
    if (fe.channels > channelLimit_) return kCoreSyntax;
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
    if (upsampling_ && sbrDownsampleRate_ > 0 && sbrDownsampleRate_ <= p.coreSampleRate) downsampledSbr_ = true;

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

void CoreDecoder::restart(DecoderStreamInfo& info) {
    inconsistentRun_ = 0;
    framesDecoded_ = 0;
    hasActive_ = false;
    activeTag_ = -1;
    explicitSbr_ = -1;
    psFlag_ = -1;
    upsampling_ = false;
    downsampledSbr_ = false;
    delayedConceal_ = false;
    previous_ = FrameElements();
    lastPceTag_ = -1;
    limiter_.reset();
    info.downmixKind = kDownmixUndecided;
    for (aacPlusProgramInfo& p : info.info.programs)
        p.outputChannels = 0;
    // Fresh elements: no overlap, prediction or concealment history from the old stream.
    // Out of memory leaves fewer elements; the frames that need them then fail.
    (void)configure(maxChannels_, channelLimit_ - maxChannels_, pnsOn_, concealment_);
}

int CoreDecoder::decodeFrame(float* out, DecoderStreamInfo& info, aacPlusStreamInfo& visible, decapl84& input,
                             Crc* crc) {
    BitReader& r = *reader_;
    visible = info.info;
    const DecoderStreamInfo snapshot = info;
    const int32_t transport = input.transport;
    const bool framed = transport == kTransportAuto || transport == kTransportAdts || transport == kTransportLoas;
    if (transport != kTransportLatm && transport != kTransportLoas) r.align(0);
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
        if (info.info.state == kAacPlusStateConcealing)
            info.stateToReturnTo = kAacPlusStateEndOfStream;
        else
            info.info.state = kAacPlusStateEndOfStream;
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
                if (info.info.state != kAacPlusStateConcealing) info.stateToReturnTo = info.info.state;
                info.info.state = kAacPlusStateConcealing;
                visible = info.info;
                return err;
            }
            return kCoreNeedMoreInput;
        }
        info = snapshot;
        if (err == kCoreInconsistentFrame && ++inconsistentRun_ > kConcealChangedStreamFrames) {
            // The stream changed its rate, channels or program for good: once concealment
            // has faded out, start over with the new configuration instead of muting for ever.
            restart(info);
            visible = info.info;
            return kCoreNeedMoreInput;
        }
        concealed = true;
    } else {
        inconsistentRun_ = 0;
    }

    aacPlusProgramInfo& p = info.current();
    info.markValid(p);
    info.downmixVariant = downmixVariant_;
    if (info.downmixKind == kDownmixUndecided) decideDownmix(info, p, downmixMode_);

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

    if (!concealed) previous_ = fe;
    const FrameElements& list = concealed ? previous_ : fe;

    p.sampleRate = p.coreSampleRate;
    p.frameSize = 1024;
    const int numChannels = p.numChannels;
    bool parametricStereo = false;
    const int produced = renderElements(out, info, list, concealed, numChannels, parametricStereo);
    if (list.singles == 1 && list.pairs == 0 && list.lfes == 0 && produced == 1 && numChannels == 2) {
        // A mono stream prepared as stereo for SBR and parametric stereo, but nothing made
        // the second channel: it repeats the first, as SBR does for mono without PS. (Folding
        // to one channel would leave the caller, whose output layout was fixed at two
        // channels on the first frame, with a stale second channel.)
        if (out && size_t(2) * size_t(p.frameSize) <= capacityFloats_)
            for (int i = 0; i < p.frameSize; ++i)
                out[2 * i + 1] = out[2 * i];
    }

    if (framesDecoded_ < 0x7FFFFFFF) ++framesDecoded_;
    if (concealment_ && framesDecoded_ == 1) {
        // The concealment state machine runs one frame late: the first frame is held back.
        delayedConceal_ = concealed;
        return kCoreNeedMoreInput;
    }

    info.lastFrameChannels = list.singles + 2 * list.pairs;
    const ChannelLayout layout = channelLayout(numChannels, list.singles, list.pairs, parametricStereo || psFlag_ == 1);
    applyChannelLayout(layout, info, p);
    std::copy(layout.map, layout.map + 8, reorderMap_);
    reorderOn_ = layout.reorder;
    bool identity = info.downmixKind == kDownmixNone || info.downmixKind == kDownmixUndecided;
    for (int i = 0; identity && i < numChannels && i < 8; ++i)
        identity = reorderMap_[i] == i;
    if (reorderOn_ && !identity && out && size_t(p.frameSize) * size_t(numChannels) <= capacityFloats_)
        reorderOrDownmix(out, p.frameSize, numChannels, p.outputChannels, info.downmixKind, info.downmixVariant,
                         reorderMap_);

    if (limiterOn_ && (!limiter_ || limiter_->channels() != p.outputChannels) && p.outputChannels > 0) {
        limiter_ = Limiter::create(64, p.outputChannels, true);
        if (!limiter_) {
            info = snapshot;
            visible = info.info;
            return kCoreOutOfMemory;
        }
    }
    if (limiter_ && out && limiter_->channels() == p.outputChannels) {
        const size_t total = size_t(p.frameSize) * size_t(p.outputChannels);
        const size_t block = size_t(limiter_->valuesPerBlock());
        for (size_t pos = 0; pos + block <= total && pos + block <= capacityFloats_; pos += block)
            limiter_->process(out + pos, out + pos);
    }

    if (concealment_) std::swap(concealed, delayedConceal_);
    int32_t& state = info.info.state;
    if (concealed) {
        if (state != kAacPlusStateConcealing) info.stateToReturnTo = state;
        state = kAacPlusStateConcealing;
    } else if (state == kAacPlusStateNothingYet) {
        state = kAacPlusStateFirstFrame;
    } else if (state == kAacPlusStateFirstFrame) {
        state = kAacPlusStateDecoding;
    } else if (state == kAacPlusStateConcealing) {
        state = info.stateToReturnTo;
    }
    visible = info.info;
    return kCoreOk;
}

}  // namespace aacplus
