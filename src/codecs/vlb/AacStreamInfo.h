#pragma once

#include <cstdint>

// Shared by the ADTS header reader, the decoder core and the front object.
struct AacStreamInfo {
    uint32_t samplingIndex = 0;
    uint32_t samplingRate = 0;  // 0 for sampling indices 12 to 15
    uint32_t profile = 0;
    uint32_t channelConfiguration = 0;
    uint32_t channels = 0;  // channels of the elements decoded in the current raw data block
    uint32_t averageBitRate = 0;
    uint32_t protectionAbsent = 0;
    uint32_t originalCopy = 0;
    uint32_t home = 0;
    uint32_t frameLength = 0;
    bool extensionActive = false;

    // The rate the output stage works at.
    uint32_t OutputRate() const { return extensionActive ? samplingRate * 2 : samplingRate; }
};
