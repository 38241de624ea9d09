// The byte store between aacPlusStreamFeed and the decoder (8192 bytes), with the transport
// state of the stream. The handle's bit reader points into the store; appending compacts
// the store (drops consumed bytes) and rebinds the reader's indices, never its data pointer.
#pragma once

#include <cstdint>
#include <memory>

#include "codecs/aacplus/BitReader.h"
#include "codecs/aacplus/Crc.h"

namespace aacplus {

inline constexpr int32_t kInputBufferSize = 8192;

class decapl84 {
public:
    // Binds `reader` to the (empty) store. The reader must outlive this object.
    explicit decapl84(BitReader* reader);
    virtual ~decapl84();

    decapl84(const decapl84&) = delete;
    decapl84& operator=(const decapl84&) = delete;

    // Drops the bytes the reader has consumed, then copies as much of data[0..remaining) as
    // fits; `remaining` is reduced by the bytes taken. remaining 0 marks the end of input.
    void append(const uint8_t* data, uint32_t& remaining);

    BitReader& reader() { return *reader_; }
    const uint8_t* bytes() const { return store_; }
    int32_t held() const { return reader_->count; }

    // Transport state (see StreamConfig).
    int32_t rawBlocksLeft = 0;
    bool endOfInput = false;
    bool frameHasCrc = false;
    std::unique_ptr<Crc> crc;  // null when it could not be created
    bool adtsCrcAlways = false;
    uint16_t crcCheck = 0;
    int32_t transport = 0;
    // Absolute bit position where the current transport frame ends (ADTS, LOAS), -1 unknown.
    int64_t frameEnd = -1;
    // ADTS bit-rate estimate.
    float rateRing[16] = {};
    int32_t rateIndex = 0;
    int32_t rateFill = 0;
    int32_t previousFullness = -1;

private:
    BitReader* reader_;
    uint8_t store_[kInputBufferSize] = {};
};

}  // namespace aacplus
