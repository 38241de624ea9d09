// Baseline parametric stereo: ps_data parsing, parameter decoding (IID and ICC, 20 stereo
// bands) and the stereo synthesis in the QMF domain (hybrid filterbank, transient-reduced
// decorrelation, mixing procedure A). IPD/OPD data is skipped.
#pragma once

#include <cstdint>

#include "codecs/aacplus/PsHybrid.h"
#include "codecs/aacplus/SbrBitReader.h"
#include "codecs/aacplus/SbrError.h"

namespace aacplus {

inline constexpr int kPsMaxEnvelopes = 6;  // 5 plus one appended
inline constexpr int kPsParams = 34;
inline constexpr int kPsStereoBands = 20;
inline constexpr int kPsGroups = 22;
inline constexpr int kPsDelaySlots = 14;
inline constexpr int kPsAllpassLinks = 3;
inline constexpr int kPsAllpassBands = 23;  // hybrid bands and QMF bands up to 22 use the all-pass

struct PsDecoder {
    int slots = 32;
    int bands = 64;
    int8_t heldIid[kPsParams] = {};
    int8_t heldIcc[kPsParams] = {};

    bool dataPresent = false;
    int enableIid = 0, enableIcc = 0, enableExt = 0;
    int iidMode = 0, iccMode = 0;  // 0..2 after the split
    int iidFine = 0;
    int iccModeHigh = 0;
    int frameClass = 0;
    int numEnv = 0;
    int borders[kPsMaxEnvelopes + 1] = {};
    uint8_t iidDt[kPsMaxEnvelopes] = {};
    uint8_t iccDt[kPsMaxEnvelopes] = {};
    int8_t iid[kPsMaxEnvelopes][kPsParams] = {};
    int8_t icc[kPsMaxEnvelopes][kPsParams] = {};
    bool headerSeen = false;

    // Decoded per-envelope parameters on the 20 stereo bands, and their borders (slots).
    int outEnv = 0;
    int outBorders[kPsMaxEnvelopes + 1] = {};
    int8_t outIid[kPsMaxEnvelopes][kPsStereoBands] = {};
    int8_t outIcc[kPsMaxEnvelopes][kPsStereoBands] = {};
    int outIidFine = 0;

    // Transient detection per stereo band.
    float peakPower[kPsStereoBands] = {};
    float smoothPower[kPsStereoBands] = {};
    float smoothPeakDiff[kPsStereoBands] = {};

    // Mixing coefficients h11, h12, h21, h22 at the end of the previous envelope; before the
    // first one, those of the mono signal on both sides (1, 1, 0, 0).
    float mix[4][kPsStereoBands] = {};

    // Decorrelation state: QMF bands 0..63 (bands 0..2 unused: hybrid bands take their place)
    // and the 12 hybrid bands at index 64..75.
    float delayRe[76][kPsDelaySlots] = {};
    float delayIm[76][kPsDelaySlots] = {};
    int delayIndex = 0;
    float linkRe[76][kPsAllpassLinks][5] = {};
    float linkIm[76][kPsAllpassLinks][5] = {};
    int linkIndex[kPsAllpassLinks] = {};
    float phiFractRe[76] = {}, phiFractIm[76] = {};
    float qFractRe[76][kPsAllpassLinks] = {}, qFractIm[76][kPsAllpassLinks] = {};

    HybridFilterbank hybrid;
    float hybLeftRe[kHybridMaxSlots][kHybridBands] = {};
    float hybLeftIm[kHybridMaxSlots][kHybridBands] = {};
    float hybRightRe[kHybridMaxSlots][kHybridBands] = {};
    float hybRightIm[kHybridMaxSlots][kHybridBands] = {};
};

// Process-wide tables: all-pass coefficients, IID scale factors, ICC angles.
struct PsTables {
    float allpass[kPsAllpassBands][kPsAllpassLinks];
    float iidCoarse[15];
    float iidFine[31];
    float iccAngle[8];
};
const PsTables& psTables();

[[nodiscard]] const ErrorDescriptor* psDecoderOpen(PsDecoder& ps, int bands, int slotsPerFrame);
void psDecoderClose(PsDecoder& ps);
// Bits consumed (0 without a decoder).
[[nodiscard]] int psParseData(PsDecoder* ps, SbrBitReader& reader, int bitsAvailable);
void psDecodeFrame(PsDecoder& ps);
// Keeps the hybrid history filled from slots that bypass PS (rows: the last 12 rows of the
// slot matrix), so PS can start without a transient.
void psPrime(PsDecoder& ps, float* const* rowsRe, float* const* rowsIm);
// Rows from the HF adjustment row on: 32 slots of 64 bands, followed in the matrix by the 6
// analysed slots the hybrid filters look ahead into; left in place.
void psApply(PsDecoder& ps, float* const* leftRe, float* const* leftIm, float* const* rightRe, float* const* rightIm);

}  // namespace aacplus
