// Drives the element decoder directly over the raw data blocks of an ADTS file, without
// the frame layer, so that the channel decoding can be checked against a reference.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "AacTestUtil.h"
#include "codecs/aacplus/ElementLoop.h"
#include "codecs/aacplus/Ics.h"

namespace aactest {

struct AdtsFrame {
    size_t payload = 0;  // offset of the raw data block
    size_t size = 0;     // bytes of the raw data block
    int sfIndex = 0;
    int channelConfig = 0;
    int profileCode = 0;
};

inline std::vector<AdtsFrame> adtsFrames(const std::vector<uint8_t>& d) {
    std::vector<AdtsFrame> frames;
    size_t p = 0;
    while (p + 7 <= d.size()) {
        if (d[p] != 0xFF || (d[p + 1] & 0xF6) != 0xF0) {
            ++p;
            continue;
        }
        const bool noCrc = d[p + 1] & 1;
        const int id = (d[p + 1] >> 3) & 1;
        const int profile = d[p + 2] >> 6;
        AdtsFrame f;
        f.sfIndex = (d[p + 2] >> 2) & 15;
        f.channelConfig = ((d[p + 2] & 1) << 2) | (d[p + 3] >> 6);
        const size_t len = (size_t(d[p + 3] & 3) << 11) | (size_t(d[p + 4]) << 3) | (d[p + 5] >> 5);
        if (len < 7 || p + len > d.size()) break;
        const size_t header = noCrc ? 7 : 9;
        f.payload = p + header;
        f.size = len - header;
        f.profileCode = id == 1 ? (profile == 0 ? 0x200 : 0x201) : (profile == 0 ? 0x401 : 0x402);
        frames.push_back(f);
        p += len;
    }
    return frames;
}

struct CoreRun {
    int channels = 0;
    int errors = 0;
    std::vector<int> statuses;
    std::vector<int16_t> pcm;
    std::vector<float> pcmFloat;
};

// lost(frame index) true: the frame is treated as missing. mutate may damage a frame's
// bytes before decoding.
inline CoreRun decodeCore(const std::vector<uint8_t>& file, bool concealment = false, bool pnsOn = true,
                          const std::function<bool(int)>& lost = {},
                          const std::function<void(int, std::vector<uint8_t>&)>& mutate = {}) {
    CoreRun run;
    const std::vector<AdtsFrame> frames = adtsFrames(file);
    aacplus::BitReader reader;
    aacplus::ElementDecoder dec(&reader);
    (void)dec.configure(8, 1, pnsOn, concealment);
    aacplus::FrameElements previous;
    aacplus::ProgramConfig program;  // the last program configuration: the output order
    std::vector<float> out(8 * 2048);
    for (size_t i = 0; i < frames.size(); ++i) {
        const AdtsFrame& f = frames[i];
        if (f.channelConfig != 0) run.channels = f.channelConfig == 7 ? 8 : f.channelConfig;
        std::vector<uint8_t> block(file.begin() + long(f.payload), file.begin() + long(f.payload + f.size));
        if (mutate) mutate(int(i), block);
        reader.bind(block.data(), int32_t(block.size()));
        aacplus::ElementContext ctx{f.sfIndex, f.profileCode};
        aacplus::FrameElements fe;
        bool concealed = lost && lost(int(i));
        int status = 0;
        while (reader.bitsLeft() >= 3 && reader.peek(3) == aacplus::kIdPce) {
            reader.read(3);
            aacplus::parseProgramConfig(program, reader, nullptr, 0);
            if (f.channelConfig == 0) run.channels = program.totalChannels();
        }
        if (run.channels == 0) break;
        if (!concealed) {
            status = dec.readElements(ctx, nullptr, fe, nullptr, {}, 0);
            if (status) concealed = true;
        }
        run.statuses.push_back(status);
        if (status) ++run.errors;
        if (!concealed) previous = fe;
        std::fill(out.begin(), out.end(), 0.0f);
        aacplus::SbrDecoderConfig sbrConfig;
        aacplus::sbrGetDefaultConfig(&sbrConfig, 0);
        aacplus::ElementDecoder::SbrOutcome sbr;
        dec.render(out.data(), concealed ? previous : fe, concealed, run.channels, ctx, false, sbrConfig, sbr, nullptr,
                   &program);
        const size_t n = size_t(1024) * size_t(run.channels);
        for (size_t k = 0; k < n; ++k) {
            run.pcm.push_back(aacplus::sampleToInt16(out[k]));
            run.pcmFloat.push_back(out[k]);
        }
    }
    return run;
}

}  // namespace aactest
