#include "engine/aacPlusAdapter.h"

#include <cstdio>
#include <cstring>

#include "engine/AudioOut.h"
#include "engine/player_exception.h"

namespace Amp {

namespace {
constexpr int kFloatOutput = 1;
// After the end of the input, "more input" can no longer be answered: a decoder that keeps
// asking has nothing left.
constexpr int kMaxIdleDecodesAfterEnd = 4;
}  // namespace

aacPlusDecoder::aacPlusDecoder() {
    if (aacPlusDecoderOpen(&handle_, kFloatOutput, kOpenChannels) != 0 || !handle_)
        throw player_exception(EngineError::kAacPlusOpenFailed);
    if (aacPlusConfig* config = aacPlusDecoderGetConfig(handle_)) {
        config->limiterOn = 1;
        config->implicitSbr = 1;
        (void)aacPlusDecoderSetConfig(handle_);  // fails only for a bad handle
    }
}

aacPlusDecoder::~aacPlusDecoder() { aacPlusDecoderClose(&handle_); }

void aacPlusDecoder::FeedInput() {
    bool endedNow = false;
    // The source waits for the network when it has nothing: asked only once the decoder
    // has used what it holds, so the frames already here are never held back by that wait.
    if (!inputEnded_ && input_.Length() == 0 && needInput_) {
        const int got = source_->Read(input_.AppendSpace(kInputBytes), kInputBytes);
        if (got == -1 || got == -2) {
            inputEnded_ = endedNow = true;
        } else if (got > 0) {
            input_.Commit(size_t(got));
        }
    }
    size_t held = input_.Length();
    int status = 0;
    // An empty feed tells the decoder that the stream has ended: a read that found nothing
    // yet (a slow server, a busy machine) must not end the station.
    if (held > 0) {
        const uint8_t* data = input_.Peek(held);
        aacPlusInputDesc desc{uint32_t(held), 0, 0};
        status = aacPlusStreamFeed(handle_, data, &desc);
        input_.Consume(desc.consumed);
        if (status != 0) std::printf("aacPlusStreamFeed returned %X\n", unsigned(status));
    }
    if (endedNow) {
        aacPlusInputDesc end{0, 0, 0};
        static const uint8_t kNothing = 0;
        status = aacPlusStreamFeed(handle_, &kNothing, &end);
        if (status != 0) std::printf("aacPlusStreamFeed returned %X at end of stream\n", unsigned(status));
    }
}

bool aacPlusDecoder::AnnounceFormat() {
    const aacPlusStreamInfo* info = aacPlusDecoderGetStreamInfo(handle_);
    if (!info || !output_) return false;
    const aacPlusProgramInfo& program = info->programs[info->currentProgram];
    const double rate = program.sampleRate;
    const uint32_t channels = uint32_t(program.outputChannels);
    if (formatAnnounced_ && rate == announcedRate_ && channels == announcedChannels_) return false;
    AudioStreamBasicDescription format{};
    format.mSampleRate = rate;
    format.mFormatID = kAudioFormatLinearPCM;
    format.mFormatFlags = kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked;
    format.mBitsPerChannel = 32;
    format.mChannelsPerFrame = channels;
    format.mBytesPerFrame = channels * 4;
    format.mBytesPerPacket = format.mBytesPerFrame;
    format.mFramesPerPacket = 1;
    formatAnnounced_ = true;
    announcedRate_ = rate;
    announcedChannels_ = channels;
    if (output_->SetInputFormat(format) != 0) throw player_exception(EngineError::kFormatRefused);
    return true;
}

int aacPlusDecoder::Read(void* buffer, unsigned length) {
    auto* out = static_cast<uint8_t*>(buffer);
    bool finished = false;
    size_t placed = handOut_.TakeWaiting(
        out, length, [this] { AnnounceFormat(); }, finished);
    if (finished) return int(placed);
    if (streamEnded_) return placed > 0 ? int(placed) : -1;

    int idleAfterEnd = 0;
    while (placed < length && !streamEnded_) {
        FeedInput();
        const size_t before = placed;
        aacPlusOutputDesc desc{};
        int status;
        uint8_t* frame;
        GrowableBuffer* pending = handOut_.PendingBuffer();
        if (pending) {
            frame = pending->AppendSpace(overflowSize_);
            desc.capacity = overflowSize_;
            status = aacPlusStreamDecode(handle_, frame, &desc, nullptr, nullptr);
        } else {
            frame = out + placed;
            desc.capacity = uint32_t(length - placed);
            status = aacPlusStreamDecode(handle_, frame, &desc, nullptr, nullptr);
        }
        switch (status) {
        case kAacPlusOutputTooSmall:
            overflowSize_ = desc.capacity + desc.needed;
            handOut_.Pending(overflowSize_);
            continue;
        case kAacPlusNeedMoreInput:
            needInput_ = true;
            if (inputEnded_ && input_.Length() == 0 && ++idleAfterEnd >= kMaxIdleDecodesAfterEnd) streamEnded_ = true;
            continue;
        case kAacPlusEndOfStream: streamEnded_ = true; continue;
        case kAacPlusOk: break;
        default: throw player_exception(EngineError::kAacPlusDecodeFailed);
        }
        idleAfterEnd = 0;
        // A decode that gave nothing may be waiting for input it has not said it needs.
        needInput_ = desc.written == 0;
        // A frame in another format than the output knows is never played at the old one.
        const bool changed = formatAnnounced_ && desc.written > 0 && [&] {
            const aacPlusStreamInfo* info = aacPlusDecoderGetStreamInfo(handle_);
            const aacPlusProgramInfo& p = info->programs[info->currentProgram];
            return double(p.sampleRate) != announcedRate_ || uint32_t(p.outputChannels) != announcedChannels_;
        }();
        if (changed) {
            std::memcpy(handOut_.HoldForNewFormat(desc.written), frame, desc.written);
            if (before > 0) return int(before);
            return Read(buffer, length);
        }
        if (!formatAnnounced_) AnnounceFormat();
        if (pending && frame != out + placed) {
            pending->Commit(desc.written);
            placed += handOut_.TakePending(out + placed, length - placed);
        } else {
            placed += desc.written;
        }
    }
    return int(placed);
}

}  // namespace Amp
