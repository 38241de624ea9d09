// Front object of the VLB decoder library: pulls bytes from the caller's DataIOControl,
// finds ADTS frames, decodes them and pushes samples to an AudioIOControl. Every library
// failure comes back as a status:
//   0 ok, -2 ok and the output rate or channel count changed since the last report in the
//   process, 1 no complete frame yet (DecodeFrame), 3 sync lost, 4 unsupported or corrupt,
//   5 end of input, 9 profile not supported, -1 CRC mismatch.
// Not thread safe; the library keeps process-wide state, so one front object decodes at a
// time.
#pragma once

#include <cstdint>
#include <memory>

#include "codecs/vlb/AacDecoder.h"
#include "codecs/vlb/AacException.h"
#include "codecs/vlb/AacStreamInfo.h"
#include "codecs/vlb/VlbBitStream.h"
#include "codecs/vlb/VlbIO.h"

class CVlbDecoderFront {
public:
    explicit CVlbDecoderFront(DataIOControl* input);  // throws CVlbBitStream::EDoesNotExist
    ~CVlbDecoderFront();
    CVlbDecoderFront(const CVlbDecoderFront&) = delete;
    CVlbDecoderFront& operator=(const CVlbDecoderFront&) = delete;

    [[nodiscard]] int32_t Init(VlbFrameInfo* info);
    [[nodiscard]] int32_t DecodeFrame(AudioIOControl* output, VlbFrameInfo* info);

    static int32_t StatusFromException(const CAacException& e);
    // The decoder core and stream state, for diagnostics.
    const CAacDecoder& Core() const { return *decoder_; }
    const AacStreamInfo& StreamInfo() const { return *streamInfo_; }

private:
    void StageAndFeed();
    bool FillInfo(VlbFrameInfo* info);  // true when the format changed
    void CheckNextSync();

    std::unique_ptr<CAacDecoder> decoder_;
    std::unique_ptr<CPlainFile> file_;
    std::unique_ptr<CBitBuffer> buffer_;
    std::unique_ptr<AacStreamInfo> streamInfo_;
    // The last rate and channel count reported; 0 before the first frame.
    uint32_t reportedRate_ = 0;
    uint32_t reportedChannels_ = 0;
    uint8_t staging_[2048];
    uint32_t bytesLeft_ = 0;
    uint32_t fillSize_ = 0;
};
