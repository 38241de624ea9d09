// SBR payload syntax: the element's header, each channel's frame data, and the readers of
// the header, the single-channel and channel-pair elements, the time/frequency grid, the
// Huffman-coded envelopes and noise floors and the extended data (parametric stereo).
// Values are stored as read (quantised); decoding them is SbrEnvelope's business.
#pragma once

#include <cstdint>

#include "codecs/aacplus/SbrBitReader.h"
#include "codecs/aactables/tables/AacTables.h"

namespace aacplus {

struct PsDecoder;

enum SbrFrameClass : int32_t { kFixFix = 0, kFixVar = 1, kVarFix = 2, kVarVar = 3 };

enum SbrExtensionMode : int32_t { kSbrModeNone = 0, kSbrModeMono = 1, kSbrModePair = 2, kSbrModePs = 3 };

inline constexpr int kSbrMaxEnvelopes = 5;
inline constexpr int kSbrMaxEnvValues = 240;
inline constexpr int kSbrMaxHighBands = 48;
inline constexpr int kSbrMaxNoiseBands = 5;
inline constexpr int kSbrTimeSlots = 16;

struct SbrHeader {
    int32_t tablesChanged = 0;
    int32_t reset = 0;
    int32_t errorFlag = 0;
    int32_t firstFrame = 1;
    int32_t extensionMode = kSbrModeNone;
    int32_t ampRes = 0;
    int32_t startFreq = 0;
    int32_t stopFreq = 0;
    int32_t xoverBand = 0;
    int32_t freqScale = 2;
    int32_t alterScale = 1;
    int32_t noiseBands = 2;
    int32_t nq = 0;  // written by the band tables
    int32_t limiterBands = 2;
    int32_t limiterGains = 2;
    int32_t interpolFreq = 1;
    int32_t smoothingMode = 1;
};

struct SbrFrameData {
    int32_t qmfBands = 64;
    int32_t numEnvValues = 0;
    int32_t frameClass = kFixFix;
    uint8_t numEnv = 1;
    uint8_t tE[kSbrMaxEnvelopes + 1] = {0, 16};
    uint8_t freqRes[kSbrMaxEnvelopes] = {};
    int32_t lA = -1;
    uint8_t numNoise = 1;
    uint8_t tQ[3] = {0, 16};
    int32_t nl = 0, nh = 0;
    int32_t nqValues = 0, nInvf = 0;  // both NQ
    int32_t nlTwiceMinusNh = 0;
    int32_t timeSlots = kSbrTimeSlots;
    uint8_t dfEnv[kSbrMaxEnvelopes] = {};
    uint8_t dfNoise[2] = {};
    int32_t prevLastBorder = kSbrTimeSlots;
    uint8_t invfMode[kSbrMaxNoiseBands] = {};
    uint8_t prevInvfMode[kSbrMaxNoiseBands] = {};
    int32_t coupling = 0;  // 0 none, 1 sum channel, 2 balance channel
    float env[kSbrMaxEnvValues] = {};
    float noise[2 * kSbrMaxNoiseBands] = {};
    uint8_t addHarmonic[kSbrMaxHighBands] = {};
    int32_t ampRes = 0;
    float aliasDegree[64] = {};
};

// 1 when the tables must be rebuilt, else 0.
[[nodiscard]] int sbrParseHeader(SbrHeader& header, SbrBitReader& reader, int active);
// 1 on success, 0 on a syntax or consistency failure (the caller sets errorFlag).
[[nodiscard]] int sbrParseSingleChannel(SbrHeader& header, SbrFrameData& frame, SbrBitReader& reader, PsDecoder* ps);
[[nodiscard]] int sbrParseChannelPair(SbrHeader& header, SbrFrameData& frame0, SbrFrameData& frame1,
                                      SbrBitReader& reader);
// Reads sbr_grid; 0 on a syntax failure. sbrCheckGrid applies the decoder's consistency rules.
[[nodiscard]] int sbrParseGrid(SbrBitReader& reader, SbrFrameData& frame);
[[nodiscard]] int sbrCheckGrid(const SbrHeader& header, const SbrFrameData& frame);
[[nodiscard]] int sbrParseEnvelope(const SbrHeader& header, SbrFrameData& frame, SbrBitReader& reader);
void sbrParseNoise(SbrFrameData& frame, SbrBitReader& reader);
void sbrParseExtendedData(SbrHeader& header, PsDecoder* ps, SbrBitReader& reader);
int sbrHuffmanDecode(const aactables::HuffmanCodebook& book, SbrBitReader& reader);
// 1 when the 10-bit CRC over the next bitCount bits matches; reader stays where it is.
int sbrCheckCrc(const SbrBitReader& reader, int32_t bitCount, uint32_t crc);

}  // namespace aacplus
