#pragma once

#include <cstdint>

namespace mp3 {

// One decoded 32-bit frame header. All fields are zero until a valid header is decoded
// and are zeroed again by an invalid one.
class CMpegHeader {
public:
    CMpegHeader() = default;
    virtual ~CMpegHeader() = default;

    // Splits the word into the fields below; when the header is acceptable fills the
    // derived fields and sets valid. Free format (bit-rate index 0) is refused.
    bool Decode(uint32_t word);

    // 384 for Layer I, 1152 for Layer II and MPEG-1 Layer III, 576 for Layer III of
    // MPEG-2 and MPEG-2.5; 0 for an invalid header.
    int GetSamplesPerFrame() const;

    // Raw fields.
    int sync = 0;           // bits 31..21
    int id = 0;             // bit 20: 1 MPEG-1/2, 0 MPEG-2.5
    int versionBit = 0;     // bit 19: 1 MPEG-1
    int layer = 0;          // 1, 2, 3 (4 for the reserved value)
    int protectedFlag = 0;  // 1 when a 16-bit CRC follows the header
    int bitRateIndex = 0;
    int samplingIndex = 0;  // 0..2 within the version
    int padding = 0;
    int privateBit = 0;
    int mode = 0;  // 0 stereo, 1 joint stereo, 2 dual channel, 3 single channel
    int modeExtension = 0;
    int copyright = 0;
    int original = 0;
    int emphasis = 0;

    // Derived fields.
    int valid = 0;
    int version = 0;             // 0 MPEG-1, 1 MPEG-2, 2 MPEG-2.5
    int channels = 0;            // 1 for single channel, else 2
    int sampleRate = 0;          // Hz
    int bitRate = 0;             // bits per second
    int frameBits = 0;           // whole frame, header included
    float frameDuration = 0.0f;  // milliseconds

    uint32_t word = 0;  // the header word as read (kept for the lock check)

    // Index 0..8 into the nine-rate tables: 44100, 48000, 32000, 22050, 24000, 16000,
    // 11025, 12000, 8000 (version * 3 + samplingIndex).
    int RateTableIndex() const { return version * 3 + samplingIndex; }

    static constexpr uint32_t kLockMask = 0xFFFE0C00;

private:
    void Clear();
};

}  // namespace mp3
