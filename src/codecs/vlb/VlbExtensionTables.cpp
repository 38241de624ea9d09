// The spectral extension's tables. They belong to the payload format shared with the
// encoder; their structure, counts and ranges follow the format and the rows it fixes
// (noise levels 0, 0.03 ... 0.2937, 0.35; the chirp factors; the band counts per rate,
// window kind and mode; four prefix-free delta code lists of 31, 71, 29 and 64 entries of
// 2 to 16 bits with the small deltas shortest). The values in between are generated here
// by the rules below, so decoder and tests read one definition.
#include "codecs/vlb/VlbExtensionTables.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace vlbext {

namespace {

// Noise levels rise geometrically (about 19 % a step) from 0.03 at index 1 to 0.35 at 15.
struct NoiseLevels {
    float v[16];
    NoiseLevels() {
        v[0] = 0.0f;
        const double ratio = std::pow(0.35 / 0.03, 1.0 / 14.0);
        for (int i = 1; i < 16; ++i)
            v[i] = static_cast<float>(0.03 * std::pow(ratio, i - 1));
        v[15] = 0.35f;
    }
};

constexpr float kChirp[8] = {1.0f, 0.98f, 0.96f, 0.9f, 0.84f, 0.6f, 0.3f, 0.0f};

struct Gains {
    float t[2][256];
    Gains() {
        for (int i = 0; i < 256; ++i) {
            t[0][i] = static_cast<float>(std::pow(10.0, (i - 32) / 3.75));
            t[1][i] = static_cast<float>(std::pow(10.0, (i - 32) / 7.5));
        }
    }
};

// Band counts per layout row: 48000 (44100), 32000, 24000 (22050), 16000 (12000, 11025),
// 8000 Hz; [kind: long, short][mode: normal, double].
constexpr unsigned kBandCounts[2][2][5] = {
    {{54, 58, 63, 68, 72}, {55, 60, 66, 72, 77}},
    {{16, 17, 17, 18, 19}, {16, 18, 19, 20, 22}},
};

int RowOf(uint32_t rate) {
    switch (rate) {
    case 48000:
    case 44100: return 0;
    case 32000: return 1;
    case 24000:
    case 22050: return 2;
    case 16000:
    case 12000:
    case 11025: return 3;
    case 8000: return 4;
    default: return -1;
    }
}

// Widths grow exponentially over the output length: boundary i of B lies at
// L * (e^(3 i / B) - 1) / (e^3 - 1), rounded, each band at least one bin wide.
std::vector<uint16_t> MakeLayout(unsigned bands, unsigned length) {
    std::vector<unsigned> edge(bands + 1);
    const double a = 3.0, denominator = std::exp(a) - 1.0;
    for (unsigned i = 0; i <= bands; ++i)
        edge[i] = static_cast<unsigned>(std::lround(length * (std::exp(a * i / bands) - 1.0) / denominator));
    edge[bands] = length;
    for (unsigned i = 1; i <= bands; ++i)
        edge[i] = std::max(edge[i], edge[i - 1] + 1);
    for (unsigned i = bands; i-- > 1;)
        edge[i] = std::min(edge[i], edge[i + 1] - 1);
    std::vector<uint16_t> widths(bands);
    for (unsigned i = 0; i < bands; ++i)
        widths[i] = static_cast<uint16_t>(edge[i + 1] - edge[i]);
    return widths;
}

struct Layouts {
    std::vector<uint16_t> rows[2][2][5];
    Layouts() {
        for (int kind = 0; kind < 2; ++kind)
            for (int mode = 0; mode < 2; ++mode)
                for (int r = 0; r < 5; ++r)
                    rows[kind][mode][r] = MakeLayout(kBandCounts[kind][mode][r], (kind ? 128u : 1024u) << mode);
    }
};

// Code lengths by delta, from the smallest delta up. Sets 0 follow a geometric spread
// (one more bit per step of |delta|); sets 1 spread their larger ranges over 2 to 10 bits.
constexpr uint8_t kLengthsSet0Long[31] = {16, 15, 14, 13, 12, 11, 10, 9,  8,  7,  6,  5,  4,  3,  2, 2,
                                          3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 15, 16};
constexpr uint8_t kLengthsSet1Long[71] = {10, 10, 10, 10, 10, 10, 10, 10, 10, 10, 9,  9,  9,  9,  9,  9,  9, 9,
                                          9,  8,  8,  8,  8,  8,  8,  7,  7,  7,  7,  7,  6,  6,  5,  5,  4, 2,
                                          2,  4,  5,  5,  6,  6,  6,  7,  7,  7,  7,  8,  8,  8,  8,  8,  8, 9,
                                          9,  9,  9,  9,  9,  9,  9,  9,  9,  10, 10, 10, 10, 10, 10, 10, 10};
constexpr uint8_t kLengthsSet0Short[29] = {16, 16, 14, 13, 12, 11, 10, 9, 8,  7,  6,  5,  4,  3, 2,
                                           2,  3,  4,  5,  6,  7,  8,  9, 10, 11, 12, 13, 13, 15};
constexpr uint8_t kLengthsSet1Short[64] = {10, 10, 10, 10, 10, 10, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 8, 8,  8, 8, 8,
                                           8,  8,  7,  7,  7,  6,  6, 6, 5, 5, 4, 2, 2, 4, 5, 5, 6, 6, 6,  7, 7, 7,
                                           7,  8,  8,  8,  8,  8,  8, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 10, 10};

// Canonical code: entries ordered by length, then by delta; codes count up.
std::vector<DeltaCode> MakeCodes(const uint8_t* lengths, unsigned count, int minDelta) {
    std::vector<DeltaCode> codes(count);
    for (unsigned i = 0; i < count; ++i)
        codes[i] = {static_cast<int16_t>(minDelta + int(i)), lengths[i], 0};
    std::stable_sort(codes.begin(), codes.end(),
                     [](const DeltaCode& a, const DeltaCode& b) { return a.length < b.length; });
    uint32_t code = 0;
    unsigned length = codes.empty() ? 0 : codes[0].length;
    for (unsigned i = 0; i < count; ++i) {
        code <<= (codes[i].length - length);
        length = codes[i].length;
        codes[i].code = static_cast<uint16_t>(code);
        ++code;
    }
    return codes;
}

struct Codes {
    std::vector<DeltaCode> lists[2][2];
    DeltaCodeList views[2][2];
    Codes() {
        lists[0][0] = MakeCodes(kLengthsSet0Long, 31, -15);
        lists[1][0] = MakeCodes(kLengthsSet1Long, 71, -36);
        lists[0][1] = MakeCodes(kLengthsSet0Short, 29, -15);
        lists[1][1] = MakeCodes(kLengthsSet1Short, 64, -34);
        const int ranges[2][2][2] = {{{-15, 15}, {-15, 13}}, {{-36, 34}, {-34, 29}}};
        for (int s = 0; s < 2; ++s)
            for (int k = 0; k < 2; ++k)
                views[s][k] = {lists[s][k].data(), static_cast<unsigned>(lists[s][k].size()), ranges[s][k][0],
                               ranges[s][k][1]};
    }
};

const NoiseLevels& Noise() {
    static const NoiseLevels n;
    return n;
}
const Gains& GainTables() {
    static const Gains g;
    return g;
}
const Layouts& LayoutTables() {
    static const Layouts l;
    return l;
}
const Codes& CodeTables() {
    static const Codes c;
    return c;
}

}  // namespace

float NoiseLevel(unsigned index) { return Noise().v[index & 15]; }
float ChirpFactor(unsigned index) { return kChirp[index & 7]; }
float BandGain(unsigned table, unsigned index) { return GainTables().t[table & 1][index > 255 ? 255 : index]; }

const uint16_t* BandLayout(uint32_t rate, bool shortWindows, uint32_t doubleRate, unsigned* count) {
    int row = RowOf(rate);
    if (row < 0) {
        *count = 0;
        return nullptr;
    }
    const std::vector<uint16_t>& v = LayoutTables().rows[shortWindows ? 1 : 0][doubleRate ? 1 : 0][row];
    *count = static_cast<unsigned>(v.size());
    return v.data();
}

const DeltaCodeList& DeltaCodes(unsigned tableSet, bool shortWindows) {
    return CodeTables().views[tableSet & 1][shortWindows ? 1 : 0];
}

}  // namespace vlbext
