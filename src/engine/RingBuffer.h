#pragma once

#include <cstddef>
#include <cstdint>

// Source of the demultiplexer's input ring: bytes stored, 0 for none yet, negative at the end.
class BufferFiller {
public:
    virtual int Fill(void* buffer, unsigned length) = 0;

protected:
    ~BufferFiller() = default;
};

// Byte ring that refills itself from a BufferFiller. Single-threaded: it belongs to the
// stream thread.
class RingBuffer {
public:
    RingBuffer(BufferFiller* filler, size_t size);
    ~RingBuffer();
    RingBuffer(const RingBuffer&) = delete;
    RingBuffer& operator=(const RingBuffer&) = delete;

    void Refill(long wanted);
    size_t CopyOut(void* destination, size_t n);
    // Copies n bytes, refilling as needed; fewer only when the filler has reported its end.
    size_t Read(void* destination, size_t n);
    bool ReadByte(uint8_t& out);
    bool PeekAt(size_t offset, uint8_t& out);
    bool EnsureBytes(size_t n);

    size_t Stored() const;
    size_t Size() const { return size_; }

private:
    enum FillState { kPartial = 0, kFull = 1, kEmpty = 2 };

    // Fills [write, limit) with filler calls; returns false once the filler reports the end.
    bool FillRun(size_t limit, size_t& added, size_t wanted);

    BufferFiller* filler_;
    uint8_t* data_;
    size_t size_;
    size_t read_ = 0;
    size_t write_ = 0;
    FillState state_ = kEmpty;
    bool ended_ = false;
};
