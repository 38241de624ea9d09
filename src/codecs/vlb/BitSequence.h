#pragma once

#include <cstdint>

#include "codecs/vlb/VlbBitStream.h"

// One field of the bit-stream syntax: its width and the last value read or set.
class CBitSequence {
public:
    explicit CBitSequence(uint32_t width = 0) : width_(width) {}
    virtual ~CBitSequence() = default;
    uint32_t Read(CVlbBitStream& bs) { return value_ = bs.Get(width_); }
    void Set(uint32_t v) { value_ = v; }
    void Add(uint32_t v) { value_ += v; }
    void SetWidth(uint32_t w) { width_ = w; }
    uint32_t Value() const { return value_; }
    uint32_t Width() const { return width_; }
    operator uint32_t() const { return value_; }

private:
    uint32_t width_;
    uint32_t value_ = 0;
};
