// The plain types of the aacPlus interface: status codes, output formats, the configuration
// and the stream information records. Shared by the interface and the decoder's insides,
// which need the records but not the functions.
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

// aacPlusProgramInfo::profile: MPEG version (high byte) and profile; -1 for another object
// type, 0 while the MPEG version is unknown.
enum : int32_t {
    kAacPlusProfileMpeg2Main = 0x200,
    kAacPlusProfileMpeg2Lc = 0x201,
    kAacPlusProfileMpeg4Main = 0x401,
    kAacPlusProfileMpeg4Lc = 0x402,
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

// aacPlusStreamInfo::state.
enum : int32_t {
    kAacPlusStateNothingYet = 0,
    kAacPlusStateFirstFrame = 1,
    kAacPlusStateDecoding = 2,
    kAacPlusStateConcealing = 3,
    kAacPlusStateInputEnded = 4,
    kAacPlusStateEndOfStream = 5,
};

struct aacPlusStreamInfo {
    int32_t state;      // kAacPlusState...
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
