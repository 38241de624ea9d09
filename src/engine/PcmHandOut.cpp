#include "engine/PcmHandOut.h"

#include <cstring>

namespace Amp {

size_t PcmHandOut::TakePending(uint8_t* out, size_t room) {
    return pending_ ? Amp::TakePending(*pending_, out, room) : 0;
}

GrowableBuffer& PcmHandOut::Pending(size_t capacity) {
    if (!pending_) pending_ = std::make_unique<GrowableBuffer>(capacity);
    return *pending_;
}

size_t PcmHandOut::TakeNewFormat(uint8_t* out, size_t room) {
    size_t n = newFormat_->Length();
    const uint8_t* pcm = newFormat_->Peek(n);
    std::memcpy(HoldPending(n), pcm, n);
    newFormat_->Consume(n);
    return TakePending(out, room);
}

uint8_t* PcmHandOut::Hold(std::unique_ptr<GrowableBuffer>& buffer, size_t bytes) {
    if (!buffer) buffer = std::make_unique<GrowableBuffer>(bytes);
    uint8_t* at = buffer->AppendSpace(bytes);
    buffer->Commit(bytes);
    return at;
}

}  // namespace Amp
