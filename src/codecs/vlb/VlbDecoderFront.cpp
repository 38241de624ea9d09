#include "codecs/vlb/VlbDecoderFront.h"

CVlbDecoderFront::CVlbDecoderFront(DataIOControl* input) {
    streamInfo_ = std::make_unique<AacStreamInfo>();
    file_ = std::make_unique<CPlainFile>(input);
    buffer_ = std::make_unique<CBitBuffer>();
    decoder_ = std::make_unique<CAacDecoder>(*buffer_);
}

CVlbDecoderFront::~CVlbDecoderFront() {
    decoder_.reset();
    file_.reset();
    buffer_.reset();
    streamInfo_.reset();
}

int32_t CVlbDecoderFront::StatusFromException(const CAacException& e) {
    static const struct {
        uint32_t code;
        int32_t status;
    } kMap[] = {{4097, 4}, {4099, 1}, {4100, 5}, {4101, 3}, {4102, -1}, {4103, 3}, {4104, 4}, {4108, 9}};
    for (const auto& entry : kMap)
        if (entry.code == e.Code()) return entry.status;
    return 4;
}

void CVlbDecoderFront::StageAndFeed() {
    if (bytesLeft_ == 0 && !buffer_->EndOfInput()) {
        unsigned got = file_->ReadBlock(staging_, sizeof staging_);
        if (got > sizeof staging_) got = sizeof staging_;  // never trust the caller's count
        if (got == 0) {
            buffer_->SetEndOfInput();
        } else {
            bytesLeft_ = got;
            fillSize_ = got;
        }
    }
    buffer_->Feed(staging_, fillSize_, bytesLeft_);
}

void CVlbDecoderFront::CheckNextSync() {
    if (buffer_->EndOfInput()) return;
    // The header reader waits for these two bytes unless the ring is full; then nothing
    // follows in the ring yet and there is nothing to check.
    if (buffer_->BitsAvailable() < 16) return;
    unsigned word = buffer_->Get(16);
    buffer_->PushBack(16);
    if ((word & 0xFFFE) != 0xFFF8 && word != 0x5249) throw ESyncError();
}

bool CVlbDecoderFront::FillInfo(VlbFrameInfo* info) {
    const bool active = decoder_->ExtensionFound() && decoder_->Extension().doubleRate == 1;
    streamInfo_->extensionActive = active;
    const uint32_t rate = active ? streamInfo_->samplingRate * 2 : streamInfo_->samplingRate;
    const uint32_t channels = streamInfo_->channels;
    if (info != nullptr) {
        info->sampleRate = rate;
        info->channels = channels;
        info->bitRate = streamInfo_->averageBitRate;
        info->streamType = 0;
        info->frameBytes = streamInfo_->frameLength + buffer_->Skipped();
        info->protectionAbsent = static_cast<uint16_t>(streamInfo_->protectionAbsent);
        info->originalCopy = static_cast<uint16_t>(streamInfo_->originalCopy);
        info->home = static_cast<uint16_t>(streamInfo_->home);
    }
    bool changed = false;
    if (reportedRate_ != 0 && reportedChannels_ != 0 && (rate != reportedRate_ || channels != reportedChannels_)) {
        changed = true;
        if (channels != reportedChannels_) decoder_->ReleaseLock();
    }
    reportedRate_ = rate;
    reportedChannels_ = channels;
    return changed;
}

int32_t CVlbDecoderFront::Init(VlbFrameInfo* info) {
    buffer_->ResetSkipped();
    int32_t status = 3;
    for (int attempt = 0; attempt < 5; ++attempt) {
        try {
            buffer_->ResetRawBlocks();
            StageAndFeed();
            if (!buffer_->ReadAdtsHeader(*streamInfo_)) throw ESyncError();
            const int32_t before = buffer_->BitsAvailable();
            decoder_->DecodeFrame(nullptr, *streamInfo_);
            buffer_->PushBack(static_cast<unsigned>(before - buffer_->BitsAvailable()));
            if (streamInfo_->protectionAbsent == 0) buffer_->CheckCrc();
            bool changed = FillInfo(info);
            if (info != nullptr) info->frameBytes = buffer_->Skipped();
            buffer_->ResetSkipped();
            return changed ? -2 : 0;
        } catch (const CAacException& e) {
            buffer_->ClearHeaderRead();
            buffer_->DiscardOverrun();
            status = StatusFromException(e);
            if (status == 5) return status;
        }
    }
    return status;
}

int32_t CVlbDecoderFront::DecodeFrame(AudioIOControl* output, VlbFrameInfo* info) {
    buffer_->ResetSkipped();
    bool framed = false;
    int32_t before = 0;
    try {
        StageAndFeed();
        if (!buffer_->ReadAdtsHeader(*streamInfo_)) return 1;
        framed = true;
        before = buffer_->BitsAvailable();
        decoder_->DecodeFrame(nullptr, *streamInfo_);
        CheckNextSync();
        buffer_->PushBack(static_cast<unsigned>(before - buffer_->BitsAvailable()));
        if (streamInfo_->protectionAbsent == 0) buffer_->CheckCrc();
        decoder_->DecodeFrame(output, *streamInfo_);
        const bool changed = FillInfo(info);
        // An element the lock refused while the channel count stayed (a new element tag)
        // would otherwise be silent for the rest of the stream: let the next frame relock.
        if (!changed && decoder_->LockRefused()) decoder_->ReleaseLock();
        return changed ? -2 : 0;
    } catch (const CAacException& e) {
        buffer_->ClearHeaderRead();
        // A corrupt frame may have been read past its end, into the next frame's header:
        // search again from its declared end so that the next frame is not lost.
        if (framed) {
            const int32_t rawBits =
                (static_cast<int32_t>(streamInfo_->frameLength) - (streamInfo_->protectionAbsent ? 7 : 9)) * 8;
            const int32_t consumed = before - buffer_->BitsAvailable();
            if (consumed > rawBits && rawBits >= 0) buffer_->PushBack(static_cast<unsigned>(consumed - rawBits));
        }
        buffer_->DiscardOverrun();
        if (info != nullptr) info->frameBytes = 0;
        return StatusFromException(e);
    } catch (...) {
        if (info != nullptr) info->frameBytes = 0;
        throw;
    }
}
