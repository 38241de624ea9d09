#include "codecs/mp3/MpegHeader.h"

#include "codecs/mp3/tables/MpegTables.h"

namespace mp3 {

void CMpegHeader::Clear() {
    sync = id = versionBit = layer = protectedFlag = bitRateIndex = samplingIndex = 0;
    padding = privateBit = mode = modeExtension = copyright = original = emphasis = 0;
    valid = version = channels = sampleRate = bitRate = frameBits = 0;
    frameDuration = 0.0f;
    word = 0;
}

bool CMpegHeader::Decode(uint32_t w) {
    sync = static_cast<int>(w >> 21);
    id = static_cast<int>((w >> 20) & 1);
    versionBit = static_cast<int>((w >> 19) & 1);
    layer = 4 - static_cast<int>((w >> 17) & 3);
    protectedFlag = ((w >> 16) & 1) == 0 ? 1 : 0;
    bitRateIndex = static_cast<int>((w >> 12) & 15);
    samplingIndex = static_cast<int>((w >> 10) & 3);
    padding = static_cast<int>((w >> 9) & 1);
    privateBit = static_cast<int>((w >> 8) & 1);
    mode = static_cast<int>((w >> 6) & 3);
    modeExtension = static_cast<int>((w >> 4) & 3);
    copyright = static_cast<int>((w >> 3) & 1);
    original = static_cast<int>((w >> 2) & 1);
    emphasis = static_cast<int>(w & 3);
    word = w;

    const bool accepted = sync == 0x7FF && layer != 4 && bitRateIndex != 0 && bitRateIndex != 15 &&
                          samplingIndex != 3 && (id == 1 || (layer == 3 && versionBit == 0 && bitRateIndex < 9));
    if (!accepted) {
        Clear();
        return false;
    }

    version = id == 0 ? 2 : (versionBit ? 0 : 1);
    channels = mode == 3 ? 1 : 2;
    sampleRate = tables::kSampleRates[RateTableIndex()];
    bitRate = tables::kBitRatesKbps[version == 0 ? 0 : 1][layer - 1][bitRateIndex] * 1000;
    const int samples = GetSamplesPerFrame();
    const int slot = layer == 1 ? 32 : 8;
    const long long slots = (static_cast<long long>(bitRate / slot) * samples) / sampleRate;
    frameBits = static_cast<int>(slot * (slots + padding));
    frameDuration = static_cast<float>(samples) * 1000.0f / static_cast<float>(sampleRate);
    valid = 1;
    return true;
}

int CMpegHeader::GetSamplesPerFrame() const {
    switch (layer) {
    case 1: return 384;
    case 2: return 1152;
    case 3: return version == 0 ? 1152 : 576;
    default: return 0;
    }
}

}  // namespace mp3
