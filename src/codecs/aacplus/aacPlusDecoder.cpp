// The handle layer: argument checks, configuration, feed, transport dispatch and the PCM
// conversion into the caller's format. Frame decoding is CoreDecoder's.
#include "codecs/aacplus/aacPlusDecoder.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "codecs/aacplus/BitReader.h"
#include "codecs/aacplus/CoreDecoder.h"
#include "codecs/aacplus/InputBuffer.h"
#include "codecs/aacplus/PcmConvert.h"
#include "codecs/aacplus/StreamConfig.h"
#include "codecs/aacplus/StreamInfo.h"

using namespace aacplus;

namespace {

constexpr uint32_t kHandleTag = 0xCAACDC37u;

int mapCoreStatus(int core) {
    switch (core) {
    case kCoreOk: return kAacPlusOk;
    case kCoreEndOfStream: return kAacPlusEndOfStream;
    case kCoreNeedMoreInput: return kAacPlusNeedMoreInput;
    case kCoreOutputTooSmall: return kAacPlusOutputTooSmall;
    default: return kAacPlusDecodeFailed;
    }
}

int bytesPerSample(int format) { return format == kAacPlusFormatInt16 ? 2 : format == kAacPlusFormatInt24 ? 3 : 4; }

}  // namespace

// What the decode call must put back when it refuses a frame for a too-small buffer, so
// that the frame is decoded again on the next call instead of being lost.
struct ResumePoint {
    BitReader reader;
    int32_t rawBlocksLeft;
    bool frameHasCrc;
    uint16_t crcCheck;
    int32_t transport;
    int64_t frameEnd;
    float rateRing[16];
    int32_t rateIndex, rateFill, previousFullness;
    bool configured;
};

struct aacPlusDecoder {
    uint32_t tag = 0;
    aacPlusStreamInfo visible = {};
    aacPlusConfig config = {};
    int32_t outputFormat = 0;
    std::unique_ptr<decapl84> input;
    std::unique_ptr<CoreDecoder> core;
    std::unique_ptr<DecoderStreamInfo> info;
    BitReader reader;
    Crc* frameCrc = nullptr;
    bool firstCall = true;
    bool configured = false;
    std::unique_ptr<float[]> work;
    size_t workFloats = 0;

    ResumePoint save() const {
        ResumePoint p{};
        p.reader = reader;
        p.rawBlocksLeft = input->rawBlocksLeft;
        p.frameHasCrc = input->frameHasCrc;
        p.crcCheck = input->crcCheck;
        p.transport = input->transport;
        p.frameEnd = input->frameEnd;
        std::memcpy(p.rateRing, input->rateRing, sizeof p.rateRing);
        p.rateIndex = input->rateIndex;
        p.rateFill = input->rateFill;
        p.previousFullness = input->previousFullness;
        p.configured = configured;
        return p;
    }
    void restore(const ResumePoint& p) {
        reader = p.reader;
        input->rawBlocksLeft = p.rawBlocksLeft;
        input->frameHasCrc = p.frameHasCrc;
        input->crcCheck = p.crcCheck;
        input->transport = p.transport;
        input->frameEnd = p.frameEnd;
        std::memcpy(input->rateRing, p.rateRing, sizeof p.rateRing);
        input->rateIndex = p.rateIndex;
        input->rateFill = p.rateFill;
        input->previousFullness = p.previousFullness;
        configured = p.configured;
        if (input->crc && p.frameHasCrc) {
            // The header is re-read on the next call, which resets the CRC.
            input->crc->reset();
        }
    }
};

namespace {

bool valid(const aacPlusDecoder* h) { return h && h->tag == kHandleTag; }

void publish(aacPlusDecoder* h) { h->visible = h->info->info; }

}  // namespace

int aacPlusDecoderOpen(aacPlusHandle* handle, int outputFormat, int channels) {
    if (!handle) return kAacPlusInvalidHandle;
    if (channels < 2) channels = 2;
    if (channels > 8) {
        *handle = nullptr;
        return kAacPlusInvalidConfig;
    }
    return aacPlusDecoderOpenWithConfig(handle, outputFormat, 0, 0, 0, 0, 0, 0, 0, channels, channels, channels,
                                        channels > 4 ? 1 : 0, 0, 0);
}

