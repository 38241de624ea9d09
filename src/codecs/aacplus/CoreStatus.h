// Status codes of the decoder's core; the handle maps them onto the interface's codes
// (end of stream, more input and output too small keep their meaning, every other non-zero
// code becomes kAacPlusDecodeFailed).
#pragma once

namespace aacplus {

enum CoreStatus : int {
    kCoreOk = 0,
    kCoreOutOfMemory = 0x1001,
    kCoreEndOfStream = 0x1002,
    kCoreNeedMoreInput = 0x1003,
    kCoreSyntax = 0x1004,  // also what is refused: coupling, gain control, LATM features
    kCoreCrcMismatch = 0x1005,
    kCoreReservedCodebook = 0x1007,  // a section uses codebook 12
    kCorePredictorReset = 0x1008,    // predictor reset group outside 1..30
    kCorePulseBeyondEnd = 0x1009,
    kCoreSectionOverrun = 0x100B,  // a section beyond max_sfb, or read past the data
    kCoreBadEscape = 0x100C,       // escape longer than 32 bits or above 8191
    kCoreBadPceRate = 0x100D,
    kCoreReservedMsMask = 0x100E,  // ms_mask_present 3
    kCoreInconsistentFrame = 0x100F,
    kCoreUnsupportedProfile = 0x1013,
    kCoreBadSbrRate = 0x1015,
    kCoreMissingElement = 0x1017,
    kCoreOutputTooSmall = 0x1018,
    kCoreNoiseWithPnsOff = 0x101A,
};

}  // namespace aacplus
