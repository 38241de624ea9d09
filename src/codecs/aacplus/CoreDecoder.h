// The core frame decoder: one access unit in, interleaved float PCM (16-bit scale) out.
//
// This object owns the frame-level rules: transport headers inside the frame (ADIF set-up,
// LOAS/LATM), leading program configurations, the program/rate/channel consistency checks,
// the SBR decision, output sizing, concealment bookkeeping, channel mode and reorder or
// downmix, the output limiter, and the stream-information updates. The per-element work
// (the element loop of the raw_data_block and the channel elements' decode) is the
// ElementDecoder's, called from `readElements` / `renderElements`.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "codecs/aacplus/BitReader.h"
#include "codecs/aacplus/Crc.h"
#include "codecs/aacplus/InputBuffer.h"
#include "codecs/aacplus/FrameElements.h"
#include "codecs/aacplus/SbrConfig.h"
#include "codecs/aacplus/StreamConfig.h"
#include "codecs/aacplus/StreamInfo.h"

namespace aacplus {

class ElementDecoder;
class Limiter;

class CoreDecoder {
public:
    explicit CoreDecoder(BitReader* reader);
    ~CoreDecoder();

    CoreDecoder(const CoreDecoder&) = delete;
    CoreDecoder& operator=(const CoreDecoder&) = delete;

    // Element objects for maxChannels single channels, maxChannels / 2 pairs, lfeChannels
    // LFE channels. 0 or 0x1001.
    [[nodiscard]] int configure(int maxChannels, int lfeChannels, bool pnsOn, bool concealment);
    void setLimiterOn(bool on) { limiterOn_ = on; }
    void setImplicitSbr(bool on) { implicitSbr_ = on; }
    void setLowPowerSbr(bool on) {
        lowPowerSbr_ = on;
        sbrConfig_.words[13] = on ? 1 : 0;
    }
    void setSbrDownsampleRate(int rate) { sbrDownsampleRate_ = rate; }
    void setDownmix(int mode, int variant) {
        downmixMode_ = mode;
        downmixVariant_ = variant;
    }
    // desc null: no caller buffer (the size check is skipped). `capacityFloats` is what the
    // float target of decodeFrame holds; nothing is ever written beyond it.
    void setOutput(aacPlusOutputDesc* desc, int bytesPerSample, size_t capacityFloats) {
        outputDesc_ = desc;
        bytesPerSample_ = bytesPerSample;
        capacityFloats_ = capacityFloats;
    }
    // Both null: data stream element bytes are skipped.
    void setAncillarySink(uint8_t* buffer, aacPlusAncillaryDesc* desc) {
        ancillary_ = buffer;
        ancillaryDesc_ = desc;
        lastAncillaryTag_ = -1;
    }

    // Decodes one frame into `out` (null: no samples). Core status.
    [[nodiscard]] int decodeFrame(float* out, DecoderStreamInfo& info, aacPlusStreamInfo& visible, decapl84& input,
                                  Crc* crc);

    // On the first decode call: when the input starts with an ADIF header, reads it (program
    // configurations into their slots) and fixes the transport at ADIF.
    bool setUpAdif(decapl84& input, DecoderStreamInfo& info);

    // Checks, before any element is read, whether the next LOAS frame repeats the previous
    // configuration; such frames are skipped until one carries a StreamMuxConfig.
    static bool loasFrameWithoutConfig(const BitReader& r);
    static void skipLoasFrame(BitReader& r);

    int64_t framesDecoded() const { return framesDecoded_; }
    const ProgramConfig& slot(int tag) const { return slots_[tag & 15]; }
    const LatmMuxConfig& mux() const { return *mux_; }
    const AdifHeader& adif() const { return adif_; }

private:
    int decodeSteps(DecoderStreamInfo& info, const DecoderStreamInfo& snapshot, decapl84& input, Crc* crc,
                    FrameElements& fe, int64_t frameStart);
    int readElements(DecoderStreamInfo& info, decapl84& input, Crc* crc, FrameElements& fe, int64_t blockStart);
    int renderElements(float* out, DecoderStreamInfo& info, const FrameElements& fe, bool concealed, int numChannels,
                       bool& parametricStereo);
    int latmHeader(DecoderStreamInfo& info, decapl84& input);
    int latmTrailer(DecoderStreamInfo& info, decapl84& input, int64_t frameStart);
    int outputLength() const;
    void restart(DecoderStreamInfo& info);

    // Frames of a changed stream that are concealed (faded out and muted) before the
    // decoder starts over with the new configuration.
    static constexpr int kConcealChangedStreamFrames = 5;
    int inconsistentRun_ = 0;

    BitReader* reader_;
    int singleCount_ = 0, pairCount_ = 0, lfeCount_ = 0;
    int maxChannels_ = 0, channelLimit_ = 0;
    bool pnsOn_ = true, concealment_ = false;
    bool limiterOn_ = false, implicitSbr_ = false, lowPowerSbr_ = false;
    int sbrDownsampleRate_ = 0;
    int downmixMode_ = 0, downmixVariant_ = 0;
    ProgramConfig slots_[16];
    bool hasActive_ = false;
    ProgramConfig active_;
    int activeTag_ = -1;
    AdifHeader adif_;
    std::unique_ptr<LatmMuxConfig> mux_;
    int latmLastFullness_ = -1;
    int64_t latmBits_ = 0;
    int64_t latmFrames_ = 0;
    int32_t framesDecoded_ = 0;
    int explicitSbr_ = -1;
    bool upsampling_ = false;
    bool downsampledSbr_ = false;
    int psFlag_ = -1;
    SbrDecoderConfig sbrConfig_;  // what the elements open their SBR decoders with
    bool delayedConceal_ = false;
    int bytesPerSample_ = 4;
    size_t capacityFloats_ = 0;
    int64_t latmPayloadStart_ = 0;
    aacPlusOutputDesc* outputDesc_ = nullptr;
    uint8_t* ancillary_ = nullptr;
    aacPlusAncillaryDesc* ancillaryDesc_ = nullptr;
    int lastAncillaryTag_ = -1;
    int lastPceTag_ = -1;     // the last leading program configuration (element order)
    FrameElements previous_;  // output list reused by concealed frames
    std::unique_ptr<ElementDecoder> elements_;
    std::unique_ptr<Limiter> limiter_;
    uint8_t reorderMap_[8] = {0, 1, 2, 3, 4, 5, 6, 7};
    bool reorderOn_ = false;
};

}  // namespace aacplus
