#include "engine/CAMP3Decoder.h"

#include <cstring>

#include "engine/AudioOut.h"
#include "engine/player_exception.h"

namespace Amp {

namespace {
constexpr uint32_t kOk = 0;
constexpr uint32_t kMainDataMissing = 0x41010002;
constexpr uint32_t kSideInfoBad = 0x41010001;
constexpr uint32_t kEndOfStream = 0x81010004;
constexpr uint32_t kOutputTooSmall = 0xC1010003;
}  // namespace

// A failed create leaves the handle null, which every later call reports as an error.
CAMP3Decoder::CAMP3Decoder() { (void)MpegDecoderCreate(&handle_, 0, 0, 0); }

CAMP3Decoder::~CAMP3Decoder() {
    if (handle_) MpegDecoderDestroy(handle_);
}

int CAMP3Decoder::Read(void* buffer, unsigned length) {
    auto* cursor = static_cast<uint8_t*>(buffer);
    unsigned remaining = length;
    while (remaining >= 1) {
        if (overflow_) {
            const size_t n = TakePending(*overflow_, cursor, remaining);
            cursor += n;
            remaining -= unsigned(n);
            if (remaining == 0) break;
        }
        int produced = 0;
        uint32_t status = MpegDecoderDecode(handle_, cursor, int(remaining), &produced);
        if (status == kMainDataMissing) status = kOk;
        if (status == kOk) {
            frameDecoded_ = true;
            cursor += produced;
            remaining -= unsigned(produced);
            if (remaining == 0) break;
            // The source waits for the network when it has nothing: the frames already
            // held are decoded first, or each one would wait for the next packet and the
            // held input would grow to a second of sound that no buffer level counts.
            continue;
        }
        if (status == kEndOfStream) {
            // PCM placed earlier in this call is handed out first; the end comes next time.
            if (remaining == length) return -1;
            break;
        }
        if (status == kOutputTooSmall) {
            if (DecodeToBuffer() != kOk) break;
            continue;
        }
        // A frame whose side information failed its check was consumed all the same.
        if (status == kSideInfoBad) continue;
        if (FeedInput() != kOk) break;
    }
    if (frameDecoded_ && !formatAnnounced_) AnnounceFormat();
    return int(length - remaining);
}

uint32_t CAMP3Decoder::FeedInput() {
    // After its end the source is not asked again: a reader throws on a read past the end,
    // which would turn every finished stream into an error.
    if (inputEnded_) return kOk;
    int space = 0;
    const uint32_t status = MpegDecoderGetInputSpace(handle_, &space);
    if (status != kOk) return status;
    if (space < 1) return kOk;
    uint8_t input[kMaxFeedBytes];
    const unsigned wanted = unsigned(space) < kMaxFeedBytes ? unsigned(space) : kMaxFeedBytes;
    const int got = source_->Read(input, wanted);
    if (got == -1 || got == -2) {
        inputEnded_ = true;
        (void)MpegDecoderSetEndOfInput(handle_);  // fails only for a bad handle
        return kOk;
    }
    if (got <= 0) return kOk;
    int consumed = 0;
    return MpegDecoderFeed(handle_, input, got, &consumed);
}

uint32_t CAMP3Decoder::DecodeToBuffer() {
    if (!overflow_) {
        const MpegDecoderInfo* info = MpegDecoderGetInfo(handle_);
        const unsigned channels = info && info->channels > 0 ? unsigned(info->channels) : 2;
        overflow_ = std::make_unique<GrowableBuffer>(kOverflowBytesPerChannel * channels);
    }
    // A frame never needs more than one stereo frame of room.
    constexpr size_t kLargestFrame = 2 * kOverflowBytesPerChannel;
    uint8_t* space = overflow_->AppendSpace(kLargestFrame);
    int produced = 0;
    uint32_t status = MpegDecoderDecode(handle_, space, int(kLargestFrame), &produced);
    if (status == kMainDataMissing) status = kOk;
    if (status == kOk) {
        frameDecoded_ = true;
        overflow_->Commit(size_t(produced));
    }
    return status;
}

void CAMP3Decoder::AnnounceFormat() {
    const MpegDecoderInfo* info = MpegDecoderGetInfo(handle_);
    if (!info || !output_) return;
    AudioStreamBasicDescription format{};
    format.mSampleRate = info->sampleRate;
    format.mFormatID = kAudioFormatLinearPCM;
    format.mFormatFlags = kAudioFormatFlagIsSignedInteger;
    format.mBitsPerChannel = uint32_t(info->bitsPerSample);
    format.mChannelsPerFrame = uint32_t(info->channels);
    format.mBytesPerFrame = uint32_t(info->bitsPerSample / 8 * info->channels);
    format.mBytesPerPacket = format.mBytesPerFrame;
    format.mFramesPerPacket = 1;
    formatAnnounced_ = true;
    if (output_->SetInputFormat(format) != 0) throw player_exception(EngineError::kFormatRefused);
}

}  // namespace Amp
