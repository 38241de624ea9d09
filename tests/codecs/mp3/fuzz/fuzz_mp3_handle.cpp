// libFuzzer target over the whole MPEG audio handle interface.
//
// The first input byte chooses the creation options, the feeding chunk size and the output
// buffer size, and whether the rest is fed as a raw stream or wrapped into frames. Random
// bytes rarely hold four consistent headers, so the framed mode builds valid Layer III
// (or, now and then, Layer I/II) headers whose bodies are the input's bytes: the layer
// decoders then see arbitrary side information, scale factors and Huffman data.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "codecs/mp3/MpegDecoder.h"
#include "codecs/mp3/MpegHeader.h"

namespace {

std::vector<uint8_t> Frame(const uint8_t*& data, size_t& size, uint32_t lockedBits) {
    if (size < 2) return {};
    // Per-frame header bits: protection, bit rate, padding, mode, mode extension.
    const uint32_t varying = (uint32_t{data[0]} << 8) | data[1];
    data += 2;
    size -= 2;
    uint32_t word = lockedBits | ((varying & 1u) << 16) | (((varying >> 1) % 14 + 1) << 12) |
                    (((varying >> 5) & 1u) << 9) | (((varying >> 6) & 0xFu) << 4);
    mp3::CMpegHeader h;
    if (!h.Decode(word)) {
        word = (word & ~0xF000u) | 0x1000u;  // lowest bit rate is valid for every version
        if (!h.Decode(word)) return {};
    }
    const size_t length = static_cast<size_t>(h.frameBits / 8);
    std::vector<uint8_t> frame(length, 0);
    frame[0] = static_cast<uint8_t>(word >> 24);
    frame[1] = static_cast<uint8_t>(word >> 16);
    frame[2] = static_cast<uint8_t>(word >> 8);
    frame[3] = static_cast<uint8_t>(word);
    const size_t body = std::min(size, length - 4);
    std::memcpy(frame.data() + 4, data, body);
    data += body;
    size -= body;
    return frame;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const uint8_t control = data[0];
    const uint8_t layout = data[1];
    data += 2;
    size -= 2;

    std::vector<uint8_t> stream;
    if (control & 0x80) {
        // Version, layer and sampling index stay fixed for the stream (the frame layer
        // locks them); Layer III three times out of four.
        static const uint32_t kVersions[3] = {0x180000u, 0x100000u, 0x000000u};
        const uint32_t version = kVersions[(layout & 3) % 3];
        const uint32_t layer = (layout & 0x0C) == 0x0C ? (((layout >> 4) & 1) ? 0x60000u : 0x40000u) : 0x20000u;
        const uint32_t sampling = static_cast<uint32_t>((layout >> 5) % 3) << 10;
        const uint32_t locked = 0xFFE00000u | version | layer | sampling;
        while (size > 0 && stream.size() < (1u << 17)) {
            std::vector<uint8_t> f = Frame(data, size, locked);
            if (f.empty()) break;
            stream.insert(stream.end(), f.begin(), f.end());
        }
    } else {
        stream.assign(data, data + size);
    }

    MpegDecoderHandle* handle = nullptr;
    if (MpegDecoderCreate(&handle, control & 3, (control >> 2) & 1, (control >> 3) & 1) != 0) return 0;
    static const int kChunks[4] = {4096, 1, 417, 16384};
    const size_t chunk = static_cast<size_t>(kChunks[(control >> 4) & 3]);
    // A short output buffer now and then exercises the "buffer too small" path.
    const int outSize = (control & 0x40) ? 1000 : 4608;
    std::vector<uint8_t> out(4608);
    size_t pos = 0;
    bool ended = false;
    for (int guard = 0; guard < 200000; ++guard) {
        int produced = 0;
        uint32_t status = MpegDecoderDecode(handle, out.data(), outSize, &produced);
        if (status == 0xC1010003u) status = MpegDecoderDecode(handle, out.data(), 4608, &produced);
        if (produced < 0 || produced > 4608) __builtin_trap();
        if (status == 0x81010004u || (status >> 30) == 3) break;
        if ((status >> 30) != 2) continue;
        if (ended) continue;
        int space = 0;
        MpegDecoderGetInputSpace(handle, &space);
        const size_t n = std::min({chunk, static_cast<size_t>(space), stream.size() - pos});
        if (n == 0 && pos >= stream.size()) {
            MpegDecoderSetEndOfInput(handle);
            ended = true;
            continue;
        }
        int consumed = 0;
        MpegDecoderFeed(handle, stream.data() + pos, static_cast<int>(n), &consumed);
        pos += static_cast<size_t>(consumed);
    }
    MpegDecoderGetInfo(handle);
    MpegDecoderDestroy(handle);
    return 0;
}
