// zymdec's MPEG audio codec: drives the handle as the engine does.
#include <algorithm>
#include <cstdio>

#include "Codec.h"
#include "codecs/mp3/MpegDecoder.h"

namespace {

bool DecodeMp3(zymdec::Input& input, bool verbose, zymdec::Output& out, std::string& error) {
    MpegDecoderHandle* h = nullptr;
    if (MpegDecoderCreate(&h, 0, 0, 0) != 0) {
        error = "cannot create the decoder";
        return false;
    }
    std::vector<uint8_t> pcm(4608);
    bool ended = false;
    bool ok = true;
    long frames = 0;
    for (;;) {
        int produced = 0;
        const uint32_t st = MpegDecoderDecode(h, pcm.data(), static_cast<int>(pcm.size()), &produced);
        if (verbose) std::fprintf(stderr, "decode: 0x%08X produced %d\n", st, produced);
        if (st == 0 || st == 0x41010001 || st == 0x41010002) {
            const MpegDecoderInfo* info = MpegDecoderGetInfo(h);
            if (frames++ == 0) {
                out.sampleRate = info->outputSampleRate;
                out.channels = info->outputChannels;
                char line[160];
                std::snprintf(line, sizeof line, "MPEG-%s Layer %d, %d Hz, %d channel%s, %d kbit/s",
                              info->version == 0   ? "1"
                              : info->version == 1 ? "2"
                                                   : "2.5",
                              info->layer, info->sampleRate, info->channels, info->channels == 1 ? "" : "s",
                              info->bitRate / 1000);
                out.format = line;
            } else if (info->outputChannels != out.channels) {
                error = "channel count changed within the stream";
                ok = false;
                break;
            }
            const auto* s = reinterpret_cast<const int16_t*>(pcm.data());
            if (!out.Write(s, static_cast<size_t>(produced / 2))) {
                ok = false;
                break;
            }
            continue;
        }
        if (st == 0x81010004) break;
        if ((st >> 30) == 3) {
            char text[64];
            std::snprintf(text, sizeof text, "decoder error 0x%08X", st);
            error = text;
            ok = false;
            break;
        }
        if (ended) continue;  // a warning after the end of input: the decoder moves on to the end
        int space = 0;
        (void)MpegDecoderGetInputSpace(h, &space);
        size_t n = 0;
        const uint8_t* next = input.Peek(4096, n);
        n = std::min<size_t>(n, static_cast<size_t>(space));
        if (n == 0) {
            (void)MpegDecoderSetEndOfInput(h);
            ended = true;
            continue;
        }
        int consumed = 0;
        (void)MpegDecoderFeed(h, next, static_cast<int>(n), &consumed);
        input.Consume(static_cast<size_t>(consumed));
    }
    MpegDecoderDestroy(h);
    if (ok && frames == 0) {
        error = "no MPEG audio frame found";
        ok = false;
    }
    return ok;
}

const zymdec::Registration kMp3("mp3", DecodeMp3);

}  // namespace