int aacPlusDecoderOpenWithConfig(aacPlusHandle* handle, int outputFormat, int concealment, int limiterOn,
                                 int lowPowerSbr, int implicitSbr, int sbrDownsampleRate, int adtsCrcAlways, int pnsOff,
                                 int reserved7, int reserved8, int maxChannels, int lfeChannels, int downmixMode,
                                 int downmixVariant) {
    if (!handle) return kAacPlusInvalidHandle;
    *handle = nullptr;
    std::unique_ptr<aacPlusDecoder> h(new (std::nothrow) aacPlusDecoder);
    if (!h) return kAacPlusOutOfMemory;
    h->input.reset(new (std::nothrow) decapl84(&h->reader));
    h->core.reset(new (std::nothrow) CoreDecoder(&h->reader));
    h->info.reset(new (std::nothrow) DecoderStreamInfo);
    if (!h->input || !h->core || !h->info) return kAacPlusOutOfMemory;
    h->visible = h->info->info;
    h->firstCall = true;
    h->configured = false;
    if (outputFormat < 0 || outputFormat > 2) return kAacPlusInvalidParameter;
    h->outputFormat = outputFormat;
    h->tag = kHandleTag;
    h->config = {concealment, limiterOn, lowPowerSbr, implicitSbr, sbrDownsampleRate, adtsCrcAlways, pnsOff,
                 reserved7,   reserved8, maxChannels, lfeChannels, downmixMode,       downmixVariant};
    if (int status = aacPlusDecoderSetConfig(h.get())) return status;
    *handle = h.release();
    return kAacPlusOk;
}

aacPlusConfig* aacPlusDecoderGetConfig(aacPlusHandle h) { return valid(h) ? &h->config : nullptr; }

aacPlusStreamInfo* aacPlusDecoderGetStreamInfo(aacPlusHandle h) { return valid(h) ? &h->visible : nullptr; }

int aacPlusDecoderSetConfig(aacPlusHandle h) {
    if (!valid(h)) return kAacPlusInvalidHandle;
    const aacPlusConfig& c = h->config;
    if (c.maxChannels < 2 || c.maxChannels > 8 || c.lfeChannels < 0 || c.lfeChannels > 1) return kAacPlusInvalidConfig;
    if (!(h->outputFormat == kAacPlusFormatFloat && c.downmixMode == 0)) {
        h->work.reset();
        h->workFloats = 0;
        const size_t n = size_t(c.maxChannels + c.lfeChannels) * 2048;
        h->work.reset(new (std::nothrow) float[n]());
        if (!h->work) return kAacPlusOutOfMemory;
        h->workFloats = n;
    }
    if (int core = h->core->configure(c.maxChannels, c.lfeChannels, c.pnsOff == 0, c.concealment != 0))
        return mapCoreStatus(core);
    h->core->setLimiterOn(c.limiterOn != 0);
    h->core->setImplicitSbr(c.implicitSbr != 0);
    h->core->setLowPowerSbr(c.lowPowerSbr != 0);
    h->core->setSbrDownsampleRate(c.sbrDownsampleRate);
    h->input->adtsCrcAlways = c.adtsCrcAlways != 0;
    if (c.downmixMode < 0 || c.downmixMode > 2 || c.downmixVariant < 0 || c.downmixVariant > 3)
        return kAacPlusInvalidConfig;
    h->core->setDownmix(c.downmixMode, c.downmixVariant);
    return kAacPlusOk;
}

int aacPlusStreamFeed(aacPlusHandle h, const uint8_t* data, aacPlusInputDesc* desc) {
    if (!valid(h) || !desc) return kAacPlusInvalidHandle;
    desc->consumed = 0;
    if (desc->length == 0) {
        uint32_t zero = 0;
        h->input->append(nullptr, zero);
        DecoderStreamInfo& info = *h->info;
        if (info.info.state == kAacPlusStateConcealing)
            info.stateToReturnTo = kAacPlusStateInputEnded;
        else
            info.info.state = kAacPlusStateInputEnded;
        publish(h);
        return kAacPlusOk;
    }
    if (!data) return kAacPlusInvalidHandle;
    if (desc->flags != 0) return kAacPlusInvalidParameter;
    uint32_t remaining = desc->length;
    h->input->append(data, remaining);
    desc->consumed = desc->length - remaining;
    return kAacPlusOk;
}

