#pragma once

#include <cstdint>

// The MPEG audio decoder library (MPEG-1, MPEG-2 and MPEG-2.5, Layers I, II and III)
// behind an opaque handle. The caller pushes compressed bytes in, pulls interleaved
// signed 16-bit PCM (machine byte order) out one frame at a time, and reads the stream's
// parameters once the first frame has been decoded. Nothing is allocated after creation;
// no locks; one handle is used by one thread at a time.
//
// Statuses are 32-bit words whose top two bits give the class: 00 success,
// 01 information (a frame was consumed all the same), 10 warning (nothing consumed;
// feed more input and call again), 11 error. See codecs/mp3/MpegStatus.h.

namespace mp3 {
class CMpegDecoder;
}

// The handle: the tag "sir\0" and the owned decoder.
struct MpegDecoderHandle {
    char tag[4];
    mp3::CMpegDecoder* decoder;
};

// Thirteen 32-bit words, zero after creation, rewritten after every decode that found a frame.
struct MpegDecoderInfo {
    int32_t layer;    // 1, 2 or 3
    int32_t version;  // 0 MPEG-1, 1 MPEG-2, 2 MPEG-2.5
    int32_t bitRate;  // bits per second of the frame
    int32_t bitRateIndex;
    int32_t channels;              // 1 for single-channel mode, else 2
    int32_t sampleRate;            // Hz
    int32_t outputChannels;        // 1 with the mono option, else channels
    int32_t outputSampleRate;      // sampleRate >> downsampling shift
    int32_t bitsPerSample;         // 8 with the eight-bit option, else 16
    int32_t frameBits;             // whole frame, header included
    float frameDuration;           // milliseconds
    int32_t frameSideInfoBad;      // 1 when this call returned 0x41010001
    int32_t frameMainDataMissing;  // 1 when this call returned 0x41010002
};
static_assert(sizeof(MpegDecoderInfo) == 13 * 4);

// downsampleShift 0, 1 or 2 decodes at the stream's rate, half or a quarter of it (a larger
// shift is taken as 2); eightBit non-zero writes one unsigned byte per sample (the 16-bit
// value's high byte + 128); mono non-zero folds two channels into one.
// 0, 0xC0000001 (null out-pointer), 0xC0000002 (out of memory; *handle = null).
[[nodiscard]] uint32_t MpegDecoderCreate(MpegDecoderHandle** handle, unsigned downsampleShift, unsigned eightBit,
                                         unsigned mono);

// Deletes the decoder and the handle. 0 or 0xC0000003.
uint32_t MpegDecoderDestroy(MpegDecoderHandle* handle);

// Copies as many bytes as the 16384-byte input ring has room for (at most length) and
// reports the count; bytes not consumed are the caller's to offer again.
[[nodiscard]] uint32_t MpegDecoderFeed(MpegDecoderHandle* handle, const uint8_t* data, int length, int* consumed);

// The free bytes of the input ring.
[[nodiscard]] uint32_t MpegDecoderGetInputSpace(MpegDecoderHandle* handle, int* space);

// Marks the input as ended; the frames still held are decoded, then 0x81010004 for good.
[[nodiscard]] uint32_t MpegDecoderSetEndOfInput(MpegDecoderHandle* handle);

// Finds and decodes at most one frame into output. On 0, 0x41010001 and 0x41010002 one
// frame was consumed and *produced (may be null) holds the bytes written; on any other
// status nothing was consumed or written (0xC1010003: size is below the frame's output;
// the next call with a large enough buffer decodes the same frame; 4608 bytes always do).
[[nodiscard]] uint32_t MpegDecoderDecode(MpegDecoderHandle* handle, uint8_t* output, int size, int* produced);

// The decoder's own information record, valid until MpegDecoderDestroy; null for a bad handle.
const MpegDecoderInfo* MpegDecoderGetInfo(MpegDecoderHandle* handle);
