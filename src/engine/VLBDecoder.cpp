#include "engine/VLBDecoder.h"

#include <cstring>

#include "engine/AudioOut.h"
#include "engine/player_exception.h"

namespace Amp {

VLBDecoder::VLBDecoder() : front_(std::make_unique<CVlbDecoderFront>(static_cast<DataIOControl*>(this))) {
    format_.mFormatID = kAudioFormatLinearPCM;
}

VLBDecoder::~VLBDecoder() = default;

int VLBDecoder::Read(void* buffer, unsigned length) {
    auto* out = static_cast<uint8_t*>(buffer);
    if (!initialised_) {
        VlbFrameInfo info{};
        const int32_t status = front_->Init(&info);
        if (status == kStatusEnd || status == kStatusEndAlt) return -1;
        if (status != 0) return 0;  // -2 (format changed) included: Init is called again
        initialised_ = true;
        format_.mSampleRate = info.sampleRate;
        format_.mChannelsPerFrame = info.channels ? info.channels : 1;
    }
    bool finished = false;
    size_t placed = handOut_.TakeWaiting(
        out, length, [this] { AnnounceFormat(nextRate_, nextChannels_); }, finished);
    if (finished || (placed == length && (placed > 0 || handOut_.HasPending()))) return int(placed);
    cursor_ = out + placed;
    remaining_ = length - placed;
    frameInfo_ = VlbFrameInfo{};
    stagedCount_ = 0;
    const int32_t status = front_->DecodeFrame(this, &frameInfo_);
    if ((status == kStatusEnd || status == kStatusEndAlt) && cursor_ == out) {
        cursor_ = nullptr;
        return -1;
    }
    // Other statuses: a failed frame yields no PCM; the library resynchronises itself.
    if (stagedCount_ > 0) PlaceStagedFrame();
    if (remaining_ > 0 && handOut_.HasPending()) {
        const size_t n = handOut_.TakePending(cursor_, remaining_);
        cursor_ += n;
        remaining_ -= n;
    }
    placed = size_t(cursor_ - out);
    cursor_ = nullptr;
    // PCM placed in the call that met the end is handed out; the end comes next time.
    return int(placed);
}

void VLBDecoder::PlaceStagedFrame() {
    const uint32_t rate = frameInfo_.sampleRate ? frameInfo_.sampleRate : uint32_t(format_.mSampleRate);
    const uint32_t channels = frameInfo_.channels ? frameInfo_.channels : format_.mChannelsPerFrame;
    const size_t bytes = size_t(stagedCount_) * 4 * channels;
    if (formatAnnounced_ && (rate != uint32_t(format_.mSampleRate) || channels != format_.mChannelsPerFrame)) {
        // Never play a frame at the wrong speed or channel count: it waits for its format.
        InterleaveStaged(handOut_.HoldForNewFormat(bytes), channels);
        nextRate_ = rate;
        nextChannels_ = channels;
        return;
    }
    if (!formatAnnounced_) AnnounceFormat(rate, channels);
    if (bytes <= remaining_) {
        InterleaveStaged(cursor_, channels);
        cursor_ += bytes;
        remaining_ -= bytes;
    } else {
        InterleaveStaged(handOut_.HoldPending(bytes), channels);
    }
}

void VLBDecoder::InterleaveStaged(uint8_t* out, uint32_t channels) const {
    for (unsigned i = 0; i < stagedCount_; ++i)
        for (uint32_t c = 0; c < channels; ++c) {
            const float v = staged_[c < 2 ? c : 1][i] / 32767.0f;
            std::memcpy(out + (size_t(i) * channels + c) * 4, &v, 4);
        }
}

unsigned VLBDecoder::ReadData(void* buffer, unsigned size, unsigned count) {
    const unsigned wanted = size * count;
    if (wanted == 0) return 0;
    for (;;) {
        const int got = source_->Read(buffer, wanted);
        if (got > 0) return unsigned(got);
        if (got < 0) return 0;  // the library's end of input
        // 0 is "nothing yet" (a network stall): keep asking, since 0 means the end to the
        // library. The reader's time-outs and the stop request still end the wait.
    }
}

void VLBDecoder::AnnounceFormat(uint32_t sampleRate, uint32_t channels) {
    format_.mSampleRate = sampleRate;
    format_.mChannelsPerFrame = channels;
    format_.mFormatFlags = kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked;
    format_.mBitsPerChannel = 32;
    format_.mBytesPerFrame = channels * 4;
    format_.mBytesPerPacket = format_.mBytesPerFrame;
    format_.mFramesPerPacket = 1;
    formatAnnounced_ = true;
    if (!output_ || output_->SetInputFormat(format_) != 0) throw player_exception(EngineError::kFormatRefused);
}

int VLBDecoder::OutputSamples(float** channels, unsigned count) {
    // The library always hands two channel pointers (the second repeats a mono channel).
    if (count > kMaxFrameSamples) count = kMaxFrameSamples;
    std::memcpy(staged_[0], channels[0], count * sizeof(float));
    std::memcpy(staged_[1], channels[1] ? channels[1] : channels[0], count * sizeof(float));
    stagedCount_ = count;
    return 0;
}

}  // namespace Amp
