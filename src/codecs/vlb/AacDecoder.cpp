#include "codecs/vlb/AacDecoder.h"

#include "codecs/vlb/VlbIO.h"

namespace {
constexpr unsigned kIdSce = 0, kIdCpe = 1, kIdCce = 2, kIdLfe = 3, kIdDse = 4, kIdPce = 5, kIdFil = 6, kIdEnd = 7;
}

CAacDecoder::CAacDecoder(CVlbBitStream& bs) : bs_(bs), single_(bs), pair_(bs), lfe_(bs) {}

bool CAacDecoder::LockTest(uint32_t tag, uint32_t type) {
    if (!adif_.locked) {
        adif_.locked = true;
        adif_.lockedTag = tag;
        adif_.lockedType = type;
        return true;
    }
    return adif_.lockedTag == tag && adif_.lockedType == type;
}

void CAacDecoder::ReleaseLock() {
    adif_.locked = false;
    CProgramConfig& p = adif_.program[0];
    p.frontChannels = p.sideChannels = p.backChannels = p.totalChannels = 0;
}

void CAacDecoder::DecodeFrame(AudioIOControl* out, AacStreamInfo& info) {
    const bool commit = out != nullptr;
    const unsigned blocks = bs_.GetRawBlockCount() + 1;
    if (out != nullptr) lockRefused_ = false;
    for (unsigned block = 0; block < blocks; ++block) {
        extensionAllowed_ = true;
        extensionFound_ = false;
        extensionPrepared_ = false;
        info.channels = 0;
        info.samplingRate = VlbBandsForIndex(info.samplingIndex).rate;
        bs_.ByteAlign();
        Last last = Last::None;
        bool elementRead = false;
        uint32_t tag = 0;
        for (;;) {
            // A corrupt frame can read on past everything buffered; stop before looping on
            // stale ring content.
            if (bs_.IsOverrun()) throw EUnimplemented();
            const unsigned id = bs_.Get(3);
            if (id == kIdEnd) break;
            switch (id) {
            case kIdSce:
            case kIdCpe: {
                if (elementRead) throw EUnimplemented();
                bs_.SetPositionMarker(0);
                tag = bs_.Get(4);
                if (id == kIdSce)
                    single_.Read(info);
                else
                    pair_.Read(info);
                bs_.SetPositionMarker(1);
                info.channels += id == kIdSce ? 1 : 2;
                last = id == kIdSce ? Last::Single : Last::Pair;
                elementRead = true;
                break;
            }
            case kIdCce: throw EUnimplemented();
            case kIdLfe: {
                bs_.SetPositionMarker(0);
                uint32_t lfeTag = bs_.Get(4);
                lfe_.Read(info);
                bs_.SetPositionMarker(1);
                if (LockTest(lfeTag, 0)) throw EUnimplemented();
                last = Last::None;
                elementRead = true;
                break;
            }
            case kIdDse: ReadDataStream(); break;
            case kIdPce: ReadProgramConfig(); break;
            case kIdFil: ReadFill(last, commit); break;
            }
        }
        if (info.profile == 0) throw EIllegalProfile();
        if (out != nullptr) {
            if (last == Last::Single && LockTest(tag, 0)) {
                if (extensionFound_)
                    single_.OutputWithExtension(out, extension_, info);
                else
                    single_.Output(out, info, 1);
            } else if (last == Last::Pair && LockTest(tag, 1)) {
                if (extensionFound_)
                    pair_.OutputWithExtension(out, extension_, info);
                else
                    pair_.Output(out, info, 2);
            } else if (last != Last::None) {
                lockRefused_ = true;
            }
            if (block > 0) bs_.DecrementRawBlocks();
        }
        bs_.ByteAlign();
    }
    if (out == nullptr)
        bs_.MarkHeaderRead();
    else
        bs_.ClearHeaderRead();
}

void CAacDecoder::ReadFill(Last last, bool commit) {
    if (last == Last::Single)
        PrepareExtension(single_);
    else if (last == Last::Pair)
        PrepareExtension(pair_);
    unsigned count = bs_.Get(4);
    if (count == 15) count += bs_.Get(8) - 1;
    unsigned left = 0;
    if (count > 0) {
        unsigned type = bs_.Get(4);
        if (type == 15 && extensionAllowed_ && extensionPrepared_) {
            left = ReadExtensionPayload(count, extension_, bs_, commit);
            extensionFound_ = true;
        } else {
            bs_.Get(4);
            left = count * 8 - 8;
        }
    }
    for (; left >= 8; left -= 8)
        bs_.Get(8);
    bs_.Get(left);
}

