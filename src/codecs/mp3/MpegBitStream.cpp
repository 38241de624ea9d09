#include "codecs/mp3/MpegBitStream.h"

namespace mp3 {

CMpegBitStream::CMpegBitStream(int wishedSize) : CBitStream(wishedSize) { CMpegBitStream::Reset(); }

void CMpegBitStream::Reset() {
    CBitStream::Reset();
    header_ = CMpegHeader();
    state_ = kStatusNeedSync;
}

void CMpegBitStream::FinishFrame() {
    const int rest = header_.frameBits - BitCounter();
    if (rest >= 0) {
        SkipBits(rest);
    } else {
        UnreadBits(-rest);
    }
    ResetBitCounter();
}

uint32_t CMpegBitStream::SyncSearch() {
    const uint32_t lockMask = CMpegHeader::kLockMask;
    for (;;) {
        ResetBitCounter();
        if (ValidBits() < 32) {
            return kStatusNeedSync;
        }
        const uint32_t word = Peek32();
        if (header_.Decode(word) && (lockWord_ == 0 || (word & lockMask) == lockWord_)) {
            const int frameBits = header_.frameBits;
            if (ValidBits() - 32 < 3 * frameBits + 96) {
                // Not enough for four headers. At the end of input there never will be:
                // accept the candidate when the frames that are there agree with it, so a
                // stream of fewer than four frames, or the tail after a late resync, is
                // decoded rather than dropped.
                if (IsEndOfInput() && ShortChainAgrees()) {
                    lockWord_ = word & lockMask;
                    return kStatusOk;
                }
                return kStatusNeedSync;
            }
            bool consistent = true;
            int offset = 0;
            int length = frameBits;
            int matched = 0;
            for (int i = 0; i < 3 && consistent; ++i) {
                offset += length;
                const uint32_t next = Peek32At(offset);
                CMpegHeader scratch;
                consistent = (next & lockMask) == (word & lockMask) && scratch.Decode(next);
                length = scratch.frameBits;
                matched += consistent ? 1 : 0;
            }
            // At the end of input a stream may end in bytes that are no header (a tag):
            // the frames before them still count.
            if (consistent || (IsEndOfInput() && ShortChainAgrees())) {
                lockWord_ = word & lockMask;
                return kStatusOk;
            }
            // Frames that chain up to bytes near the end of what is buffered may be the
            // last of the stream: wait for more input or for its end before stepping over
            // them. More input ends the wait, since the bytes after the mismatch grow.
            if (!IsEndOfInput() && matched >= 1 && ValidBits() - offset < 3 * frameBits + 128) {
                return kStatusNeedSync;
            }
        }
        // Step on by one byte.
        SkipBits(8);
    }
}

// The candidate header is at the read index and the input has ended. Walks the frames
// that follow within the buffered bytes; agrees when the candidate's frame is complete
// and the chain either runs to the end of the data or, after at least one more matching
// frame (or with the stream already locked), meets bytes that are no header (a tag, say).
bool CMpegBitStream::ShortChainAgrees() const {
    const uint32_t lockMask = CMpegHeader::kLockMask;
    const int available = ValidBits();
    int position = header_.frameBits;
    if (position > available) {
        return false;
    }
    int frames = 1;
    while (frames < 4 && available - position >= 32) {
        const uint32_t next = Peek32At(position);
        CMpegHeader scratch;
        if ((next & lockMask) != (header_.word & lockMask) || !scratch.Decode(next)) {
            return frames >= 2 || lockWord_ != 0;
        }
        if (position + scratch.frameBits > available) {
            break;  // a cut last frame: it ends the stream
        }
        position += scratch.frameBits;
        ++frames;
    }
    return true;
}

uint32_t CMpegBitStream::CheckNextHeader() {
    ResetBitCounter();
    const uint32_t word = Peek32();
    if ((word & CMpegHeader::kLockMask) != lockWord_ || !header_.Decode(word)) {
        return kStatusSyncLost;
    }
    return ValidBits() >= header_.frameBits ? kStatusOk : kStatusFrameIncomplete;
}

uint32_t CMpegBitStream::NextFrame() {
    if (state_ == kStatusEndOfStream) {
        return state_;
    }
    if (ValidBits() >= 32) {
        if (state_ == kStatusNeedSync || state_ == kStatusSyncLost) {
            state_ = SyncSearch();
        } else {
            state_ = CheckNextHeader();
        }
    } else {
        state_ = (state_ == kStatusOk || state_ == kStatusFrameIncomplete) ? kStatusFrameIncomplete : kStatusNeedSync;
    }
    if (IsEndOfInput() && (state_ == kStatusNeedSync || state_ == kStatusFrameIncomplete)) {
        state_ = kStatusEndOfStream;
    }
    return state_;
}

}  // namespace mp3
