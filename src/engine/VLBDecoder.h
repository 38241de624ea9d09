#pragma once

#include <memory>

#include "codecs/vlb/VlbDecoderFront.h"
#include "codecs/vlb/VlbIO.h"
#include "engine/DecoderWrapper.h"
#include "engine/PcmHandOut.h"
#include "platform/audio/AudioFormat.h"

namespace Amp {

// Adapter of the VLB library: the library pulls ADTS bytes through ReadData and pushes
// float samples on the 16-bit scale through OutputSamples.
class VLBDecoder : public AudioDecoder, public DataIOControl, public AudioIOControl {
public:
    VLBDecoder();
    ~VLBDecoder() override;

    int Read(void* buffer, unsigned length) override;
    void SetAudioOut(AudioOut* output) override { output_ = output; }
    void SetSource(DataSource* source) override { source_ = source; }
    DataSource* GetSource() override { return source_; }

    // DataIOControl
    unsigned Read(void* buffer, unsigned size, unsigned count) override { return ReadData(buffer, size, count); }
    int Reserved() override { return -1; }
    int IsEndOfFile() override { return 0; }
    int Open() override { return 0; }
    int Close() override { return 0; }

    // AudioIOControl
    int Reserved1() override { return 0; }
    int Reserved2() override { return 0; }
    int Write(float** channels, unsigned samplesPerChannel) override {
        return OutputSamples(channels, samplesPerChannel);
    }
    int Reserved3() override { return 0; }

private:
    static constexpr int32_t kStatusEnd = 5;
    static constexpr int32_t kStatusEndAlt = 14;
    static constexpr int32_t kStatusFormatChanged = -2;

    unsigned ReadData(void* buffer, unsigned size, unsigned count);
    int OutputSamples(float** channels, unsigned count);
    void AnnounceFormat(uint32_t sampleRate, uint32_t channels);
    // Interleaves the staged frame on the 1/32767 scale into `out`.
    void InterleaveStaged(uint8_t* out, uint32_t channels) const;
    void PlaceStagedFrame();

    DataSource* source_ = nullptr;
    std::unique_ptr<CVlbDecoderFront> front_;
    bool initialised_ = false;
    bool formatAnnounced_ = false;
    AudioStreamBasicDescription format_{};
    uint8_t* cursor_ = nullptr;
    size_t remaining_ = 0;
    AudioOut* output_ = nullptr;
    PcmHandOut handOut_;
    VlbFrameInfo frameInfo_{};
    // The frame the library pushed during the current DecodeFrame: its format is known only
    // once the call returns (the library reports it after writing).
    static constexpr unsigned kMaxFrameSamples = 2048;
    float staged_[2][kMaxFrameSamples] = {};
    unsigned stagedCount_ = 0;
    // The format of a frame that waits in handOut_ (the extension switched rate, another
    // channel count).
    uint32_t nextRate_ = 0, nextChannels_ = 0;
};

}  // namespace Amp
