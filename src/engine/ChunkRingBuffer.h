#pragma once

// A ring of fixed-size chunks between exactly one writer thread (the stream thread) and
// exactly one reader thread (the device's render thread). No lock is taken on either side.
//
// Ownership rules, which make the hand-over safe without a lock:
// - the writer owns the write chunk's write offset and the chunk's data until it publishes
//   the chunk (a full Commit or Seal); the reader owns the read offset;
// - the number of published chunks is one atomic counter: the writer increments it
//   (release) after publishing, the reader decrements it (release) after emptying a chunk,
//   and each side reads it (acquire) before touching a chunk the other side handed over.
//   Nothing is decided by "check the other side's pointer, then set mine", so a chunk can
//   be neither lost, duplicated nor reordered;
// - the stored-byte count is a second atomic counter, readable from any thread.
//
// A chunk reaches the reader only once it is published: when it is completely written, or
// earlier when the writer seals it (a format boundary, the end of the data). Each chunk
// carries the tag that was current when the writer began it; the reader reads it with the
// chunk.

#include <atomic>
#include <cstdint>

class ChunkRingBuffer {
public:
    // Makes `count` chunks of `chunkSize` bytes; throws std::bad_alloc when memory runs
    // out. A count of 0 is taken as 1.
    ChunkRingBuffer(unsigned count, unsigned chunkSize);
    ~ChunkRingBuffer();
    ChunkRingBuffer(const ChunkRingBuffer&) = delete;
    ChunkRingBuffer& operator=(const ChunkRingBuffer&) = delete;

    // Not thread-safe: only while neither side uses the ring.
    void Allocate(unsigned count);
    void Free();

    // Any thread: the bytes stored, the part-written write chunk included.
    unsigned BytesAvailable() const { return bytes_.load(std::memory_order_acquire); }
    // Any thread: the bytes the reader can read now (published, not yet consumed).
    unsigned BytesReadable() const { return readable_.load(std::memory_order_acquire); }

    unsigned Count() const { return count_; }
    unsigned ChunkSize() const { return chunkSize_; }

    // Writer side. GetWritePointer offers room in the write chunk (0 and a null pointer
    // when every chunk is published and not yet emptied); Commit makes n of those bytes
    // stored and publishes the chunk when it is full.
    unsigned GetWritePointer(void** p, unsigned n);
    void Commit(unsigned n);
    // Publishes the part-written write chunk now (nothing when it is empty).
    void Seal();
    // Bytes in the part-written write chunk.
    unsigned WriteChunkFill() const;
    // Tag given to every chunk the writer begins from now on.
    void SetWriteTag(const void* tag) { writeTag_ = tag; }

    // Reader side. GetReadPointer offers the rest of the oldest published chunk (0 and a
    // null pointer when none is published); Consume releases n of those bytes and returns
    // the chunk to the writer once it is used up.
    unsigned GetReadPointer(const void** p, unsigned n);
    void Consume(unsigned n);
    // The tag of the chunk GetReadPointer offers; null when nothing is offered.
    const void* ReadTag() const;

    struct Chunk {
        unsigned char* data = nullptr;
        unsigned size = 0;
        unsigned readOffset = 0;   // reader's
        unsigned writeOffset = 0;  // writer's
        unsigned length = 0;       // bytes published; written by the writer before publishing
        const void* tag = nullptr;
        Chunk* next = nullptr;
    };

private:
    void Publish();

    unsigned count_ = 0;
    unsigned chunkSize_ = 0;
    Chunk* first_ = nullptr;
    Chunk* read_ = nullptr;   // reader's cursor
    Chunk* write_ = nullptr;  // writer's cursor
    const void* writeTag_ = nullptr;
    std::atomic<unsigned> published_{0};
    std::atomic<unsigned> bytes_{0};
    std::atomic<unsigned> readable_{0};
};
