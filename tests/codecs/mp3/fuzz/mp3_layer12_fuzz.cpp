// libFuzzer target: Layer I and II frame bodies. The first bytes choose a valid header
// (so the stream always locks) and the rest fills the frame bodies, so the fuzzer spends
// its time in allocation, scale-factor and sample parsing rather than in the sync search.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "codecs/mp3/MpegDecoder.h"
#include "codecs/mp3/MpegHeader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    const uint32_t layerBits = (data[0] & 1) ? 3u : 2u;    // Layer I or II
    const uint32_t versionBits = (data[0] & 2) ? 3u : 2u;  // MPEG-1 or 2
    const uint32_t rate = 1u + (data[1] % 14u);
    const uint32_t fs = (data[1] >> 4) % 3u;
    const uint32_t word = (0x7FFu << 21) | (versionBits << 19) | (layerBits << 17) | (((data[0] >> 2) & 1u) << 16) |
                          (rate << 12) | (fs << 10) | (uint32_t{data[2]} & 0xFFu);
    mp3::CMpegHeader header;
    if (!header.Decode(word)) return 0;
    const size_t frameBytes = static_cast<size_t>(header.frameBits / 8);
    const unsigned mono = (data[0] >> 3) & 1;
    const unsigned shift = (data[0] >> 4) & 3;
    data += 3;
    size -= 3;

    std::vector<uint8_t> stream;
    size_t pos = 0;
    for (int frame = 0; frame < 8; ++frame) {
        const size_t start = stream.size();
        stream.resize(start + frameBytes, 0);
        stream[start] = static_cast<uint8_t>(word >> 24);
        stream[start + 1] = static_cast<uint8_t>(word >> 16);
        // Keep the locked bits, let the fuzzer vary padding, mode and extension per frame.
        stream[start + 2] = static_cast<uint8_t>((word >> 8) & 0xFD);
        stream[start + 3] = static_cast<uint8_t>(word);
        for (size_t i = 4; i < frameBytes && pos < size; ++i)
            stream[start + i] = data[pos++];
    }
    MpegDecoderHandle* h = nullptr;
    if (MpegDecoderCreate(&h, shift, 0, mono) != 0) return 0;
    int consumed = 0;
    MpegDecoderFeed(h, stream.data(), static_cast<int>(stream.size()), &consumed);
    MpegDecoderSetEndOfInput(h);
    std::vector<uint8_t> out(4608);
    for (int i = 0; i < 64; ++i) {
        int produced = 0;
        const uint32_t st = MpegDecoderDecode(h, out.data(), static_cast<int>(out.size()), &produced);
        if (st == 0x81010004 || (st >> 30) == 3) break;
    }
    MpegDecoderDestroy(h);
    return 0;
}
