#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "engine/DecoderWrapper.h"

namespace Amp {

// The PCM a decoder adapter has decoded but not handed out yet: what did not fit the
// caller's buffer (pending, in the format the output knows), and a frame in a new format
// that waits until everything of the old format is out, so that no frame is ever played
// at the wrong rate or channel count. Buffers are made on first use.
class PcmHandOut {
public:
    // Copies pending PCM to out; returns the bytes copied.
    size_t TakePending(uint8_t* out, size_t room);
    bool HasPending() const { return pending_ && pending_->Length() > 0; }
    bool NewFormatWaiting() const { return newFormat_ && newFormat_->Length() > 0; }

    // The start of every read: pending PCM first. When a new format waits, `finished` is set
    // and the caller returns what this gave: the old format's last PCM, or, once that is all
    // out, the new format's frame after `announce` told the output the new format.
    template <typename Announce>
    size_t TakeWaiting(uint8_t* out, size_t room, Announce&& announce, bool& finished) {
        const size_t placed = TakePending(out, room);
        finished = NewFormatWaiting();
        if (!finished || placed > 0 || HasPending()) return placed;
        announce();
        return TakeNewFormat(out, room);
    }

    // Space for `bytes` of PCM after what is pending / what waits for the new format,
    // counted as written.
    uint8_t* HoldPending(size_t bytes) { return Hold(pending_, bytes); }
    uint8_t* HoldForNewFormat(size_t bytes) { return Hold(newFormat_, bytes); }

    // The pending buffer itself, for an adapter whose decoder writes into it (null until
    // first made; Pending makes it with at least `capacity` bytes of room at first).
    GrowableBuffer* PendingBuffer() { return pending_.get(); }
    GrowableBuffer& Pending(size_t capacity);

private:
    size_t TakeNewFormat(uint8_t* out, size_t room);
    static uint8_t* Hold(std::unique_ptr<GrowableBuffer>& buffer, size_t bytes);

    std::unique_ptr<GrowableBuffer> pending_;
    std::unique_ptr<GrowableBuffer> newFormat_;
};

}  // namespace Amp