void CAacDecoder::PrepareExtension(CChannelElement& element) {
    const unsigned channels = element.GetChannelCount();
    if (channels != 1 && channels != 2) {
        extensionAllowed_ = false;
        return;
    }
    extension_.channels = channels;
    for (unsigned c = 0; c < channels; ++c) {
        const CChannelInfo& info = element.GetInfo(c);
        CBlock* block = element.GetBlock(c);
        if (block == nullptr) {
            extensionAllowed_ = false;
            return;
        }
        extension_.samplingIndex = info.samplingIndex;
        extension_.samplingRate = VlbBandsForIndex(info.samplingIndex).rate;
        VlbExtensionChannel& ch = extension_.channel[c];
        ch.windowSequence = info.windowSequence.Value();
        ch.numGroups = info.numGroups;
        for (unsigned g = 0; g < 8; ++g)
            ch.groupLength[g] = info.groupLength[g];
        ch.maxSfb = info.maxSfb.Value();
        ch.numSwb = info.numSwb;
        ch.offsets = info.Offsets();
        ch.upperBin = ch.offsets ? ch.offsets[ch.maxSfb] : 0;
        ch.sections = block->GetSectionInfo();
    }
    extensionPrepared_ = true;
}

void CAacDecoder::ReadDataStream() {
    dataStream_.elementInstanceTag.Read(bs_);
    dataStream_.dataByteAlignFlag.Read(bs_);
    uint32_t count = dataStream_.count.Read(bs_);
    if (count == 255) count += dataStream_.escCount.Read(bs_);
    if (dataStream_.dataByteAlignFlag.Value()) bs_.ByteAlign();
    dataStream_.length = count;
    for (uint32_t i = 0; i < count; ++i)
        dataStream_.bytes[i] = static_cast<uint8_t>(bs_.Get(8));
}

void CAacDecoder::ReadProgramConfig() {
    CBitSequence tag(4);
    tag.Read(bs_);
    CProgramConfig& p = adif_.program[tag.Value()];
    p.elementInstanceTag.Set(tag.Value());
    p.objectType.Read(bs_);
    p.samplingFrequencyIndex.Read(bs_);
    p.numFront.Read(bs_);
    p.numSide.Read(bs_);
    p.numBack.Read(bs_);
    p.numLfe.Read(bs_);
    p.numAssocData.Read(bs_);
    p.numValidCc.Read(bs_);
    if (p.monoMixdownPresent.Read(bs_)) p.monoMixdownElement.Read(bs_);
    if (p.stereoMixdownPresent.Read(bs_)) p.stereoMixdownElement.Read(bs_);
    if (p.matrixMixdownIdxPresent.Read(bs_)) {
        p.matrixMixdownIdx.Read(bs_);
        p.pseudoSurroundEnable.Read(bs_);
    }
    auto readList = [&](uint32_t n, uint8_t* isCpe, uint8_t* tags) {
        unsigned channels = 0;
        for (uint32_t i = 0; i < n; ++i) {
            isCpe[i] = static_cast<uint8_t>(bs_.Get(1));
            tags[i] = static_cast<uint8_t>(bs_.Get(4));
            channels += isCpe[i] ? 2 : 1;
        }
        return channels;
    };
    p.frontChannels = readList(p.numFront, p.frontIsCpe, p.frontTag);
    p.sideChannels = readList(p.numSide, p.sideIsCpe, p.sideTag);
    p.backChannels = readList(p.numBack, p.backIsCpe, p.backTag);
    for (uint32_t i = 0; i < p.numLfe; ++i)
        p.lfeTag[i] = static_cast<uint8_t>(bs_.Get(4));
    for (uint32_t i = 0; i < p.numAssocData; ++i)
        p.assocTag[i] = static_cast<uint8_t>(bs_.Get(4));
    readList(p.numValidCc, p.ccIsIndSw, p.ccTag);
    p.totalChannels = p.frontChannels + p.sideChannels + p.backChannels;
    bs_.ByteAlign();
    p.commentBytes = bs_.Get(8);
    for (uint32_t i = 0; i < p.commentBytes; ++i) {
        uint8_t byte = static_cast<uint8_t>(bs_.Get(8));
        if (i < sizeof p.comment) p.comment[i] = byte;
    }
    p.read = true;
}
