// The VLB spectral extension: a fill-element payload that rebuilds the spectrum above the
// core's bandwidth and may double the output rate.
#pragma once

#include <cstdint>

#include "codecs/vlb/ChannelElement.h"

class CVlbBitStream;

inline constexpr unsigned kVlbMaxExtensionBands = 80;

struct VlbExtensionGroup {
    uint32_t noiseBlendStart = 0;
    float chirp = 1.0f;
    float noiseLevel[64] = {};
    uint32_t bandCount = 0;
    uint16_t bandWidth[kVlbMaxExtensionBands] = {};
    int32_t firstValue = 0;
    int32_t delta[kVlbMaxExtensionBands] = {};
};

struct VlbExtensionChannel {
    uint32_t topBandReduction = 0;
    uint32_t upperBin = 0;  // band offset at max_sfb
    uint32_t windowSequence = 0;
    uint32_t numGroups = 1;
    uint32_t groupLength[8] = {1};
    uint32_t maxSfb = 0;
    uint32_t numSwb = 0;
    const uint16_t* offsets = nullptr;
    SectionInfo sections;
    VlbExtensionGroup group[8];
};

// The rate hysteresis: the double-rate mode in force and the frames it has held.
struct VlbExtensionGlobals {
    uint32_t previousMode = 2;
    uint32_t counter = 0;
};

// The hysteresis a new decoder starts from: the initial mode unless a test puts another
// one here before making its decoder. Never written while decoders are being made.
VlbExtensionGlobals& VlbExtensionInitialHysteresis();

// One decoder's extension state: the payload just read, and what carries over from frame to
// frame (the rate hysteresis, the noise generators, the window sequences of the last block).
// Each decoder has its own, so a new stream starts from the initial state and decoders on
// different threads share nothing.
struct VlbExtensionState {
    VlbExtensionState() : hysteresis(VlbExtensionInitialHysteresis()) {}

    VlbExtensionGlobals hysteresis;
    uint32_t holeNoise = 0;  // generator of the hole filling
    bool toggle = false;     // sign toggle of the band patching
    uint32_t previousSingle = 0;
    uint32_t previousPair[2] = {0, 0};
    uint32_t noisePosition = 0;

    uint32_t errorCode = 0;
    uint32_t doubleRate = 0;
    uint32_t tableSet = 0;
    uint32_t channels = 0;
    uint32_t samplingIndex = 0;
    uint32_t samplingRate = 0;
    VlbExtensionChannel channel[2];
};

// Payload errors.
inline constexpr uint32_t kVlbErrorVersion = 142;
inline constexpr uint32_t kVlbErrorChannels = 146;
inline constexpr uint32_t kVlbErrorBeyondCount = 149;
inline constexpr uint32_t kVlbErrorTruncated = 242;
inline constexpr uint32_t kVlbErrorPadding = 243;

// Reads the payload of a fill element (extension_type already read) and returns the bits
// of the element it left unread. `commit` steps the decoder's rate hysteresis; the parse
// pass reads with commit false so that each frame steps it once.
unsigned ReadExtensionPayload(unsigned count, VlbExtensionState& state, CVlbBitStream& bs, bool commit = true);

// Double-rate mode the hysteresis gives for a payload's rate flag.
uint32_t VlbHysteresisStep(VlbExtensionGlobals& g, uint32_t rateFlag);

// Extension band layout for a channel: widths of the kept bands starting at the core's
// upper bin, before the top-band reduction. Returns the band count.
unsigned VlbExtensionBands(uint32_t samplingRate, bool shortWindows, uint32_t doubleRate, uint32_t upperBin,
                           uint16_t* widths);
