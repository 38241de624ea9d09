#include "codecs/aacplus/Ics.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "codecs/aaccore/Imdct.h"
#include "codecs/aaccore/Lanes.h"
#include "codecs/aaccore/Quant.h"
#include "codecs/aaccore/Spectrum.h"
#include "codecs/aaccore/Wide.h"
#include "codecs/aacplus/CoreStatus.h"
#include "codecs/aacplus/Huffman.h"

namespace aacplus {
namespace {

using aaccore::imdctShort;
using aaccore::LongWindowing;
using aaccore::shortWindow;
using aaccore::synthesizeLong;

using aaccore::magnitude43;
using aaccore::QuantTables;

const QuantTables& quant() { return aaccore::quantTables(); }

// Damaged streams can drive samples to infinities; keep what leaves the decoder finite.
inline float finite(float v) {
    v = v == v ? v : 0.0f;
    v = v > 1e9f ? 1e9f : v;
    return v < -1e9f ? -1e9f : v;
}

// 1024 samples made finite in place, eight at a time (finite's steps on every lane), then
// stored every `stride` floats of out.
AACCORE_WIDE_KERNEL void storeFinite(float* __restrict samples, float* __restrict out, int stride) {
    using V = aaccore::Lanes8;
    const V high = V{} + 1e9f, low = V{} - 1e9f;
    for (int i = 0; i < 1024; i += 8) {
        V v;
        std::memcpy(&v, samples + i, sizeof(v));
        v = v == v ? v : V{};
        v = v > high ? high : v;
        v = v < low ? low : v;
        std::memcpy(samples + i, &v, sizeof(v));
    }
    if (stride == 1) {
        std::memcpy(out, samples, sizeof(float) * 1024);
        return;
    }
    for (int i = 0; i < 1024; ++i)
        out[i * stride] = samples[i];
}

}  // namespace

int16_t sampleToInt16(float v) {
    if (v < 0.0f) {
        const float t = 0.5f - v;
        if (!(t <= 32768.0f)) return -32768;
        return int16_t(-int32_t(t));
    }
    const float t = v + 0.5f;
    if (!(t <= 32767.0f)) return v == v ? 32767 : 0;
    return int16_t(int32_t(t));
}

decapl60::decapl60(IcsInfo* ics) : ics_(ics) { std::memset(spectrum_, 0, sizeof(spectrum_)); }

int decapl60::ReadChannelStream(BitReader& r, int globalGain) {
    if (int e = ReadSectionData(r)) return e;
    if (int e = ReadScaleFactorData(r, globalGain)) return e;
    if (int e = readPulseData(pulse_, *ics_, r)) return e;
    readTnsData(tns_, *ics_, r);
    if (r.readBit()) return kCoreSyntax;  // gain control
    return ReadSpectralData(r);
}

int decapl60::ReadSectionData(BitReader& r) {
    const IcsInfo& ics = *ics_;
    const uint32_t esc = (1u << sectionBits_) - 1;
    for (int g = 0; g < ics.numGroups; ++g) {
        int b = 0;
        while (b < ics.maxSfb) {
            const int cb = int(r.read(4));
            if (cb == 12) return kCoreReservedCodebook;
            int len = 0;
            for (;;) {
                const uint32_t inc = r.read(sectionBits_);
                if (inc == 0 && r.overran()) return kCoreSectionOverrun;
                len += int(inc);
                if (inc != esc) break;
            }
            if (b + len > ics.maxSfb) return kCoreSectionOverrun;
            std::fill(codebooks_[g] + b, codebooks_[g] + b + len, uint8_t(cb));
            b += len;
        }
        std::fill(codebooks_[g] + ics.maxSfb, codebooks_[g] + 64, uint8_t(0));
    }
    return 0;
}

int decapl60::ReadScaleFactorData(BitReader& r, int globalGain) {
    // Codewords through a local cursor, as the spectral data; noise energies are read by the
    // noise substitution's own reader, so the cursor hands over around them.
    using Cursor = aaccore::BitCursor<aaccore::ByteSource>;
    auto cursorAt = [&r] { return Cursor(aaccore::ByteSource{r.data, r.count, r.position()}); };
    Cursor bits = cursorAt();
    IcsInfo& ics = *ics_;
    const HuffmanBook& sfBook = huffmanBook(12);
    int sf = globalGain;
    int position = 0;
    for (int g = 0; g < ics.numGroups; ++g) {
        for (int b = 0; b < ics.maxSfb; ++b) {
            const int cb = codebooks_[g][b];
            if (cb == 0) {
                scale_[g][b] = 0;
            } else if (cb == 13) {
                r.skip(int64_t(bits.taken()));
                if (!pnsEnabled_) return kCoreNoiseWithPnsOff;
                readNoiseEnergy(noise_, r, globalGain, b, g);
                bits = cursorAt();
                scale_[g][b] = 0;
            } else if (cb == 14 || cb == 15) {
                position += aaccore::decodeHuffmanIndex(sfBook, bits) - 60;
                position = std::clamp(position, -1000, 1000);
                scale_[g][b] = int16_t(position - 100);
                if (!ics.isShort() && b < ics.predSfbMax()) ics.predictionUsed[b] = 0;
            } else {
                sf += aaccore::decodeHuffmanIndex(sfBook, bits) - 60;
                sf = std::clamp(sf, -1000, 1000);
                scale_[g][b] = int16_t(sf - 100);
            }
        }
    }
    r.skip(int64_t(bits.taken()));
    return 0;
}

namespace {

// An escape's magnitude, or -1 past 32 prefix ones or above the largest quantised value.
template <class Bits>
int readEscape(Bits& bits) {
    int n = 4;
    while (bits.read(1)) {
        if (++n > 32) return -1;
    }
    const uint64_t low = n > 16 ? (uint64_t(bits.read(n - 16)) << 16) | bits.read(16) : bits.read(n);
    const uint64_t mag = (uint64_t(1) << n) + low;
    return mag > 8191 ? -1 : int(mag);
}

float bandGain(const QuantTables& t, int sv) {
    if (sv == -100) return 0.0f;  // scale factor 0 silences the band
    return aaccore::scaleGain(t, sv);
}

}  // namespace

int decapl60::ReadSpectralData(BitReader& r) {
    // The lines are read through a local cursor over the frame's bytes; the reader moves on
    // by what it took when the loop ends, however it ends.
    aaccore::BitCursor<aaccore::ByteSource> bits(aaccore::ByteSource{r.data, r.count, r.position()});
    struct Advance {
        BitReader& r;
        const aaccore::BitCursor<aaccore::ByteSource>& bits;
        ~Advance() { r.skip(int64_t(bits.taken())); }
    } advance{r, bits};
    const IcsInfo& ics = *ics_;
    const QuantTables& t = quant();
    const uint16_t* offs = ics.swbOffset();
    const bool shortWin = ics.isShort();
    // Pulses change quantised values, so with pulse data the lines are dequantised afterwards.
    const bool fused = shortWin || !pulse_.present;
    int window = 0;
    for (int g = 0; g < ics.numGroups; ++g) {
        for (int b = 0; b < ics.maxSfb; ++b) {
            const int cb = codebooks_[g][b];
            if (cb == 0 || cb >= 13) continue;
            const HuffmanBook& book = huffmanBook(cb);
            const int dim = book.dimension;
            const float gain = fused ? bandGain(t, scale_[g][b]) : 1.0f;
            for (int w = 0; w < ics.groupLength[g]; ++w) {
                float* s = shortWin ? spectrum_ + 256 * (window + w) : spectrum_;
                if (fused && cb != 11) {
                    // The common case: magnitudes straight from the codeword's table row.
                    aaccore::decodeScaledLines(book, bits, s + offs[b], offs[b + 1] - offs[b], gain);
                    continue;
                }
                if (fused) {
                    if (!aaccore::decodeEscapedLines(book, bits, s + offs[b], offs[b + 1] - offs[b], gain, t,
                                                     readEscape<aaccore::BitCursor<aaccore::ByteSource>>))
                        return kCoreBadEscape;
                    continue;
                }
                for (int k = offs[b]; k < offs[b + 1]; k += dim) {
                    const int8_t* v = book.values[aaccore::decodeHuffmanIndex(book, bits)];
                    int q[4];
                    if (book.isSigned) {
                        for (int i = 0; i < dim; ++i)
                            q[i] = v[i];
                    } else {
                        int nonZero = 0;
                        for (int i = 0; i < dim; ++i) {
                            q[i] = v[i];
                            nonZero += q[i] != 0;
                        }
                        if (nonZero) {
                            // One sign bit per non-zero value, first value first.
                            uint32_t signs = bits.read(nonZero) << (32 - nonZero);
                            for (int i = 0; i < dim; ++i) {
                                const uint32_t used = q[i] != 0;
                                const int negate = -int((signs >> 31) & used);
                                q[i] = (q[i] ^ negate) - negate;
                                signs <<= used;
                            }
                        }
                        if (cb == 11) {
                            for (int i = 0; i < dim; ++i) {
                                if (q[i] != 16 && q[i] != -16) continue;
                                const int mag = readEscape(bits);
                                if (mag < 0) return kCoreBadEscape;
                                q[i] = q[i] < 0 ? -mag : mag;
                            }
                        }
                    }
                    for (int i = 0; i < dim; ++i)
                        s[k + i] = float(q[i]);
                }
            }
        }
        window += ics.groupLength[g];
    }
    if (!fused) {
        for (int i = 0; i <= pulse_.numberPulse; ++i) {
            float& q = spectrum_[pulse_.position[i]];
            q = q > 0 ? q + float(pulse_.amp[i]) : q - float(pulse_.amp[i]);
        }
        dequantise();
    }
    return 0;
}

void decapl60::dequantise() {
    const IcsInfo& ics = *ics_;
    const QuantTables& t = quant();
    const uint16_t* offs = ics.swbOffset();
    const bool shortWin = ics.isShort();
    int window = 0;
    for (int g = 0; g < ics.numGroups; ++g) {
        for (int b = 0; b < ics.maxSfb; ++b) {
            const int cb = codebooks_[g][b];
            if (cb == 0 || cb >= 13) continue;
            const float gain = bandGain(t, scale_[g][b]);
            for (int w = 0; w < ics.groupLength[g]; ++w) {
                float* s = shortWin ? spectrum_ + 256 * (window + w) : spectrum_;
                for (int k = offs[b]; k < offs[b + 1]; ++k) {
                    const float q = s[k];
                    if (q == 0.0f) continue;
                    const float m = magnitude43(t, int(std::fabs(q)));
                    s[k] = (q < 0 ? -m : m) * gain;
                }
            }
        }
        window += ics.groupLength[g];
    }
}

void decapl60::ApplyNoiseAndTns(const uint8_t (*msFlags)[64], int channel, NoiseGenerator& gen) {
    if (pnsEnabled_)
        generateNoise(
            noise_, *ics_, [this](int w) { return GetSpectrum(w); }, gen, msFlags, channel);
    applyTns(tns_, *ics_, [this](int w) { return GetSpectrum(w); });
}

void decapl60::SynthesizeInt16(OverlapState& ov, int16_t* out, int stride) {
    float tmp[1024];
    SynthesizeFloat(ov, tmp, 1);
    for (int i = 0; i < 1024; ++i)
        out[i * stride] = sampleToInt16(tmp[i]);
}

void decapl60::FlushOverlapFloat(OverlapState& ov, float* out, int stride) {
    for (int i = 0; i < 1024; ++i)
        out[i * stride] = finite(ov.samples[i]);
    std::memset(ov.samples, 0, sizeof(ov.samples));
}

void decapl60::FlushOverlapInt16(OverlapState& ov, int16_t* out, int stride) {
    for (int i = 0; i < 1024; ++i)
        out[i * stride] = sampleToInt16(ov.samples[i]);
    std::memset(ov.samples, 0, sizeof(ov.samples));
}

decapl70::decapl70(IcsInfo* ics) : decapl60(ics) { sectionBits_ = 5; }

void decapl70::SynthesizeFloat(OverlapState& ov, float* out, int stride) {
    const int seq = ics_->windowSequence;
    LongWindowing w;
    w.risingShape = ov.shape & 1;
    w.fallingShape = ics_->windowShape & 1;
    w.shortRising = seq == kLongStop || seq == kStopStart;
    w.shortFalling = seq == kLongStart || seq == kStopStart;
    float samples[1024];
    synthesizeLong(spectrum_, w, ov.samples, samples);
    if (out) storeFinite(samples, out, stride);
    ov.shape = w.fallingShape;
}

decapl79::decapl79(IcsInfo* ics) : decapl60(ics) { sectionBits_ = 3; }

void decapl79::SynthesizeFloat(OverlapState& ov, float* out, int stride) {
    float acc[2048];
    std::memset(acc, 0, sizeof(acc));
    const int shape = ics_->windowShape & 1;
    const float* fall = shortWindow(shape);
    for (int w = 0; w < 8; ++w) {
        float* buf = spectrum_ + 256 * w;
        imdctShort(buf);
        const float* rise = shortWindow(w == 0 ? (ov.shape & 1) : shape);
        float* dst = acc + 448 + 128 * w;
        for (int i = 0; i < 128; ++i) {
            dst[i] += buf[i] * rise[i];
            dst[128 + i] += buf[128 + i] * fall[127 - i];
        }
    }
    if (out) {
        float samples[1024];
        for (int i = 0; i < 1024; ++i)
            samples[i] = acc[i] + ov.samples[i];
        storeFinite(samples, out, stride);
    }
    std::memcpy(ov.samples, acc + 1024, sizeof(ov.samples));
    ov.shape = shape;
}

decapl60* IcsStorage::build(IcsInfo* ics) {
    destroy();
    if (ics->isShort())
        object_ = new (bytes_) decapl79(ics);
    else
        object_ = new (bytes_) decapl70(ics);
    return object_;
}

void IcsStorage::destroy() {
    if (object_) {
        object_->~decapl60();
        object_ = nullptr;
    }
}

}  // namespace aacplus
