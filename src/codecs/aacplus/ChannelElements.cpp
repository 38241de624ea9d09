#include "codecs/aacplus/ChannelElements.h"

#include <cstring>
#include <new>

#include "codecs/aactables/AacSampleRate.h"

namespace aacplus {

decapl61::decapl61(BitReader* reader, bool pnsOn, bool concealment)
    : reader_(reader), concealment_(concealment), pnsOn_(pnsOn) {
    pending_.Bind(reader);
    working_.Bind(reader);
}

bool decapl61::TakeExtensionPayload(int extensionType, int count) {
    const bool stored = pending_.Store(extensionType, count) == 1;
    if (stored) pending_.SetElement(elementKind());
    sbrOn_ = stored;
    return stored;
}

void decapl61::SetSbrMode(bool on) {
    if (on && pending_.count == 0) pending_.StoreEmpty(elementKind(), 13);
    sbrOn_ = on;
}

decapl61::~decapl61() { sbrDecoderClose(sbr_); }

void decapl61::RunSbr(float* out, int stride, const ElementContext& ctx, const SbrDecoderConfig& config) {
    if (!sbrOpened_) {
        if (sbrOn_) {
            sbr_ = sbrDecoderOpen(int32_t(aactables::sampleRateForIndex(ctx.sfIndex)), 1024, &config);
            working_ = pending_;
            working_.size = 0;
        }
        sbrOpened_ = true;
    }
    if (!concealment_) working_ = pending_;
    if (sbr_) {
        sbrSetMonoToStereo(sbrDecoderConfig(sbr_), config.words[15]);
        // A frame SBR refuses keeps the core output; the counts below tell which it was.
        (void)sbrDecoderApply(sbr_, &working_, out, stride);
        outputChannels_ = sbrGetOutputChannels(sbr_, coreChannels_);
        rateRatio_ = sbrGetRateRatio(sbr_);
    } else {
        outputChannels_ = coreChannels_;
        rateRatio_ = 1.0f;
    }
    if (concealment_) working_ = pending_;
}

int readIndividualChannelStream(BitReader& r, ChannelState& ch, bool commonWindow, bool pnsOn, int& globalGain) {
    globalGain = int(r.read(8));
    if (!commonWindow) {
        if (int e = readIcsInfo(r, ch.ics)) return e;
    }
    decapl60* s = ch.storage.build(&ch.ics);
    s->setPnsEnabled(pnsOn);
    return s->ReadChannelStream(r, globalGain);
}

void synthesizeChannel(ChannelState& ch, decapl60* stream, float* out, int stride) {
    if (out) {
        if (ch.concealment) stream = ch.concealment->ConcealGoodFrame(stream, ch.ics);
        stream->SynthesizeFloat(ch.overlap, out, stride);
    }
    ch.storage.destroy();
}

namespace {

void concealChannel(ChannelState& ch, const ElementContext& ctx, float* out, int stride) {
    ch.ics.reset(ctx.sfIndex, ctx.profile);
    if (!out) {
        ch.storage.destroy();
        return;
    }
    if (ch.concealment) {
        decapl60* s = ch.concealment->ConcealLostFrame(ch.ics);
        s->SynthesizeFloat(ch.overlap, out, stride);
    } else {
        decapl60* s = ch.storage.build(&ch.ics);
        s->FlushOverlapFloat(ch.overlap, out, stride);
    }
    ch.storage.destroy();
}

void resetChannel(ChannelState& ch) {
    ch.storage.destroy();
    ch.overlap = OverlapState();
    ResetPredictors(ch.prediction);
    if (ch.concealment) ch.concealment->Reset();
}

}  // namespace

decapl80::decapl80(BitReader* reader, bool pnsOn, bool concealment) : decapl61(reader, pnsOn, concealment) {
    coreChannels_ = outputChannels_ = 1;
    if (concealment) ch_.concealment.reset(new Concealment(&ch_.storage));
}

int decapl80::Read(const ElementContext& ctx, Crc* crc) {
    BitReader& r = *reader_;
    CrcRegion region;
    region.begin(r.position(), 192);
    tag_ = int(r.read(4));
    ch_.ics.reset(ctx.sfIndex, ctx.profile);
    pending_.count = 0;
    const int err = readIndividualChannelStream(r, ch_, false, pnsOn_, globalGain_);
    if (crc) {
        region.end(r.position(), 192);
        crc->feed(r.data, r.count, &region, 1);
    }
    return err;
}

void decapl80::Decode(float* out, int stride) {
    decapl60* s = ch_.storage.get();
    if (!s) return;
    if (ch_.ics.isMain()) Predict(ch_.prediction, ch_.ics, *s);
    s->ApplyNoiseAndTns(nullptr, 0, noise_);
    synthesizeChannel(ch_, s, out, stride);
}

void decapl80::Conceal(const ElementContext& ctx, float* out, int stride) { concealChannel(ch_, ctx, out, stride); }

void decapl80::Reset() {
    resetChannel(ch_);
    sbrDecoderReset(sbr_);
    working_.count = 0;
    working_.size = 0;
}

decapl63::decapl63(BitReader* reader, bool pnsOn, bool concealment) : decapl61(reader, pnsOn, concealment) {
    coreChannels_ = outputChannels_ = 2;
    if (concealment) {
        ch_[0].concealment.reset(new Concealment(&ch_[0].storage));
        ch_[1].concealment.reset(new Concealment(&ch_[1].storage));
    }
}

int decapl63::Read(const ElementContext& ctx, Crc* crc) {
    BitReader& r = *reader_;
    CrcRegion regions[2];
    regions[0].begin(r.position(), 192);
    tag_ = int(r.read(4));
    ch_[0].ics.reset(ctx.sfIndex, ctx.profile);
    ch_[1].ics.reset(ctx.sfIndex, ctx.profile);
    pending_.count = 0;
    int err = 0;
    int regionsOpen = 1;
    commonWindow_ = r.readBit();
    if (commonWindow_) {
        err = readIcsInfo(r, ch_[0].ics);
        if (!err) {
            ch_[1].ics = ch_[0].ics;
            err = ReadMsData(ms_, r, ch_[0].ics);
        }
    }
    if (!err) err = readIndividualChannelStream(r, ch_[0], commonWindow_, pnsOn_, globalGain_);
    if (!err) {
        regions[1].begin(r.position(), 128);
        regionsOpen = 2;
        err = readIndividualChannelStream(r, ch_[1], commonWindow_, pnsOn_, globalGain_);
    }
    if (crc) {
        const int64_t end = r.position();
        regions[0].end(end, 192);
        if (regionsOpen == 2) regions[1].end(end, 128);
        crc->feed(r.data, r.count, regions, regionsOpen);
    }
    return err;
}

void decapl63::Decode(float* out, int stride) {
    decapl60* s0 = ch_[0].storage.get();
    decapl60* s1 = ch_[1].storage.get();
    if (!s0 || !s1) return;
    IcsInfo& ics0 = ch_[0].ics;
    IcsInfo& ics1 = ch_[1].ics;
    const bool noise = (pnsOn_ && s0->hasNoise()) || (pnsOn_ && s1->hasNoise());
    uint8_t applyFlags[8][64];
    if (!commonWindow_) {
        if (noise) std::memset(msFlags_, 0, sizeof(msFlags_));
    } else {
        std::memcpy(msFlags_, ms_.flags, sizeof(msFlags_));
        std::memcpy(applyFlags, msFlags_, sizeof(applyFlags));
        if (noise) {
            for (int g = 0; g < ics0.numGroups; ++g)
                for (int b = 0; b < ics0.maxSfb; ++b)
                    if (s0->isNoiseBand(g, b) && s1->isNoiseBand(g, b)) applyFlags[g][b] = 0;
        }
        ApplyMs(applyFlags, ics0, *s0, *s1);
    }
    if (ics0.isMain()) Predict(ch_[0].prediction, ics0, *s0);
    // The standard reverses the intensity sign by ms_used only when ms_mask_present is 1;
    // with 2 (M/S everywhere) the transmitted sign stands.
    ApplyIntensity(msFlags_, ics1, *s0, *s1, commonWindow_ && ms_.maskPresent == 1);
    if (ics1.isMain()) Predict(ch_[1].prediction, ics1, *s1);
    // A pair alone in the frame goes through a buffer of its own and is interleaved in one
    // pass, not value by value.
    const bool pair = out && stride == 2;
    float pairOut[2][1024];
    for (int c = 0; c < 2; ++c) {
        decapl60* s = c == 0 ? s0 : s1;
        s->ApplyNoiseAndTns(msFlags_, c, noise_);
        if (pair)
            synthesizeChannel(ch_[c], s, pairOut[c], 1);
        else
            synthesizeChannel(ch_[c], s, out ? out + c : nullptr, stride);
    }
    if (pair) {
        for (int i = 0; i < 1024; ++i) {
            out[2 * i] = pairOut[0][i];
            out[2 * i + 1] = pairOut[1][i];
        }
    }
}

void decapl63::Conceal(const ElementContext& ctx, float* out, int stride) {
    concealChannel(ch_[0], ctx, out, stride);
    concealChannel(ch_[1], ctx, out ? out + 1 : nullptr, stride);
}

void decapl63::Reset() {
    resetChannel(ch_[0]);
    resetChannel(ch_[1]);
    sbrDecoderReset(sbr_);
    working_.count = 0;
    working_.size = 0;
}

}  // namespace aacplus
