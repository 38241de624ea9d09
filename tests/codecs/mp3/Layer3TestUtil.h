#pragma once

#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "codecs/mp3/MpegHeader.h"
#include "support/Pcm.h"

// Helpers of the Layer III tests.
namespace l3test {

// mpg123 without gapless trimming, so its output keeps whole frames (it still skips a
// Xing/Info tag frame, which our decoder outputs as one silent frame). Raw samples with
// the stream's channel count.
inline bool DecodeWithMpg123Raw(const std::string& input, std::vector<int16_t>& samples) {
    if (!zymtest::HaveProgram("mpg123")) return false;
    const std::string out = zymtest::TempPath(".raw");
    const bool ok = zymtest::RunCommand("mpg123 --no-gapless -q -s '" + input + "' > '" + out + "' 2>/dev/null") == 0 &&
                    zymtest::ReadRaw16(out, samples);
    std::remove(out.c_str());
    return ok && !samples.empty();
}

// Compares at the best alignment among whole granules within +-4 granules.
inline zymtest::PcmDiff CompareAligned(const std::vector<int16_t>& test, const std::vector<int16_t>& reference,
                                       int channels, int granule) {
    zymtest::PcmDiff best;
    best.rms = std::numeric_limits<double>::max();
    for (long k = -4; k <= 4; ++k) {
        const zymtest::PcmDiff d = zymtest::Compare(test, reference, channels, k * granule);
        if (d.compared > 0 && d.rms < best.rms) best = d;
    }
    return best;
}

// Byte offsets of the frames of a stream without tags: each header decoded, the next
// frame taken where its length says.
struct FrameSpan {
    size_t offset;
    size_t length;
    mp3::CMpegHeader header;
};

inline std::vector<FrameSpan> SplitFrames(const std::vector<uint8_t>& data) {
    std::vector<FrameSpan> frames;
    size_t pos = 0;
    while (pos + 4 <= data.size()) {
        const uint32_t word =
            uint32_t{data[pos]} << 24 | uint32_t{data[pos + 1]} << 16 | uint32_t{data[pos + 2]} << 8 | data[pos + 3];
        mp3::CMpegHeader h;
        if (!h.Decode(word) || pos + static_cast<size_t>(h.frameBits / 8) > data.size()) break;
        frames.push_back({pos, static_cast<size_t>(h.frameBits / 8), h});
        pos += static_cast<size_t>(h.frameBits / 8);
    }
    return frames;
}

// The 9-bit (MPEG-1) or 8-bit main_data_begin of a frame.
inline int MainDataBegin(const std::vector<uint8_t>& data, const FrameSpan& f) {
    const size_t si = f.offset + (f.header.protectedFlag ? 6 : 4);
    const int v = data[si] << 8 | data[si + 1];
    return f.header.version == 0 ? v >> 7 : v >> 8;
}

// Writes `bits` bits of `value` at bit `bitOffset` from `base`.
inline void PutBits(std::vector<uint8_t>& data, size_t base, size_t bitOffset, int bits, uint32_t value) {
    for (int i = 0; i < bits; ++i) {
        const size_t bit = bitOffset + static_cast<size_t>(i);
        const uint8_t mask = static_cast<uint8_t>(0x80u >> (bit & 7));
        uint8_t& byte = data[base + bit / 8];
        if ((value >> (bits - 1 - i)) & 1)
            byte = static_cast<uint8_t>(byte | mask);
        else
            byte = static_cast<uint8_t>(byte & ~mask);
    }
}

}  // namespace l3test
