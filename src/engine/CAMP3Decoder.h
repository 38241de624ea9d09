#pragma once

#include <memory>

#include "codecs/mp3/MpegDecoder.h"
#include "engine/DecoderWrapper.h"

namespace Amp {

// Adapter of the MPEG audio library: compressed bytes from the source in, interleaved
// 16-bit PCM out, one frame at a time.
class CAMP3Decoder : public AudioDecoder {
public:
    CAMP3Decoder();
    ~CAMP3Decoder() override;

    int Read(void* buffer, unsigned length) override;
    void SetAudioOut(AudioOut* output) override { output_ = output; }
    void SetSource(DataSource* source) override { source_ = source; }
    DataSource* GetSource() override { return source_; }

private:
    static constexpr unsigned kMaxFeedBytes = 4096;
    static constexpr unsigned kOverflowBytesPerChannel = 2304;

    uint32_t FeedInput();
    uint32_t DecodeToBuffer();
    void AnnounceFormat();

    DataSource* source_ = nullptr;
    MpegDecoderHandle* handle_ = nullptr;
    bool formatAnnounced_ = false;
    bool frameDecoded_ = false;
    bool inputEnded_ = false;
    AudioOut* output_ = nullptr;
    std::unique_ptr<GrowableBuffer> overflow_;
};

}  // namespace Amp
