// libFuzzer target: transport synchronisation and configuration parsing (ADTS, LOAS/LATM,
// ADIF, AudioSpecificConfig, program_config_element) must never read or write outside a
// buffer, whatever the bytes say. The first bytes choose the configuration and transport.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "codecs/aacplus/BitReader.h"
#include "codecs/aacplus/StreamConfig.h"
#include "codecs/aacplus/aacPlusDecoder.h"

using namespace aacplus;

namespace {

void parseRecords(const uint8_t* data, size_t size, uint8_t selector) {
    BitReader r;
    r.bind(data, int32_t(size));
    AudioSpecificConfig asc;
    parseAudioSpecificConfig(asc, r, (selector & 1) ? int64_t(size) * 8 : -1);

    r.bind(data, int32_t(size));
    LatmMuxConfig mux;
    mux.muxConfigPresent = true;
    if (parseAudioMuxElementHeader(mux, r) == 0) {
        DecoderStreamInfo info;
        applyMuxConfig(mux, info, selector & 2, (selector & 4) ? 24000 : 0, selector % 3);
        skipLatmOtherData(mux, r);
    }

    r.bind(data, int32_t(size));
    AdifHeader adif;
    ProgramConfig slots[16];
    if (parseAdifHeader(adif, r, slots)) {
        DecoderStreamInfo info;
        for (const ProgramConfig& s : slots)
            programFromConfig(info, s);
    }

    r.bind(data, int32_t(size), selector & 7);
    ProgramConfig pce;
    parseProgramConfig(pce, r, nullptr, 0);
    const FrameElement frame[] = {{kIdSce, 0}, {kIdCpe, 1}, {kIdLfe, 2}};
    checkProgramMembership(pce, frame, 3);
}

void decodeStream(const uint8_t* data, size_t size, uint8_t a, uint8_t b) {
    aacPlusHandle h = nullptr;
    const int format = a % 3;
    if (aacPlusDecoderOpenWithConfig(&h, format, a & 4, 0, 0, a & 8, (a & 16) ? 24000 : 0, a & 32, 0, 0, 0, 2 + b % 7,
                                     (b >> 3) & 1, (b >> 4) % 3, (b >> 6) & 3) != 0)
        return;
    aacPlusDecoderGetStreamInfo(h)->transport = (a >> 5) % 6;
    std::vector<uint8_t> pcm(8 * 2048 * 4);
    size_t offset = 0;
    const size_t chunk = 1 + size_t(b) * 37;
    for (int call = 0; call < 4000; ++call) {
        aacPlusInputDesc in{uint32_t(std::min(chunk, size - offset)), 0, 0};
        aacPlusStreamFeed(h, data + offset, &in);
        offset += in.consumed;
        // Alternate a small buffer, a null buffer and a full one.
        aacPlusOutputDesc out{uint32_t(call % 3 == 0 ? 1000 : pcm.size()), 0, 0};
        const int status = aacPlusStreamDecode(h, call % 3 == 1 ? nullptr : pcm.data(), &out, nullptr, nullptr);
        if (status == kAacPlusEndOfStream) break;
    }
    aacPlusDecoderClose(&h);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    parseRecords(data + 1, size - 1, data[0]);
    decodeStream(data + 3, size - 3, data[1], data[2]);
    return 0;
}
