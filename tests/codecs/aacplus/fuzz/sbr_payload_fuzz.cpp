// libFuzzer target: SBR and PS payload parsing and the whole SBR/PS frame path must never
// read or write outside a buffer, whatever the payload bytes say. The first byte chooses
// the element kind, the extension type and the configuration; the rest is a sequence of
// payloads, each preceded by its length byte.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "codecs/aacplus/PsDecoder.h"
#include "codecs/aacplus/SbrDecoder.h"

using namespace aacplus;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const uint8_t sel = data[0];
    data += 1;
    size -= 1;

    // PS data on its own, from the start of the input.
    {
        PsDecoder ps;
        if (!psDecoderOpen(ps, 64, 32)) {
            SbrBitReader r;
            r.init(data, int32_t(size), int32_t(size) * 8);
            psParseData(&ps, r, int32_t(size) * 8);
            psDecodeFrame(ps);
            psDecoderClose(ps);
        }
    }

    SbrDecoderConfig config;
    sbrGetDefaultConfig(&config, 0);
    config.words[6] = (sel >> 3) & 1;
    config.words[13] = (sel >> 4) & 1;
    config.words[14] = (sel >> 5) & 1;
    static const int32_t kRates[4] = {22050, 24000, 16000, 44100};
    SbrDecoder* h = sbrDecoderOpen(kRates[(sel >> 6) & 3], 1024, &config);
    if (!h) return 0;
    sbrSetMonoToStereo(sbrDecoderConfig(h), (sel >> 2) & 1);
    const int element = (sel & 3) == 3 ? 1 : (sel & 1 ? 2 : 0);
    std::vector<float> samples(2 * 2048);
    size_t pos = 0;
    int frames = 0;
    // Odd-sized inputs run the parser only (no QMF work), so more of them run per second.
    const bool parseOnly = size & 1;
    while (pos < size && frames < 6) {
        const size_t want = data[pos];
        ++pos;
        const size_t len = std::min<size_t>(want, size - pos);
        SbrExtensionPayload p;
        p.count = 1;
        p.element = element;
        p.type = (sel & 2) ? 14 : 13;
        p.size = int32_t(len);
        std::memcpy(p.data, data + pos, len);
        pos += len;
        for (size_t i = 0; i < 1024; ++i)
            samples[i * (element == 2 ? 2 : 1)] = float((i * 37 + size_t(frames) * 11) % 2000) - 1000.0f;
        sbrDecoderApply(h, &p, parseOnly ? nullptr : samples.data(), element == 2 ? 2 : 1);
        ++frames;
    }
    sbrDecoderClose(h);
    return 0;
}
