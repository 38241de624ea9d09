#include "engine/ChunkRingBuffer.h"

#include <algorithm>
#include <cstdlib>
#include <new>

ChunkRingBuffer::ChunkRingBuffer(unsigned count, unsigned chunkSize) : chunkSize_(chunkSize ? chunkSize : 1) {
    Allocate(count);
}

ChunkRingBuffer::~ChunkRingBuffer() { Free(); }

void ChunkRingBuffer::Allocate(unsigned count) {
    Free();
    if (count == 0) count = 1;
    Chunk* last = nullptr;
    try {
        for (unsigned i = 0; i < count; ++i) {
            Chunk* c = new Chunk;
            c->size = chunkSize_;
            if (last)
                last->next = c;
            else
                first_ = c;
            last = c;
            ++count_;
            c->data = static_cast<unsigned char*>(std::malloc(chunkSize_));
            if (!c->data) throw std::bad_alloc();
        }
    } catch (...) {
        if (last) last->next = first_;
        Free();
        throw;
    }
    last->next = first_;
    read_ = write_ = first_;
    published_.store(0, std::memory_order_relaxed);
    readable_.store(0, std::memory_order_relaxed);
    bytes_.store(0, std::memory_order_release);
}

void ChunkRingBuffer::Free() {
    Chunk* c = first_;
    for (unsigned i = 0; i < count_ && c; ++i) {
        Chunk* next = c->next;
        std::free(c->data);
        delete c;
        c = next;
    }
    first_ = read_ = write_ = nullptr;
    count_ = 0;
    published_.store(0, std::memory_order_relaxed);
    readable_.store(0, std::memory_order_relaxed);
    bytes_.store(0, std::memory_order_relaxed);
}

unsigned ChunkRingBuffer::GetWritePointer(void** p, unsigned n) {
    // When every chunk is published, the write cursor sits on the reader's chunk.
    if (!write_ || published_.load(std::memory_order_acquire) >= count_) {
        *p = nullptr;
        return 0;
    }
    Chunk* c = write_;
    if (c->writeOffset == 0) c->tag = writeTag_;
    *p = c->data + c->writeOffset;
    return std::min(n, c->size - c->writeOffset);
}

void ChunkRingBuffer::Commit(unsigned n) {
    if (!write_ || n == 0 || published_.load(std::memory_order_acquire) >= count_) return;
    Chunk* c = write_;
    if (c->writeOffset == 0) c->tag = writeTag_;
    n = std::min(n, c->size - c->writeOffset);
    c->writeOffset += n;
    bytes_.fetch_add(n, std::memory_order_acq_rel);
    if (c->writeOffset == c->size) Publish();
}

void ChunkRingBuffer::Seal() {
    if (!write_ || write_->writeOffset == 0 || published_.load(std::memory_order_acquire) >= count_) return;
    Publish();
}

unsigned ChunkRingBuffer::WriteChunkFill() const {
    if (!write_ || published_.load(std::memory_order_acquire) >= count_) return 0;
    return write_->writeOffset;
}

void ChunkRingBuffer::Publish() {
    Chunk* c = write_;
    c->length = c->writeOffset;
    write_ = c->next;
    // The next chunk may still be the reader's; its write offset is ours all the same, and
    // we touch its data only after the reader has released it (GetWritePointer).
    write_->writeOffset = 0;
    readable_.fetch_add(c->length, std::memory_order_acq_rel);
    published_.fetch_add(1, std::memory_order_acq_rel);
}

unsigned ChunkRingBuffer::GetReadPointer(const void** p, unsigned n) {
    if (!read_ || published_.load(std::memory_order_acquire) == 0) {
        *p = nullptr;
        return 0;
    }
    Chunk* c = read_;
    *p = c->data + c->readOffset;
    return std::min(n, c->length - c->readOffset);
}

void ChunkRingBuffer::Consume(unsigned n) {
    if (!read_ || n == 0 || published_.load(std::memory_order_acquire) == 0) return;
    Chunk* c = read_;
    n = std::min(n, c->length - c->readOffset);
    c->readOffset += n;
    readable_.fetch_sub(n, std::memory_order_acq_rel);
    bytes_.fetch_sub(n, std::memory_order_acq_rel);
    if (c->readOffset >= c->length) {
        c->readOffset = 0;
        read_ = c->next;
        published_.fetch_sub(1, std::memory_order_acq_rel);
    }
}

const void* ChunkRingBuffer::ReadTag() const {
    if (!read_ || published_.load(std::memory_order_acquire) == 0) return nullptr;
    return read_->tag;
}
