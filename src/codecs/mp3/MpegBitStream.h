#pragma once

#include <cstdint>

#include "codecs/mp3/BitStream.h"
#include "codecs/mp3/MpegHeader.h"
#include "codecs/mp3/MpegStatus.h"

namespace mp3 {

// The frame finder on top of the input ring: locks onto a stream after four consistent
// headers, tells whether the frame at the read index is complete, and reports lost sync.
// The lock (sync word, version, layer, sampling index) holds for the stream's life. Once
// the input has ended, fewer consistent frames will do, so that a stream shorter than
// four frames, the tail after a late resynchronisation and the frames before a trailing
// tag are decoded rather than dropped.
//
// NextFrame() states:
//   kStatusOk             a complete frame starts at the read index; header() describes it
//                         and the bit counter is zero at its first bit
//   kStatusNeedSync       searching, needs more input
//   kStatusSyncLost       the header where the next frame should start does not match
//   kStatusFrameIncomplete a frame starts at the read index but is not all buffered yet
//   kStatusEndOfStream    input ended and no complete frame remains (sticky)
//
// A layer decoder that consumed a frame ends with FinishFrame(), which puts the read index
// at the frame's first bit plus its frame bits whatever the decoder read.
class CMpegBitStream : public CBitStream {
public:
    explicit CMpegBitStream(int wishedSize);

    // Empties the ring and starts a new sync search; the lock word stays.
    void Reset() override;

    uint32_t NextFrame();
    uint32_t State() const { return state_; }

    const CMpegHeader& Header() const { return header_; }
    uint32_t LockWord() const { return lockWord_; }

    // Moves the read index to the current frame's end: the bit counter must count from
    // the frame's first bit (as NextFrame left it).
    void FinishFrame();

private:
    uint32_t SyncSearch();
    uint32_t CheckNextHeader();
    // At end of input: whether the frames after the candidate agree with it.
    bool ShortChainAgrees() const;

    CMpegHeader header_;
    uint32_t lockWord_ = 0;
    uint32_t state_ = kStatusNeedSync;
};

}  // namespace mp3
