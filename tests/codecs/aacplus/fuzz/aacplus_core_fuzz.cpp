// libFuzzer target: the whole handle interface with the element decoder behind it. The
// first bytes choose the configuration (concealment, limiter, PNS, SBR mode, channels, output
// format, forced transport, feed size); the rest is the stream. Nothing may read or write outside a
// buffer, hang, or produce undefined behaviour, whatever the bytes say.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "codecs/aacplus/aacPlusDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    const uint8_t a = data[0], b = data[1], c = data[2], d = data[3];
    data += 4;
    size -= 4;

    const int format = a % 3;
    const int maxChannels = 2 + (b & 7) % 7;
    aacPlusHandle h = nullptr;
    // SBR: low-power kernels, and downsampled output for cores up to 24 or 48 kHz.
    const int lowPowerSbr = (a >> 7) & 1;
    const int sbrDownsampleRate = (c >> 6) == 1 ? 24000 : (c >> 6) == 2 ? 48000 : 0;
    if (aacPlusDecoderOpenWithConfig(&h, format, (a >> 2) & 1, (a >> 3) & 1, lowPowerSbr, (a >> 4) & 1,
                                     sbrDownsampleRate, (a >> 5) & 1, (a >> 6) & 1, 0, 0, maxChannels, (b >> 3) & 1,
                                     (b >> 4) % 3, (b >> 6) & 3) != 0)
        return 0;
    aacPlusStreamInfo* info = aacPlusDecoderGetStreamInfo(h);
    if (info && (c & 7) <= 5) info->transport = c & 7;  // 0 auto, 1 raw, 2 ADIF, 3 ADTS, 4 LATM, 5 LOAS

    const size_t chunk = 1 + size_t(d) * 37;
    std::vector<uint8_t> pcm(8 * 2048 * 4);
    std::vector<uint8_t> ancillary(64 + (c >> 3) * 16);
    size_t offset = 0;
    bool ended = false;
    for (int calls = 0; calls < 4000; ++calls) {
        if (!ended) {
            aacPlusInputDesc in{uint32_t(std::min(chunk, size - offset)), 0, 0};
            aacPlusStreamFeed(h, data + offset, &in);
            offset += in.consumed;
            ended = in.length == 0;
        }
        // A buffer that is sometimes too small exercises the resume path.
        const uint32_t capacity = (calls % 7 == 3) ? 1000 : uint32_t(pcm.size());
        aacPlusOutputDesc out{capacity, 0, 0};
        aacPlusAncillaryDesc anc{};
        anc.capacity = uint32_t(ancillary.size());
        const int status =
            aacPlusStreamDecode(h, (calls % 5 == 4) ? nullptr : pcm.data(), &out, ancillary.data(), &anc);
        if (status == kAacPlusEndOfStream) break;
        if (status != kAacPlusOk && status != kAacPlusNeedMoreInput && status != kAacPlusOutputTooSmall && ended &&
            offset >= size && calls > 3000)
            break;
    }
    aacPlusDecoderClose(&h);
    return 0;
}
