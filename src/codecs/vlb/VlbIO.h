// The VLB library's caller-side interfaces: the byte source it pulls from, the sample sink
// it pushes to, and the per-call information record.
#pragma once

#include <cstdint>

// Filled by CVlbDecoderFront::Init and CVlbDecoderFront::DecodeFrame.
struct VlbFrameInfo {
    uint32_t sampleRate = 0;  // Hz; doubled while the spectral extension runs at double rate
    uint32_t channels = 0;    // 1 single channel element, 2 channel pair element, 0 neither
    uint32_t bitRate = 0;     // running average in bits per second, 0 until the second frame
    uint16_t streamType = 0;  // 0: ADTS
    uint32_t frameBytes = 0;  // frame length plus bytes skipped before its sync word
    uint16_t protectionAbsent = 0;
    uint16_t originalCopy = 0;
    uint16_t home = 0;
};

// Compressed input. Read returns the bytes stored; 0 means the input has ended for good.
class DataIOControl {
public:
    virtual unsigned Read(void* buffer, unsigned size, unsigned count) = 0;
    virtual int Reserved() = 0;
    virtual int IsEndOfFile() = 0;
    virtual int Open() = 0;  // 0 = success; called once by the front object's constructor
    virtual int Close() = 0;

protected:
    ~DataIOControl() = default;
};

// Decoded output. The library calls only Write: one pointer per channel to float samples on
// the 16-bit scale (within +-32767), valid only during the call.
class AudioIOControl {
public:
    AudioIOControl() = default;
    virtual ~AudioIOControl() = default;

    virtual AudioIOControl& Assign(const AudioIOControl& other) {
        count = other.count;
        buffer = other.buffer;
        flag = other.flag;
        tag = other.tag;
        return *this;
    }
    virtual int SetCount(uint32_t value) {
        count = value;
        return 0;
    }
    // The descriptor's first word is a count.
    virtual int SetBuffer(uint32_t* descriptor) {
        buffer = descriptor;
        count = descriptor ? descriptor[0] : 0;
        return 0;
    }
    virtual uint32_t* GetBuffer() { return buffer; }
    virtual int Reserved1() = 0;
    virtual int Reserved2() = 0;
    virtual int Write(float** channels, unsigned samplesPerChannel) = 0;
    virtual int Reserved3() = 0;
    virtual uint32_t GetTag() { return tag; }

    uint32_t count = 0;
    uint32_t* buffer = nullptr;
    uint8_t flag = 0;
    uint32_t tag = 0;
};
