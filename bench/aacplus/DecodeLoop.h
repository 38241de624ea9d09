// The decode loop both aacPlus benchmarks time: the whole stream through the handle, fed
// in 4096-byte pieces and decoded to 16-bit PCM, as the engine does.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "codecs/aacplus/aacPlusDecoder.h"

namespace zymbench {

// Returns the PCM bytes produced (0 when the decoder does not open).
inline size_t DecodeAacOnce(const std::vector<uint8_t>& bytes) {
    aacPlusHandle h = nullptr;
    if (aacPlusDecoderOpen(&h, kAacPlusFormatInt16, 2) != 0) return 0;
    static std::vector<uint8_t> pcm(8 * 2048 * 4);
    size_t offset = 0;
    size_t total = 0;
    bool ended = false;
    for (;;) {
        if (!ended) {
            aacPlusInputDesc in{uint32_t(std::min<size_t>(4096, bytes.size() - offset)), 0, 0};
            (void)aacPlusStreamFeed(h, bytes.data() + offset, &in);
            offset += in.consumed;
            ended = in.length == 0;
        }
        aacPlusOutputDesc out{uint32_t(pcm.size()), 0, 0};
        const int status = aacPlusStreamDecode(h, pcm.data(), &out, nullptr, nullptr);
        if (status == kAacPlusOk)
            total += out.written;
        else if (status != kAacPlusNeedMoreInput)
            break;
    }
    aacPlusDecoderClose(&h);
    return total;
}

}  // namespace zymbench
