// ADTS headers and the synchronisation on ADTS or LOAS frames.
#include "codecs/aacplus/StreamConfig.h"

#include <algorithm>

#include "codecs/aacplus/TransportCommon.h"

namespace aacplus {

using transport::bytesAt;
using transport::rateOfIndex;

int channelsOfConfiguration(int channelConfiguration) {
    if (channelConfiguration >= 1 && channelConfiguration <= 6) return channelConfiguration;
    return channelConfiguration == 7 ? 8 : 0;
}

namespace {

struct AdtsHeader {
    int id, layer, protectionAbsent, profile, sfIndex, channelConfiguration, frameLength, fullness, blocks;
};

AdtsHeader readAdtsHeader(BitReader& c) {
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

void updateAdtsBitRate(decapl84& in, DecoderStreamInfo& info, const AdtsHeader& h, int rate) {
    const int delta = in.previousFullness < 0 ? 0 : (h.fullness - in.previousFullness) * 32;
    int channels = info.frameChannels;
    if (channels == 0) channels = h.channelConfiguration == 6 ? 5 : h.channelConfiguration;
    const float estimate =
        (float(h.frameLength) * 8.0f + float(delta) * float(channels)) * float(rate) / (float(h.blocks + 1) * 1024.0f);
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
bool plausibleFollower(const BitReader& at) {
    BitReader c = at;
    if (c.peek(8) == 0xFF) return true;
    return bytesAt(at, "TAG") || bytesAt(at, "ID3");
}

}  // namespace

int synchronise(decapl84& in, DecoderStreamInfo& info, Crc** crcOut, int32_t* transportOut) {
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
        if (c.bitsLeft() < 12) break;
        const uint32_t word = c.peek(12);
        const bool adts = (t == kTransportAuto || t == kTransportAdts) && word == 0xFFF;
        const bool loas = !adts && (t == kTransportAuto || t == kTransportLoas) && (word >> 1) == 0x2B7;
        if (!adts && !loas) {
            r.skip(8);
            continue;
        }
        const int64_t start = c.position();
        if (loas) {
            if (c.bitsLeft() < 25) break;
            const int length = readLoasHeader(c);
            if (3 + length > kInputBufferSize) {
                r.skip(8);
                continue;
            }
            if (c.bitsLeft() < int64_t(length) * 8) break;
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

        if (c.bitsLeft() < 56) break;
        const AdtsHeader h = readAdtsHeader(c);
        if (h.layer != 0 || h.frameLength <= 7 || h.frameLength > kInputBufferSize) {
            r.skip(8);
            continue;
        }
        if (c.bitsLeft() < int64_t(h.frameLength - 7) * 8) break;
        const bool hasCrc = h.protectionAbsent == 0 || in.adtsCrcAlways;
        if (hasCrc && c.bitsLeft() < 16) break;
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
        if (h.profile > 1) return kCoreUnsupportedProfile;
        const int rate = rateOfIndex(h.sfIndex);
        info.samplingRate = rate;
        info.samplingFrequencyIndex = h.sfIndex;
        info.current().coreSampleRate = rate;
        updateAdtsBitRate(in, info, h, rate);
        info.mpegVersion = h.id == 1 ? 1 : 2;
        info.current().profile = h.id == 1 ? (h.profile == 0 ? kAacPlusProfileMpeg2Main : kAacPlusProfileMpeg2Lc)
                                           : (h.profile == 0 ? kAacPlusProfileMpeg4Main : kAacPlusProfileMpeg4Lc);
        info.adtsChannelConfiguration = h.channelConfiguration;
        in.rawBlocksLeft = h.blocks;
        *crcOut = in.frameHasCrc ? in.crc.get() : nullptr;
        return kCoreOk;
    }
    return in.endOfInput ? kCoreEndOfStream : kCoreNeedMoreInput;
}

}  // namespace aacplus
