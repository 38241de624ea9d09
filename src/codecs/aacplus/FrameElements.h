// The record the element loop fills for one raw_data_block and the frame decoder reads.
#pragma once

#include "codecs/aacplus/StreamConfig.h"

namespace aacplus {

// What the element loop learned about one raw_data_block.
struct FrameElements {
    FrameElement list[128];  // every element in bit stream order (PCE, DSE included)
    int object[128];         // channel elements: the element object that read it
    int count = 0;
    int leadingPce[128];  // tags of the program configurations that opened the block
    int leadingPceCount = 0;
    int singles = 0;  // elements that belong to the active program
    int pairs = 0;
    int lfes = 0;
    int channels = 0;
    bool sbrPayload = false;     // a channel element took an SBR payload
    bool crcRegionsFed = false;  // the protected element regions went into the CRC
};

}  // namespace aacplus
