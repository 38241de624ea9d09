// Channel elements of a raw data block: single channel (also LFE) and channel pair.
// Each owns what survives from frame to frame for its channels: overlap, prediction,
// concealment, the noise generator and the SBR payload.
#pragma once

#include <cstdint>
#include <memory>

#include "codecs/aacplus/BitReader.h"
#include "codecs/aacplus/aacPlusTypes.h"
#include "codecs/aacplus/Concealment.h"
#include "codecs/aacplus/Crc.h"
#include "codecs/aacplus/Ics.h"
#include "codecs/aacplus/JointStereo.h"
#include "codecs/aacplus/Prediction.h"
#include "codecs/aacplus/SbrDecoder.h"
#include "codecs/aacplus/SbrPayload.h"

namespace aacplus {

// What an element needs to know of the stream for one frame.
struct ElementContext {
    int sfIndex = 4;
    int profile = kAacPlusProfileMpeg4Lc;
};

class decapl61 {
public:
    decapl61(BitReader* reader, bool pnsOn, bool concealment);
    virtual ~decapl61();
    decapl61(const decapl61&) = delete;
    decapl61& operator=(const decapl61&) = delete;

    // Reads the element from its element_instance_tag. With crc, feeds the protected regions.
    virtual int Read(const ElementContext& ctx, Crc* crc) = 0;
    // Decodes the frame just read into out (null: no samples) at the given stride.
    virtual void Decode(float* out, int stride) = 0;
    // Output for a missing or damaged frame.
    virtual void Conceal(const ElementContext& ctx, float* out, int stride) = 0;
    virtual int GetChannelCount() const { return 0; }
    virtual void Reset() = 0;
    virtual bool TakeExtensionPayload(int extensionType, int count);
    virtual void SetSbrMode(bool on);

    // The SBR hand-over, after Decode or Conceal and SetSbrMode. Opens the element's SBR
    // decoder on the first call when SBR is on (never later), then lets it turn the core
    // output at `out` (stride channels apart) into the element's output. With concealment
    // the decoder works one frame late, like the concealed core.
    void RunSbr(float* out, int stride, const ElementContext& ctx, const SbrDecoderConfig& config);

    int tag() const { return tag_; }
    int outputChannels() const { return outputChannels_; }
    int coreChannels() const { return coreChannels_; }
    bool sbrTaken() const { return pending_.count > 0 && pending_.size > 0; }
    bool hasSbrDecoder() const { return sbr_ != nullptr; }
    bool parametricStereo() const { return sbrIsParametricStereo(sbr_); }
    float rateRatio() const { return rateRatio_; }
    const SbrExtensionPayload& pendingPayload() const { return pending_; }
    const SbrExtensionPayload& workingPayload() const { return working_; }
    void clearPendingPayloadSize() {
        if (sbr_) pending_.size = 0;
    }

protected:
    virtual int elementKind() const = 0;  // 0 single, 2 pair

    BitReader* reader_;
    int globalGain_ = 0;
    uint8_t msFlags_[8][64] = {};
    NoiseGenerator noise_;
    int tag_ = 0;
    int outputChannels_ = 1;
    int coreChannels_ = 1;
    float rateRatio_ = 1.0f;
    bool sbrOn_ = false;
    bool sbrOpened_ = false;
    SbrExtensionPayload pending_;
    SbrExtensionPayload working_;
    SbrDecoder* sbr_ = nullptr;
    bool concealment_ = false;
    bool pnsOn_ = true;
};

// One individual channel stream with everything it keeps.
struct ChannelState {
    IcsInfo ics;
    IcsStorage storage;
    OverlapState overlap;
    PredictionState prediction;
    std::unique_ptr<Concealment> concealment;
};

// Reads individual_channel_stream: global_gain, ics_info unless shared, the channel data.
[[nodiscard]] int readIndividualChannelStream(BitReader& r, ChannelState& ch, bool commonWindow, bool pnsOn,
                                              int& globalGain);

class decapl80 : public decapl61 {
public:
    decapl80(BitReader* reader, bool pnsOn, bool concealment);
    int Read(const ElementContext& ctx, Crc* crc) override;
    void Decode(float* out, int stride) override;
    void Conceal(const ElementContext& ctx, float* out, int stride) override;
    int GetChannelCount() const override { return 1; }
    void Reset() override;

    ChannelState& channel() { return ch_; }

protected:
    int elementKind() const override { return 0; }

private:
    ChannelState ch_;
};

class decapl63 : public decapl61 {
public:
    decapl63(BitReader* reader, bool pnsOn, bool concealment);
    int Read(const ElementContext& ctx, Crc* crc) override;
    void Decode(float* out, int stride) override;
    void Conceal(const ElementContext& ctx, float* out, int stride) override;
    int GetChannelCount() const override { return 2; }
    void Reset() override;

    ChannelState& channel(int i) { return ch_[i & 1]; }
    bool commonWindow() const { return commonWindow_; }
    const MsData& ms() const { return ms_; }

protected:
    int elementKind() const override { return 2; }

private:
    bool commonWindow_ = false;
    ChannelState ch_[2];
    MsData ms_;
};

// Decodes one channel into out and finishes it: concealment (when kept), synthesis.
void synthesizeChannel(ChannelState& ch, decapl60* stream, float* out, int stride);

}  // namespace aacplus
