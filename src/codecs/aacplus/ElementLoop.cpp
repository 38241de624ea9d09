#include "codecs/aacplus/ElementLoop.h"

#include <algorithm>
#include <iterator>
#include <new>

namespace aacplus {

int ElementDecoder::configure(int maxChannels, int lfeChannels, bool pnsOn, bool concealment) {
    singles_.clear();
    pairs_.clear();
    lfes_.clear();
    for (auto& kind : owner_)
        std::fill(std::begin(kind), std::end(kind), -1);
    try {
        for (int i = 0; i < maxChannels; ++i)
            singles_.emplace_back(new decapl80(reader_, pnsOn, concealment));
        for (int i = 0; i < maxChannels / 2; ++i)
            pairs_.emplace_back(new decapl63(reader_, pnsOn, concealment));
        for (int i = 0; i < lfeChannels; ++i)
            lfes_.emplace_back(new decapl80(reader_, pnsOn, concealment));
    } catch (const std::bad_alloc&) {
        return kCoreOutOfMemory;
    }
    return kCoreOk;
}

decapl61* ElementDecoder::elementFor(int id, int index) {
    if (index < 0) return nullptr;
    switch (id) {
    case kIdSce: return index < singleCount() ? singles_[size_t(index)].get() : nullptr;
    case kIdCpe: return index < pairCount() ? pairs_[size_t(index)].get() : nullptr;
    case kIdLfe: return index < lfeCount() ? lfes_[size_t(index)].get() : nullptr;
    default: return nullptr;
    }
}

int ElementDecoder::count(int id) const {
    return id == kIdSce ? singleCount() : id == kIdCpe ? pairCount() : id == kIdLfe ? lfeCount() : 0;
}

int ElementDecoder::objectFor(int id, int tag, const bool* usedThisFrame) {
    int* owner = owner_[id & 3];
    const int n = count(id);
    int chosen = owner[tag & 15];
    if (chosen >= 0 && chosen < n && !usedThisFrame[chosen]) return chosen;
    chosen = -1;
    // A free object, else one whose tag did not come this frame.
    for (int pass = 0; pass < 2 && chosen < 0; ++pass) {
        for (int i = 0; i < n && chosen < 0; ++i) {
            if (usedThisFrame[i]) continue;
            const bool owned = std::find(owner, owner + 16, i) != owner + 16;
            if (pass == 1 || !owned) chosen = i;
        }
    }
    if (chosen < 0) return -1;
    std::replace(owner, owner + 16, chosen, -1);
    owner[tag & 15] = chosen;
    return chosen;
}

namespace {

bool belongs(const ProgramConfig* program, int id, int tag) {
    if (!program || !program->valid) return true;
    switch (id) {
    case kIdSce: return program->hasSingle(tag);
    case kIdCpe: return program->hasPair(tag);
    case kIdLfe: return program->hasLfe(tag);
    default: return false;
    }
}

}  // namespace

int ElementDecoder::readFill(decapl61* owner, Crc*) {
    BitReader& r = *reader_;
    int count = int(r.read(4));
    if (count == 15) count += int(r.read(8)) - 1;
    if (!owner) {
        r.skip(int64_t(count) * 8);
        return kCoreOk;
    }
    if (count == 0) return kCoreOk;
    if (r.bitsLeft() < int64_t(count) * 8) return kCoreNeedMoreInput;
    const int type = int(r.read(4));
    if (owner->TakeExtensionPayload(type, count)) return kCoreOk;
    r.skip(4 + int64_t(count - 1) * 8);
    return kCoreOk;
}

void ElementDecoder::readDataStream(Crc* crc, const AncillarySink& sink) {
    BitReader& r = *reader_;
    const int64_t start = r.position();
    const int tag = int(r.read(4));
    const bool align = r.readBit();
    int count = int(r.read(8));
    if (count == 255) count += int(r.read(8));
    if (align) r.align(0);
    aacPlusAncillaryDesc* d = sink.desc;
    if (!d || !sink.buffer) {
        r.skip(int64_t(count) * 8);
    } else {
        int* lastTag = sink.lastTag;
        const bool extend = lastTag && *lastTag == tag && d->count > 0;
        uint32_t* entry = nullptr;
        if (extend) {
            entry = d->entries[d->count - 1];
        } else if (d->count < 16) {
            entry = d->entries[d->count++];
            entry[0] = uint32_t(tag);
            entry[1] = d->used;
            entry[2] = 0;
        }
        if (lastTag) *lastTag = tag;
        for (int i = 0; i < count; ++i) {
            const uint8_t byte = uint8_t(r.read(8));
            if (d->used < d->capacity) {
                sink.buffer[d->used++] = byte;
                if (entry) ++entry[2];
            } else {
                ++d->lost;
            }
        }
    }
    if (crc) {
        CrcRegion region;
        region.begin(start, 0);
        region.end(r.position(), INT64_MAX);
        crc->feed(r.data, r.count, &region, 1);
    }
}

int ElementDecoder::readElements(const ElementContext& ctx, Crc* crc, FrameElements& fe, const ProgramConfig* program,
                                 const AncillarySink& sink, int64_t blockStart) {
    BitReader& r = *reader_;
    bool used[4][8] = {};      // objects used this frame per kind (index by id 0, 1, 3)
    decapl61* last = nullptr;  // the element a fill element may extend
    fe.crcRegionsFed = crc != nullptr;
    for (;;) {
        const int id = int(r.read(3));
        if (id == kIdEnd) break;
        if (r.overran()) return kCoreNeedMoreInput;
        if (fe.count >= 127) return kCoreSyntax;
        decapl61* previous = last;
        last = nullptr;
        switch (id) {
        case kIdSce:
        case kIdCpe:
        case kIdLfe: {
            const int tag = int(r.peek(4));
            const int index = objectFor(id, tag, used[id]);
            decapl61* e = elementFor(id, index);
            if (!e) return kCoreSyntax;  // more elements of this kind than allocated
            used[id][index] = true;
            fe.object[fe.count] = index;
            fe.list[fe.count++] = {id, tag};
            if (int err = e->Read(ctx, crc)) return err;
            if (belongs(program, id, tag)) {
                if (id == kIdSce)
                    ++fe.singles;
                else if (id == kIdCpe)
                    ++fe.pairs;
                else
                    ++fe.lfes;
            }
            if (id != kIdLfe) last = e;
            break;
        }
        case kIdCce: return kCoreSyntax;
        case kIdDse:
            fe.list[fe.count++] = {id, int(r.peek(4))};
            readDataStream(crc, sink);
            break;
        case kIdPce: return kCoreInconsistentFrame;
        case kIdFil:
            if (int err = readFill(previous, crc)) return err;
            if (previous && previous->sbrTaken()) fe.sbrPayload = true;
            last = previous;  // a second fill element after the same element is offered too
            break;
        default: break;
        }
        if (r.overran()) return kCoreNeedMoreInput;
    }
    if (r.overran()) return kCoreNeedMoreInput;
    fe.channels = fe.singles + 2 * fe.pairs + fe.lfes;
    r.align(blockStart);
    return kCoreOk;
}

int ElementDecoder::render(float* out, const FrameElements& fe, bool concealed, int stride, const ElementContext& ctx,
                           bool sbrUpsampling, const SbrDecoderConfig& sbrConfig, SbrOutcome& sbr,
                           const ProgramConfig* program, const ProgramConfig* order) {
    sbr = SbrOutcome();
    bool firstSingle = true;
    // The order of the output channels: the program's element order when there is one
    // (streams may send the elements of a program in any order), else bit stream order.
    int sequence[128];
    int n = 0;
    bool taken[128] = {};
    if (order && order->valid) {
        auto take = [&](int id, int tag) {
            for (int i = 0; i < fe.count; ++i)
                if (!taken[i] && fe.list[i].id == id && fe.list[i].tag == tag) {
                    taken[i] = true;
                    sequence[n++] = i;
                    return;
                }
        };
        const struct {
            const PceEntry* e;
            int count;
        } groups[3] = {{order->front, order->numFront}, {order->side, order->numSide}, {order->back, order->numBack}};
        for (const auto& g : groups)
            for (int i = 0; i < g.count && i < 15; ++i)
                take(g.e[i].isCpe ? kIdCpe : kIdSce, g.e[i].tag);
        for (int i = 0; i < order->numLfe && i < 15; ++i)
            take(kIdLfe, order->lfeTag[i]);
    }
    for (int i = 0; i < fe.count; ++i)
        if (!taken[i]) sequence[n++] = i;

    int channels = 0;
    for (int s = 0; s < n; ++s) {
        const int i = sequence[s];
        const int id = fe.list[i].id;
        if (id != kIdSce && id != kIdCpe && id != kIdLfe) continue;
        decapl61* e = elementFor(id, fe.object[i]);
        if (!e || !belongs(program, id, fe.list[i].tag)) continue;
        if (channels + e->GetChannelCount() > stride) break;  // the buffer is laid out for `stride` channels
        float* target = out ? out + channels : nullptr;
        if (concealed) {
            e->Conceal(ctx, target, stride);
            if (id != kIdLfe) e->clearPendingPayloadSize();
        } else {
            e->Decode(target, stride);
        }
        e->SetSbrMode(sbrUpsampling);
        e->RunSbr(target, stride, ctx, sbrConfig);
        if (e->hasSbrDecoder()) sbr.rateRatio = e->rateRatio();
        if (id == kIdSce && firstSingle) {
            sbr.parametricStereo = e->parametricStereo();
            firstSingle = false;
        }
        channels += e->outputChannels();
    }
    return channels;
}

bool ElementDecoder::anySbrDecoder() const {
    for (const auto& e : singles_)
        if (e && e->hasSbrDecoder()) return true;
    for (const auto& e : pairs_)
        if (e && e->hasSbrDecoder()) return true;
    for (const auto& e : lfes_)
        if (e && e->hasSbrDecoder()) return true;
    return false;
}

}  // namespace aacplus
