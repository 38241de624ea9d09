#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "codecs/mp3/MpegDecoder.h"

// Helpers shared by the MPEG audio tests: drive a handle the way the engine does.
namespace mp3test {

// The project's fixtures of this library, found through ZYM_SOURCE_DIR or, without it,
// the source folder the tests were built from.
inline std::string FixturePath(const std::string& name) {
    const char* dir = std::getenv("ZYM_SOURCE_DIR");
#ifdef ZYM_MP3_TEST_SOURCE_DIR
    const std::string source = dir ? dir : ZYM_MP3_TEST_SOURCE_DIR;
#else
    const std::string source = dir ? dir : ".";
#endif
    return source + "/tests/data/codecs/mp3/" + name;
}

// The build folder (for tools such as zymdec), through ZYM_BINARY_DIR or the build's own.
inline std::string BinaryDir() {
    const char* dir = std::getenv("ZYM_BINARY_DIR");
#ifdef ZYM_MP3_TEST_BINARY_DIR
    return dir ? dir : ZYM_MP3_TEST_BINARY_DIR;
#else
    return dir ? dir : ".";
#endif
}

struct DecodeResult {
    std::vector<int16_t> pcm;        // interleaved
    std::vector<uint32_t> statuses;  // every Decode status, in order
    MpegDecoderInfo info{};          // after the last frame
    int frames = 0;                  // frames consumed
    bool sawInfo = false;
};

// Feeds `data` in chunks of at most `chunk` bytes (and at most the input space), decodes
// until end of stream (or an error class status, or a safety limit), options as given.
inline DecodeResult DecodeAll(const std::vector<uint8_t>& data, size_t chunk = 4096, unsigned shift = 0,
                              unsigned eightBit = 0, unsigned mono = 0) {
    DecodeResult r;
    MpegDecoderHandle* h = nullptr;
    if (MpegDecoderCreate(&h, shift, eightBit, mono) != 0) {
        return r;
    }
    size_t pos = 0;
    bool ended = false;
    std::vector<uint8_t> out(4608);
    for (int guard = 0; guard < 1000000; ++guard) {
        int produced = 0;
        const uint32_t st = MpegDecoderDecode(h, out.data(), static_cast<int>(out.size()), &produced);
        r.statuses.push_back(st);
        if (st == 0 || st == 0x41010001 || st == 0x41010002) {
            ++r.frames;
            const int samples = eightBit ? produced : produced / 2;
            if (eightBit) {
                for (int i = 0; i < samples; ++i)
                    r.pcm.push_back(static_cast<int16_t>(out[i]));
            } else {
                const auto* s = reinterpret_cast<const int16_t*>(out.data());
                r.pcm.insert(r.pcm.end(), s, s + samples);
            }
            r.info = *MpegDecoderGetInfo(h);
            r.sawInfo = true;
            continue;
        }
        if (st == 0x81010004 || (st >> 30) == 3) {
            break;
        }
        if (ended) {
            continue;
        }
        int space = 0;
        (void)MpegDecoderGetInputSpace(h, &space);
        const size_t n = std::min({chunk, static_cast<size_t>(space), data.size() - pos});
        if (n == 0 && pos >= data.size()) {
            (void)MpegDecoderSetEndOfInput(h);
            ended = true;
            continue;
        }
        int consumed = 0;
        (void)MpegDecoderFeed(h, data.data() + pos, static_cast<int>(n), &consumed);
        pos += static_cast<size_t>(consumed);
    }
    MpegDecoderDestroy(h);
    return r;
}

}  // namespace mp3test
