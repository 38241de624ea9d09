#pragma once

#include <memory>

#include "codecs/aacplus/aacPlusDecoder.h"
#include "engine/DecoderWrapper.h"
#include "engine/PcmHandOut.h"

namespace Amp {

// Adapter of the aacPlus library: ADTS/LOAS bytes from the source in, interleaved float PCM
// out, one frame per decode.
class aacPlusDecoder : public AudioDecoder {
public:
    aacPlusDecoder();
    ~aacPlusDecoder() override;

    int Read(void* buffer, unsigned length) override;
    void SetAudioOut(AudioOut* output) override { output_ = output; }
    void SetSource(DataSource* source) override { source_ = source; }
    DataSource* GetSource() override { return source_; }

private:
    static constexpr unsigned kInputBytes = 4608;
    static constexpr int kOpenChannels = 6;

    void FeedInput();
    // Announces the current program's rate and channels when they differ from what the
    // output was last told; true when they did.
    bool AnnounceFormat();

    DataSource* source_ = nullptr;
    AudioOut* output_ = nullptr;
    aacPlusHandle handle_ = nullptr;
    GrowableBuffer input_{kInputBytes};
    bool formatAnnounced_ = false;
    bool inputEnded_ = false;
    bool streamEnded_ = false;
    bool needInput_ = true;  // the last decode asked for more input (or there was none yet)
    // Once a frame did not fit the caller's buffer, frames are decoded into the pending
    // buffer, this large.
    PcmHandOut handOut_;
    uint32_t overflowSize_ = 0;
    double announcedRate_ = 0;
    uint32_t announcedChannels_ = 0;
};

}  // namespace Amp
