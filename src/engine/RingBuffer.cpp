#include "engine/RingBuffer.h"

#include <cstdlib>
#include <cstring>
#include <new>

RingBuffer::RingBuffer(BufferFiller* filler, size_t size)
    : filler_(filler), data_(static_cast<uint8_t*>(std::malloc(size))), size_(size) {
    if (!data_) throw std::bad_alloc();
}

RingBuffer::~RingBuffer() { std::free(data_); }

size_t RingBuffer::Stored() const {
    if (read_ == write_) return state_ == kFull ? size_ : 0;
    if (read_ < write_) return write_ - read_;
    return size_ - read_ + write_;
}

bool RingBuffer::FillRun(size_t limit, size_t& added, size_t wanted) {
    while (added < wanted && write_ < limit) {
        const int got = filler_->Fill(data_ + write_, unsigned(limit - write_));
        if (got < 0) {
            ended_ = true;
            return false;
        }
        // A filler result of 0 means "nothing yet": ask again.
        write_ += size_t(got);
        added += size_t(got);
        if (got > 0) state_ = kPartial;
    }
    return true;
}

void RingBuffer::Refill(long wanted) {
    if (wanted >= 0 && state_ != kFull) {
        const size_t want = wanted == 0 ? 1 : size_t(wanted);
        size_t added = 0;
        bool more = true;
        if (write_ >= read_ && !(write_ == read_ && state_ == kFull)) {
            more = FillRun(size_, added, want);
            if (write_ == size_) write_ = 0;
        }
        if (more && added < want && write_ < read_) FillRun(read_, added, want);
    }
    if (read_ == write_) {
        if (state_ != kEmpty) state_ = kFull;
    } else {
        state_ = kPartial;
    }
}

size_t RingBuffer::CopyOut(void* destination, size_t n) {
    if (state_ == kEmpty) return 0;
    auto* out = static_cast<uint8_t*>(destination);
    size_t copied = 0;
    while (copied < n && state_ != kEmpty) {
        const size_t runEnd = read_ < write_ ? write_ : size_;
        size_t run = runEnd - read_;
        if (run > n - copied) run = n - copied;
        std::memcpy(out + copied, data_ + read_, run);
        copied += run;
        read_ += run;
        if (read_ == size_) read_ = 0;
        state_ = read_ == write_ ? kEmpty : kPartial;
    }
    return copied;
}

size_t RingBuffer::Read(void* destination, size_t n) {
    auto* out = static_cast<uint8_t*>(destination);
    size_t copied = 0;
    while (copied < n) {
        copied += CopyOut(out + copied, n - copied);
        if (copied < n && state_ == kEmpty) {
            Refill(long(n - copied));
            // A filler that has ended would be asked forever: hand back what there is.
            if (ended_ && state_ == kEmpty) break;
        }
    }
    return copied;
}

bool RingBuffer::ReadByte(uint8_t& out) {
    if (state_ == kEmpty) Refill(1);
    return CopyOut(&out, 1) == 1;
}

bool RingBuffer::PeekAt(size_t offset, uint8_t& out) {
    if (offset >= size_) return false;
    const size_t stored = Stored();
    if (stored <= offset) {
        Refill(long(offset - stored + 1));
        if (Stored() <= offset) return false;
    }
    out = data_[(read_ + offset) % size_];
    return true;
}

bool RingBuffer::EnsureBytes(size_t n) {
    if (n > size_) return false;
    const size_t stored = Stored();
    if (stored < n) Refill(long(n - stored));
    return Stored() >= n;
}