int aacPlusStreamDecode(aacPlusHandle h, void* pcm, aacPlusOutputDesc* desc, uint8_t* ancillary,
                        aacPlusAncillaryDesc* ancillaryDesc) {
    if (!valid(h) || !desc) return kAacPlusInvalidHandle;
    DecoderStreamInfo& info = *h->info;
    decapl84& input = *h->input;
    const bool direct = h->outputFormat == kAacPlusFormatFloat && h->config.downmixMode == 0;
    float* samples = direct ? static_cast<float*>(pcm) : h->work.get();
    size_t capacityFloats = direct ? desc->capacity / sizeof(float) : h->workFloats;

    if (h->firstCall) {
        info.info.transport = h->visible.transport;
        input.transport = info.info.transport;
        if (input.transport == kTransportRaw) info.current().coreSampleRate = info.samplingRate;
        if (input.transport == kTransportAuto || input.transport == kTransportAdif) h->core->setUpAdif(input, info);
        // ADIF can only be recognised once bytes are there: a decode before the first
        // feed must not use up the first call.
        if (input.held() > 0 || input.endOfInput) h->firstCall = false;
    }

    const int bps = bytesPerSample(h->outputFormat);
    h->core->setOutput(pcm ? desc : nullptr, bps, samples ? capacityFloats : 0);
    if (ancillary && ancillaryDesc) {
        ancillaryDesc->used = 0;
        ancillaryDesc->lost = 0;
        ancillaryDesc->count = 0;
        h->core->setAncillarySink(ancillary, ancillaryDesc);
    } else {
        h->core->setAncillarySink(nullptr, nullptr);
    }

    const ResumePoint resume = h->save();
    bool decodable = false;
    Crc* crc = nullptr;
    switch (input.transport) {
    case kTransportAuto:
    case kTransportAdts:
    case kTransportLoas: {
        int32_t found = 0;
        int status;
        for (;;) {
            status = synchronise(input, info, &crc, &found);
            if (status != kCoreOk || found != kTransportLoas || h->configured ||
                !CoreDecoder::loasFrameWithoutConfig(h->reader))
                break;
            CoreDecoder::skipLoasFrame(h->reader);
        }
        if (status != kCoreOk) {
            if (status == kCoreEndOfStream) {
                if (info.info.state == kAacPlusStateConcealing)
                    info.stateToReturnTo = kAacPlusStateEndOfStream;
                else
                    info.info.state = kAacPlusStateEndOfStream;
                publish(h);
            }
            return mapCoreStatus(status);
        }
        if (found == kTransportAdts || found == kTransportLoas) {
            h->configured = true;
            decodable = true;
        }
        break;
    }
    case kTransportRaw:
    case kTransportAdif:
    case kTransportLatm:
        h->configured = true;
        decodable = true;
        break;
    default: break;
    }

    if (decodable) {
        const int core = h->core->decodeFrame(samples, info, h->visible, input, crc);
        if (core == kCoreOutputTooSmall) {
            h->restore(resume);
            return kAacPlusOutputTooSmall;
        }
        if (core == kCoreEndOfStream) {
            publish(h);
            return kAacPlusEndOfStream;
        }
        if (core != kCoreOk) return mapCoreStatus(core);
    }

    if (!h->configured) return kAacPlusNeedMoreInput;
    const aacPlusProgramInfo& p = info.current();
    const size_t count = size_t(std::max(p.frameSize, 0)) * size_t(std::max(p.outputChannels, 0));
    desc->written = 0;
    desc->needed = 0;
    if (!pcm) return kAacPlusOk;
    if (count > capacityFloats || count * size_t(bps) > desc->capacity) {
        // Never write past either buffer, whatever the frame claims.
        desc->needed = uint32_t(count * size_t(bps) > desc->capacity ? count * size_t(bps) - desc->capacity : 0);
        return kAacPlusOutputTooSmall;
    }
    convertPcm(samples, pcm, count, h->outputFormat);
    desc->written = uint32_t(count * size_t(bps));
    return kAacPlusOk;
}

void aacPlusDecoderClose(aacPlusHandle* handle) {
    if (!handle) return;
    aacPlusDecoder* h = *handle;
    *handle = nullptr;
    if (!valid(h)) return;
    h->tag = 0;
    delete h;
}
