#include "VlbStreamWriter.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

#include "codecs/aactables/tables/AacTables.h"
#include "codecs/vlb/VlbExtension.h"
#include "codecs/vlb/VlbExtensionTables.h"

namespace vlbtest {

void BitWriter::Put(uint32_t value, unsigned bits) {
    for (unsigned i = bits; i-- > 0;) {
        if (bits_ % 8 == 0) bytes_.push_back(0);
        if ((value >> i) & 1) bytes_.back() |= static_cast<uint8_t>(0x80 >> (bits_ % 8));
        ++bits_;
    }
}

void BitWriter::AlignZero() {
    while (bits_ % 8)
        Put(0, 1);
}

namespace {

void PutEntry(BitWriter& w, const aactables::HuffmanEntry& e) { w.Put(e.codeword, e.length); }

void WriteScaleFactorDelta(BitWriter& w, int delta) {
    PutEntry(w, aactables::kScaleFactorCodebook.entries[delta + 60]);
}

// Codeword (and sign bits) for `dim` quantised values of a spectral codebook; |v| < 16.
void WriteValues(BitWriter& w, unsigned cb, const int* v) {
    const auto& book = aactables::kSpectralCodebooks[cb];
    const auto& info = aactables::kSpectralCodebookInfo[cb];
    for (unsigned i = 0; i < book.count; ++i) {
        const auto& e = book.entries[i];
        bool match = true;
        for (unsigned d = 0; d < info.dimension; ++d) {
            int want = info.isSigned ? v[d] : std::abs(v[d]);
            if (e.values[d] != want) match = false;
        }
        if (!match) continue;
        PutEntry(w, e);
        if (!info.isSigned)
            for (unsigned d = 0; d < info.dimension; ++d)
                if (v[d] != 0) w.Put(v[d] < 0 ? 1 : 0, 1);
        return;
    }
    throw std::invalid_argument("value out of the codebook's range");
}

struct Groups {
    unsigned count = 1;
    unsigned length[8] = {1};
};

Groups GroupsOf(const IcsSpec& ics) {
    Groups g;
    if (ics.windowSequence != 2) return g;
    for (int bit = 6; bit >= 0; --bit) {
        if ((ics.grouping >> bit) & 1)
            ++g.length[g.count - 1];
        else
            g.length[g.count++] = 1;
    }
    return g;
}

}  // namespace

void WriteSpectralValues(BitWriter& w, unsigned codebook, const int* values) { WriteValues(w, codebook, values); }
void WriteScaleFactor(BitWriter& w, int delta) { WriteScaleFactorDelta(w, delta); }

unsigned UpperBin(const IcsSpec& ics, uint32_t samplingIndex) {
    samplingIndex = samplingIndex > 11 ? 11 : samplingIndex;
    const auto& t =
        ics.windowSequence == 2 ? aactables::kSwbOffsetShort[samplingIndex] : aactables::kSwbOffsetLong[samplingIndex];
    return t.offsets[ics.maxSfb];
}

void WriteIcsInfo(BitWriter& w, const IcsSpec& ics) {
    w.Put(0, 1);
    w.Put(ics.windowSequence, 2);
    w.Put(ics.windowShape, 1);
    if (ics.windowSequence == 2) {
        w.Put(ics.maxSfb, 4);
        w.Put(ics.grouping, 7);
    } else {
        w.Put(ics.maxSfb, 6);
        w.Put(ics.predictor, 1);
    }
}

void WriteIcs(BitWriter& w, const IcsSpec& ics, uint32_t samplingIndex, bool withInfo) {
    samplingIndex = samplingIndex > 11 ? 11 : samplingIndex;  // rows without tables write as 8000 Hz
    const bool isShort = ics.windowSequence == 2;
    const Groups groups = GroupsOf(ics);
    w.Put(ics.globalGain, 8);
    if (withInfo) WriteIcsInfo(w, ics);
    const unsigned sectBits = isShort ? 3 : 5, escape = (1u << sectBits) - 1;
    if (ics.sections) {
        ics.sections(w);
    } else {
        for (unsigned g = 0; g < groups.count; ++g) {
            if (ics.maxSfb == 0) continue;
            w.Put(ics.codebook, 4);
            unsigned len = ics.maxSfb;
            while (len >= escape) {
                w.Put(escape, sectBits);
                len -= escape;
            }
            w.Put(len, sectBits);
        }
    }
    const bool coded = ics.codebook >= 1 && ics.codebook <= 11;
    if (!ics.sections)
        for (unsigned g = 0; g < groups.count; ++g)
            for (unsigned b = 0; b < ics.maxSfb; ++b)
                if (ics.codebook != 0) WriteScaleFactorDelta(w, 0);
    w.Put(ics.pulse ? 1 : 0, 1);
    if (ics.pulse) ics.pulse(w);
    w.Put(ics.tns ? 1 : 0, 1);
    if (ics.tns) ics.tns(w);
    w.Put(0, 1);  // gain control
    if (ics.spectral) {
        ics.spectral(w);
        return;
    }
    if (!coded || ics.sections) return;
    const auto& table = isShort ? aactables::kSwbOffsetShort[samplingIndex] : aactables::kSwbOffsetLong[samplingIndex];
    const unsigned dim = aactables::kSpectralCodebookInfo[ics.codebook].dimension;
    std::vector<int> q = ics.quantized;
    q.resize(1024, 0);
    unsigned window = 0;
    for (unsigned g = 0; g < groups.count; ++g) {
        for (unsigned b = 0; b < ics.maxSfb; ++b)
            for (unsigned wi = 0; wi < groups.length[g]; ++wi)
                for (unsigned k = table.offsets[b]; k < table.offsets[b + 1]; k += dim)
                    WriteValues(w, ics.codebook, &q[(window + wi) * (isShort ? 128 : 0) + k]);
        window += groups.length[g];
    }
}

void WriteExtensionPayload(BitWriter& w, const FrameSpec& spec, unsigned channels) {
    const ExtensionSpec& x = spec.extension;
    w.Put(x.version, 3);
    w.Put(0, 2);
    w.Put(x.tableSet, 1);
    w.Put(x.rateFlag, 1);
    const uint32_t rate = aactables::kSampleRates[spec.samplingIndex];
    for (unsigned c = 0; c < channels; ++c) {
        const IcsSpec& ics = spec.ics[c];
        const bool isShort = ics.windowSequence == 2;
        w.Put(x.topBandReduction, 3);
        uint16_t widths[kVlbMaxExtensionBands];
        unsigned bands = VlbExtensionBands(rate, isShort, x.doubleRate, UpperBin(ics, spec.samplingIndex), widths);
        bands = bands > x.topBandReduction ? bands - x.topBandReduction : 0;
        const Groups groups = GroupsOf(ics);
        const auto& codes = vlbext::DeltaCodes(x.tableSet, isShort);
        for (unsigned g = 0; g < groups.count; ++g) {
            w.Put(isShort ? (x.blendStart & 15) : x.blendStart, isShort ? 4 : 8);
            if (!isShort) w.Put(x.chirpIndex, 3);
            if (ics.maxSfb > 0 && ics.codebook >= 1 && ics.codebook <= 11) w.Put(x.noiseIndex, isShort ? 3 : 4);
            if (bands == 0) continue;
            w.Put(isShort ? (x.firstValue & 127) : x.firstValue, isShort ? 7 : 8);
            for (unsigned b = 1; b < bands; ++b) {
                bool written = false;
                for (unsigned i = 0; i < codes.count; ++i)
                    if (codes.entries[i].delta == x.delta) {
                        w.Put(codes.entries[i].code, codes.entries[i].length);
                        written = true;
                    }
                if (!written) throw std::invalid_argument("delta out of range");
            }
        }
    }
}

std::vector<uint8_t> MakeFrame(const FrameSpec& spec, FrameLayout* layout) {
    BitWriter body;
    const size_t headerBits = spec.protectionAbsent ? 56 : 72;
    for (uint32_t block = 0; block <= spec.rawBlocks; ++block) {
        if (spec.rawBlock) {
            spec.rawBlock(body);
        } else {
            body.Put(spec.pair ? 1 : 0, 3);
            if (layout && block == 0) layout->elementStart = headerBits + body.Bits();
            body.Put(spec.tag, 4);
            if (spec.pair) {
                body.Put(spec.commonWindow, 1);
                if (spec.commonWindow) {
                    WriteIcsInfo(body, spec.ics[0]);
                    body.Put(spec.msMaskPresent, 2);
                    if (spec.msMaskPresent == 1) {
                        Groups g = GroupsOf(spec.ics[0]);
                        for (unsigned i = 0; i < g.count * spec.ics[0].maxSfb; ++i)
                            body.Put(1, 1);
                    }
                }
                WriteIcs(body, spec.ics[0], spec.samplingIndex, !spec.commonWindow);
                if (layout && block == 0) layout->secondIcs = headerBits + body.Bits();
                WriteIcs(body, spec.ics[1], spec.samplingIndex, !spec.commonWindow);
            } else {
                WriteIcs(body, spec.ics[0], spec.samplingIndex, true);
            }
            if (layout && block == 0) layout->elementEnd = headerBits + body.Bits();
            if (spec.withExtension) {
                BitWriter payload;
                payload.Put(15, 4);  // extension_type
                WriteExtensionPayload(payload, spec, spec.pair ? 2 : 1);
                if (spec.extension.badPadding) payload.Put(1, 1);
                payload.AlignZero();
                for (unsigned i = 0; i < spec.extension.extraZeroBytes; ++i)
                    payload.Put(0, 8);
                unsigned count = static_cast<unsigned>(payload.Bits() / 8);
                if (spec.extension.truncate) count = count > 2 ? count / 2 : 1;
                body.Put(6, 3);
                if (count < 15) {
                    body.Put(count, 4);
                } else {
                    body.Put(15, 4);
                    body.Put(count - 14, 8);
                }
                const auto& bytes = payload.Bytes();
                for (unsigned i = 0; i < count && i < bytes.size(); ++i)
                    body.Put(bytes[i], 8);
                for (unsigned i = static_cast<unsigned>(bytes.size()); i < count; ++i)
                    body.Put(0, 8);
            }
            if (spec.extraElements) spec.extraElements(body);
            body.Put(7, 3);
        }
        body.AlignZero();
    }
    BitWriter frame;
    const uint32_t length = static_cast<uint32_t>(body.Bytes().size()) + (spec.protectionAbsent ? 7 : 9);
    frame.Put(0xFFF, 12);
    frame.Put(spec.id, 1);
    frame.Put(0, 2);
    frame.Put(spec.protectionAbsent, 1);
    frame.Put(spec.profile, 2);
    frame.Put(spec.samplingIndex, 4);
    frame.Put(0, 1);
    frame.Put(spec.pair ? 2 : 1, 3);
    frame.Put(0, 4);
    frame.Put(spec.frameLengthOverride >= 0 ? static_cast<uint32_t>(spec.frameLengthOverride) : length, 13);
    frame.Put(0x7FF, 11);
    frame.Put(spec.rawBlocks, 2);
    if (!spec.protectionAbsent) frame.Put(0, 16);  // CRC filled in by the caller's test
    std::vector<uint8_t> out = frame.Bytes();
    out.insert(out.end(), body.Bytes().begin(), body.Bytes().end());
    return out;
}

uint16_t ExpectedAdtsCrc(const std::vector<uint8_t>& frame, const FrameLayout& layout) {
    uint32_t crc = 0xFFFF;
    auto bit = [&](size_t i) { return (frame[i / 8] >> (7 - i % 8)) & 1u; };
    auto feed = [&](unsigned b) {
        unsigned top = (crc >> 15) & 1;
        crc = (crc << 1) & 0xFFFF;
        if (top != b) crc ^= 0x8005;
    };
    auto region = [&](size_t from, size_t to, size_t limit) {
        size_t n = std::min(to - from, limit);
        for (size_t i = 0; i < n; ++i)
            feed(bit(from + i));
        for (size_t i = n; i < limit; ++i)
            feed(0);
    };
    for (size_t i = 0; i < 56; ++i)
        feed(bit(i));
    if (layout.secondIcs) {
        region(layout.elementStart, layout.elementEnd, 192);
        region(layout.secondIcs, layout.elementEnd, 128);
    } else {
        region(layout.elementStart, layout.elementEnd, 192);
    }
    return static_cast<uint16_t>(crc);
}

std::vector<uint8_t> Join(const std::vector<std::vector<uint8_t>>& frames) {
    std::vector<uint8_t> all;
    for (const auto& f : frames)
        all.insert(all.end(), f.begin(), f.end());
    return all;
}

std::vector<int> Tone(bool shortWindows, unsigned line, int amplitude) {
    std::vector<int> q(1024, 0);
    if (shortWindows) {
        for (unsigned w = 0; w < 8; ++w)
            q[w * 128 + line % 128] = amplitude;
    } else {
        q[line] = amplitude;
    }
    return q;
}

}  // namespace vlbtest
