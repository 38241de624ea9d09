// aacPlus decoder: MPEG-4 AAC (LC, Main) with SBR and parametric stereo, pushed bytes in,
// one frame of interleaved PCM out per decode call. The whole outside of the library.
//
// Contract:
//  - A handle is used by one thread at a time; the library takes no locks. Two handles must
//    not decode at the same time (SBR/PS keep process-wide tables).
//  - Every function checks the handle (null or not one of ours: 0x1101; the getters return
//    null; aacPlusDecoderClose does nothing).
//  - Feed offers bytes; it takes what fits into the 8192-byte input store and says how many
//    in desc.consumed; offer the rest again later. A feed of length 0 announces the end.
//  - Decode returns one frame: 0 with desc.written bytes of PCM, 0x1105 when it needs more
//    input, 0x1106 at the end of stream. A too-small PCM buffer gives 0x1104 with the
//    shortfall in desc.needed and leaves the frame in the input (see aacPlusStreamDecode).
#pragma once

#include <cstdint>

enum : int {
    kAacPlusOk = 0,
    kAacPlusDecodeFailed = 0x1100,
    kAacPlusInvalidHandle = 0x1101,
    kAacPlusOutOfMemory = 0x1102,
    kAacPlusInvalidConfig = 0x1103,
    kAacPlusOutputTooSmall = 0x1104,
    kAacPlusNeedMoreInput = 0x1105,
    kAacPlusEndOfStream = 0x1106,
    kAacPlusInvalidParameter = 0x1107,
};

enum : int {
    kAacPlusFormatInt16 = 0,
    kAacPlusFormatFloat = 1,
    kAacPlusFormatInt24 = 2,
};

struct aacPlusConfig {
    int32_t concealment;
    int32_t limiterOn;
    int32_t lowPowerSbr;
    int32_t implicitSbr;
    int32_t sbrDownsampleRate;
    int32_t adtsCrcAlways;
    int32_t pnsOff;
    int32_t reserved7;
    int32_t reserved8;
    int32_t maxChannels;
    int32_t lfeChannels;
    int32_t downmixMode;
    int32_t downmixVariant;
};

struct aacPlusProgramInfo {
    int32_t valid;
    int32_t sampleRate;
    int32_t frameSize;
    int32_t numChannels;
    int32_t outputChannels;
    int32_t sbrActive;
    int32_t coreSampleRate;
    int32_t programChannels;
    int32_t channelMode;
    int32_t frontChannels;
    int32_t sideChannels;
    int32_t backChannels;
    int32_t lfeChannels;
    int32_t profile;
};

struct aacPlusStreamInfo {
    int32_t state;      // 0 nothing yet, 1 first frame, 2 decoding, 3 concealing, 4 input ended, 5 end of stream
    int32_t transport;  // 0 auto, 1 raw, 2 ADIF, 3 ADTS, 4 LATM, 5 LOAS
    int32_t bitRate;
    int32_t numPrograms;
    int32_t currentProgram;
    aacPlusProgramInfo programs[16];
};

struct aacPlusInputDesc {
    uint32_t length;
    int32_t flags;
    uint32_t consumed;
};

struct aacPlusOutputDesc {
    uint32_t capacity;
    uint32_t written;
    uint32_t needed;
};

struct aacPlusAncillaryDesc {
    uint32_t capacity;
    uint32_t used;
    uint32_t lost;
    uint32_t count;
    uint32_t entries[16][3];  // element_instance_tag, offset, length
};

struct aacPlusDecoder;
using aacPlusHandle = aacPlusDecoder*;

// channels below 2 count as 2; above 8: 0x1103 and *handle null.
int aacPlusDecoderOpen(aacPlusHandle* handle, int outputFormat, int channels);
int aacPlusDecoderOpenWithConfig(aacPlusHandle* handle, int outputFormat, int concealment, int limiterOn,
                                 int lowPowerSbr, int implicitSbr, int sbrDownsampleRate, int adtsCrcAlways,
                                 int pnsOff, int reserved7, int reserved8, int maxChannels, int lfeChannels,
                                 int downmixMode, int downmixVariant);
// Edit in place, then call aacPlusDecoderSetConfig.
aacPlusConfig* aacPlusDecoderGetConfig(aacPlusHandle handle);
int aacPlusDecoderSetConfig(aacPlusHandle handle);
// A snapshot that changes only inside feed and decode calls. The transport field may be set
// before the first decode to force a transport.
aacPlusStreamInfo* aacPlusDecoderGetStreamInfo(aacPlusHandle handle);
int aacPlusStreamFeed(aacPlusHandle handle, const uint8_t* data, aacPlusInputDesc* desc);
// pcm holds samples of the output format (int16, float, or packed 24-bit); it may be null
// to decode without output. ancillary/ancillaryDesc receive data stream element bytes.
int aacPlusStreamDecode(aacPlusHandle handle, void* pcm, aacPlusOutputDesc* desc, uint8_t* ancillary,
                        aacPlusAncillaryDesc* ancillaryDesc);
void aacPlusDecoderClose(aacPlusHandle* handle);
