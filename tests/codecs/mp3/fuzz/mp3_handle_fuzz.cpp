// libFuzzer target: arbitrary bytes through the MPEG audio handle, fed in pieces as the
// engine feeds them, with the creation options taken from the first byte.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "codecs/mp3/MpegDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const unsigned shift = data[0] & 3;
    const unsigned eightBit = (data[0] >> 2) & 1;
    const unsigned mono = (data[0] >> 3) & 1;
    const size_t chunk = 1 + data[1] * 16u;
    data += 2;
    size -= 2;
    MpegDecoderHandle* h = nullptr;
    if (MpegDecoderCreate(&h, shift, eightBit, mono) != 0) return 0;
    std::vector<uint8_t> out(4608);
    size_t pos = 0;
    bool ended = false;
    for (int guard = 0; guard < 100000; ++guard) {
        int produced = 0;
        // Sometimes offer a buffer that is too small, as the engine does.
        const int offered = (guard % 7 == 3) ? 100 : static_cast<int>(out.size());
        const uint32_t st = MpegDecoderDecode(h, out.data(), offered, &produced);
        if (produced < 0 || produced > offered) __builtin_trap();
        if (st == 0 || st == 0x41010001 || st == 0x41010002) continue;
        if (st == 0x81010004) break;
        if (st == 0xC1010003) continue;
        if ((st >> 30) == 3) break;
        if (ended) continue;
        int space = 0;
        MpegDecoderGetInputSpace(h, &space);
        size_t n = size - pos;
        if (n > chunk) n = chunk;
        if (n > static_cast<size_t>(space)) n = static_cast<size_t>(space);
        if (n == 0) {
            MpegDecoderSetEndOfInput(h);
            ended = true;
            continue;
        }
        int consumed = 0;
        MpegDecoderFeed(h, data + pos, static_cast<int>(n), &consumed);
        pos += static_cast<size_t>(consumed);
    }
    MpegDecoderGetInfo(h);
    MpegDecoderDestroy(h);
    return 0;
}
