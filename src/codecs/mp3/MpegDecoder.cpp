#include "codecs/mp3/MpegDecoder.h"

#include <cstring>
#include <new>

#include "codecs/mp3/Layer12Decoder.h"
#include "codecs/mp3/Layer3.h"
#include "codecs/mp3/MpegBitStream.h"
#include "codecs/mp3/MpegStatus.h"

namespace mp3 {

namespace {
constexpr char kTag[4] = {'s', 'i', 'r', '\0'};
constexpr int kInputRingBytes = 16384;
}  // namespace

// The decoder behind a handle. The information record comes first, so that
// MpegDecoderGetInfo hands out the decoder's own storage.
class CMpegDecoder {
public:
    CMpegDecoder(unsigned downsampleShift, unsigned eightBit, unsigned mono)
        : input_(kInputRingBytes),
          layer3_(&input_, downsampleShift, eightBit ? 1 : 0, mono ? 1 : 0),
          layer12_(&input_, downsampleShift, eightBit ? 1 : 0, mono ? 1 : 0),
          downsampleShift_(downsampleShift > 2 ? 2 : downsampleShift),
          eightBit_(eightBit ? 1 : 0),
          mono_(mono ? 1 : 0) {
        std::memset(&info_, 0, sizeof(info_));
    }

    MpegDecoderInfo info_;
    CMpegBitStream input_;
    CLayer3Decoder layer3_;
    CLayer12Decoder layer12_;
    unsigned downsampleShift_;
    int eightBit_;
    int mono_;
    int lockedLayer_ = -1;

    uint32_t Decode(uint8_t* output, int size, int* produced);

private:
    void UpdateInfo(const CMpegHeader& header, uint32_t status);
};

uint32_t CMpegDecoder::Decode(uint8_t* output, int size, int* produced) {
    const uint32_t state = input_.NextFrame();
    if (state == kStatusSyncLost) {
        layer3_.Reset(false);
        layer12_.Reset(false);
        return state;
    }
    if (state != kStatusOk) {
        return state;
    }
    const CMpegHeader header = input_.Header();
    if (lockedLayer_ == -1) {
        lockedLayer_ = header.layer;
    }
    if (header.layer != lockedLayer_) {
        return kStatusWrongLayer;
    }
    const uint32_t status =
        header.layer == 3 ? layer3_.Decode(output, size, produced) : layer12_.Decode(output, size, produced);
    if (status != kStatusWrongLayer) {
        UpdateInfo(header, status);
    }
    return status;
}

void CMpegDecoder::UpdateInfo(const CMpegHeader& header, uint32_t status) {
    info_.layer = header.layer;
    info_.version = header.version;
    info_.bitRate = header.bitRate;
    info_.bitRateIndex = header.bitRateIndex;
    info_.channels = header.channels;
    info_.sampleRate = header.sampleRate;
    info_.outputChannels = mono_ ? 1 : header.channels;
    info_.outputSampleRate = header.sampleRate >> downsampleShift_;
    info_.bitsPerSample = eightBit_ ? 8 : 16;
    info_.frameBits = header.frameBits;
    info_.frameDuration = header.frameDuration;
    info_.frameSideInfoBad = status == kStatusSideInfoBad ? 1 : 0;
    info_.frameMainDataMissing = status == kStatusMainDataMissing ? 1 : 0;
}

}  // namespace mp3

namespace {

mp3::CMpegDecoder* Check(MpegDecoderHandle* handle) {
    if (handle == nullptr || std::memcmp(handle->tag, mp3::kTag, 4) != 0) {
        return nullptr;
    }
    return handle->decoder;
}

}  // namespace

uint32_t MpegDecoderCreate(MpegDecoderHandle** handle, unsigned downsampleShift, unsigned eightBit, unsigned mono) {
    if (handle == nullptr) {
        return mp3::kStatusNullPointer;
    }
    *handle = nullptr;
    auto* block = new (std::nothrow) MpegDecoderHandle;
    if (block == nullptr) {
        return mp3::kStatusOutOfMemory;
    }
    mp3::CMpegDecoder* decoder = nullptr;
    try {
        decoder = new mp3::CMpegDecoder(downsampleShift, eightBit, mono);
    } catch (const std::bad_alloc&) {
        delete block;
        return mp3::kStatusOutOfMemory;
    }
    std::memcpy(block->tag, mp3::kTag, 4);
    block->decoder = decoder;
    *handle = block;
    return mp3::kStatusOk;
}

uint32_t MpegDecoderDestroy(MpegDecoderHandle* handle) {
    mp3::CMpegDecoder* decoder = Check(handle);
    if (decoder == nullptr) {
        return mp3::kStatusBadHandle;
    }
    delete decoder;
    std::memset(handle->tag, 0, 4);
    handle->decoder = nullptr;
    delete handle;
    return mp3::kStatusOk;
}

uint32_t MpegDecoderFeed(MpegDecoderHandle* handle, const uint8_t* data, int length, int* consumed) {
    mp3::CMpegDecoder* decoder = Check(handle);
    if (decoder == nullptr) {
        return mp3::kStatusBadHandle;
    }
    if (consumed == nullptr) {
        return mp3::kStatusNullPointer;
    }
    *consumed = (data != nullptr && length > 0) ? decoder->input_.Feed(data, length) : 0;
    return mp3::kStatusOk;
}

uint32_t MpegDecoderGetInputSpace(MpegDecoderHandle* handle, int* space) {
    mp3::CMpegDecoder* decoder = Check(handle);
    if (decoder == nullptr) {
        return mp3::kStatusBadHandle;
    }
    if (space == nullptr) {
        return mp3::kStatusNullPointer;
    }
    *space = decoder->input_.GetFreeBytes();
    return mp3::kStatusOk;
}

uint32_t MpegDecoderSetEndOfInput(MpegDecoderHandle* handle) {
    mp3::CMpegDecoder* decoder = Check(handle);
    if (decoder == nullptr) {
        return mp3::kStatusBadHandle;
    }
    decoder->input_.SetEndOfInput();
    return mp3::kStatusOk;
}

uint32_t MpegDecoderDecode(MpegDecoderHandle* handle, uint8_t* output, int size, int* produced) {
    mp3::CMpegDecoder* decoder = Check(handle);
    if (decoder == nullptr) {
        return mp3::kStatusBadHandle;
    }
    if (produced != nullptr) {
        *produced = 0;
    }
    return decoder->Decode(output, size, produced);
}

const MpegDecoderInfo* MpegDecoderGetInfo(MpegDecoderHandle* handle) {
    mp3::CMpegDecoder* decoder = Check(handle);
    return decoder != nullptr ? &decoder->info_ : nullptr;
}
