#include "codecs/vlb/ChannelElement.h"

#include <cmath>
#include <cstring>

#include "codecs/aaccore/Huffman.h"
#include "codecs/aaccore/Quant.h"
#include "codecs/aaccore/Spectrum.h"
#include "codecs/aaccore/Stereo.h"
#include "codecs/aaccore/Tns.h"
#include "codecs/aactables/tables/AacTables.h"
#include "codecs/vlb/VlbIO.h"

namespace {

using vlb::kEightShort;

unsigned DecodeHuffman(CVlbBitStream& bs, const aactables::HuffmanCodebook& book) {
    int node = 0;
    for (unsigned depth = 0; depth <= book.maxLength; ++depth) {
        int child = book.tree[node].child[bs.Get(1) & 1];
        if (child < 0) return static_cast<unsigned>(~child);
        node = child;
    }
    throw CBlock::EInvalidCodeBook();
}

// The ring from the reader's position on, for the shared bit cursor.
struct RingSource {
    const CBitBuffer* ring;
    uint64_t word(uint64_t bit) const { return ring->PeekAt(static_cast<uint32_t>(bit)); }
};

// The core's codewords straight from the ring: the shared table look-up over a local bit
// cache, and no virtual call per read. The ring moves on when the reader goes, also when a
// bad codeword throws, as reading bit by bit would have left it.
class RingReader {
public:
    static constexpr bool kPeeks = true;
    explicit RingReader(CBitBuffer& ring) : ring_(ring), bits_(RingSource{&ring}) {}
    RingReader(const RingReader&) = delete;
    RingReader& operator=(const RingReader&) = delete;
    ~RingReader() { ring_.Skip(static_cast<uint32_t>(bits_.taken())); }

    unsigned Index(const aaccore::HuffmanBook& book, unsigned) {
        return static_cast<unsigned>(aaccore::decodeHuffmanIndex(book, bits_));
    }
    unsigned Bits(unsigned n) { return bits_.read(static_cast<int>(n)); }
    // A band of books 1..10 through the shared kernel.
    void ScaledLines(const aaccore::HuffmanBook& book, float* spectrum, int lines, float gain) {
        aaccore::decodeScaledLines(book, bits_, spectrum, lines, gain);
    }
    // A band of book 11; false at an escape longer than the standard allows.
    bool EscapedLines(const aaccore::HuffmanBook& book, float* spectrum, int lines, float gain,
                      const aaccore::QuantTables& t) {
        return aaccore::decodeEscapedLines(book, bits_, spectrum, lines, gain, t,
                                           [](aaccore::BitCursor<RingSource>& r) {
                                               int n = 4;
                                               while (r.read(1)) {
                                                   // At most eight ones: a 12-bit escape word.
                                                   if (++n > 12) return -1;
                                               }
                                               return (1 << n) + static_cast<int>(r.read(n));
                                           });
    }

private:
    CBitBuffer& ring_;
    aaccore::BitCursor<RingSource> bits_;
};

// Any other bit stream: one bit at a time down the codebook's tree.
struct StreamReader {
    static constexpr bool kPeeks = false;
    CVlbBitStream& bs;
    unsigned Index(const aaccore::HuffmanBook&, unsigned book) {
        return DecodeHuffman(bs, book == 12 ? aactables::kScaleFactorCodebook : aactables::kSpectralCodebooks[book]);
    }
    unsigned Bits(unsigned n) {
        unsigned v = 0;
        for (; n > 16; n -= 16)
            v = (v << 16) | bs.Get(16);
        return (v << n) | bs.Get(n);
    }
};

template <class Reader>
void DecodeBandWith(Reader& r, const aaccore::HuffmanBook& book, unsigned codebook, unsigned lines, int* q,
                    float* spectrum, float gain, const aaccore::QuantTables& t) {
    const unsigned dim = static_cast<unsigned>(book.dimension);
    const bool escape = codebook == 11;
    for (unsigned k = 0; k < lines; k += dim) {
        const unsigned index = r.Index(book, codebook);
        int v[4];
        for (unsigned d = 0; d < dim; ++d)
            v[d] = book.values[index][d];
        if (!book.isSigned && book.nonZero[index] != 0) {
            // One sign bit per non-zero value, first value first.
            const unsigned count = book.nonZero[index];
            uint32_t signs = r.Bits(count) << (32 - count);
            for (unsigned d = 0; d < dim; ++d) {
                if (v[d] == 0) continue;
                if (signs & 0x80000000u) v[d] = -v[d];
                signs <<= 1;
            }
        }
        if (escape) {
            for (unsigned d = 0; d < dim; ++d) {
                int magnitude = v[d] < 0 ? -v[d] : v[d];
                if (magnitude != 16) continue;
                unsigned n = 4;
                while (r.Bits(1)) {
                    // The standard allows at most eight ones (a 12-bit escape word).
                    if (++n > 12) throw CBlock::EInvalidCodeBook();
                }
                int value = (1 << n) + static_cast<int>(r.Bits(n));
                v[d] = v[d] < 0 ? -value : value;
            }
        }
        const unsigned end = k + dim < lines ? dim : lines - k;
        if (q != nullptr) {
            for (unsigned d = 0; d < end; ++d)
                q[k + d] = v[d];
        } else if (gain != 0.0f) {
            for (unsigned d = 0; d < end; ++d) {
                const float m = aaccore::magnitude43(t, v[d] < 0 ? -v[d] : v[d]) * gain;
                spectrum[k + d] = v[d] < 0 ? -m : m;
            }
        }
    }
}

VlbBandTable MakeBandTable(uint32_t index) {
    VlbBandTable t;
    if (index >= 12) return t;
    t.longOffsets = aactables::kSwbOffsetLong[index].offsets;
    t.longBands = static_cast<unsigned>(aactables::kSwbOffsetLong[index].numSwb);
    t.shortOffsets = aactables::kSwbOffsetShort[index].offsets;
    t.shortBands = static_cast<unsigned>(aactables::kSwbOffsetShort[index].numSwb);
    t.tnsMaxLong = aactables::kTnsMaxBandsLong[index];
    t.tnsMaxShort = aactables::kTnsMaxBandsShort[index];
    t.rate = aactables::kSampleRates[index];
    return t;
}

struct BandTables {
    VlbBandTable rows[16];
    BandTables() {
        for (uint32_t i = 0; i < 16; ++i)
            rows[i] = MakeBandTable(i);
    }
};

// Scratch for the core synthesis; the library decodes on one thread at a time.
std::vector<float>& SynthesisWork() {
    static thread_local std::vector<float> work(2048);
    return work;
}

}  // namespace

const VlbBandTable& VlbBandsForIndex(uint32_t samplingIndex) {
    static const BandTables tables;
    return tables.rows[samplingIndex & 15];
}

// ---------------------------------------------------------------------------------------
// ics_info

void CChannelInfo::Reset(const AacStreamInfo& info) {
    samplingIndex = info.samplingIndex;
    profile = info.profile;
    valid = false;
}

const uint16_t* CChannelInfo::Offsets() const {
    const VlbBandTable& t = VlbBandsForIndex(samplingIndex);
    return IsShort() ? t.shortOffsets : t.longOffsets;
}

void CChannelInfo::Read(CVlbBitStream& bs) {
    icsReservedBit.Read(bs);
    windowSequence.Read(bs);
    windowShape.Read(bs);
    const VlbBandTable& t = VlbBandsForIndex(samplingIndex);
    if (IsShort()) {
        maxSfb.SetWidth(4);
        maxSfb.Read(bs);
        scaleFactorGrouping.Read(bs);
        numGroups = 1;
        groupLength[0] = 1;
        for (int bit = 6; bit >= 0; --bit) {
            if ((scaleFactorGrouping.Value() >> bit) & 1) {
                ++groupLength[numGroups - 1];
            } else {
                groupLength[numGroups++] = 1;
            }
        }
        numSwb = t.shortBands;
    } else {
        maxSfb.SetWidth(6);
        maxSfb.Read(bs);
        predictorDataPresent.Read(bs);
        if (predictorDataPresent.Value()) throw EIllegalProfile();
        numGroups = 1;
        groupLength[0] = 1;
        numSwb = t.longBands;
    }
    // More bands than the rate has would index past the band tables.
    if (maxSfb.Value() > numSwb) throw CBlock::EInvalidCodeBook();
    valid = true;
}

// ---------------------------------------------------------------------------------------
// Blocks

CBlock::CBlock(CChannelInfo& info) : info_(info), short_(info.IsShort()), sectionBits_(info.IsShort() ? 3 : 5) {}

void CBlock::Read(CVlbBitStream& bs, uint32_t globalGain) {
    ReadSectionData(bs);
    ReadScaleFactors(bs, globalGain);
    pulse_.present = bs.Get(1);
    if (pulse_.present) ReadPulseData(bs);
    tns_.present = bs.Get(1);
    if (tns_.present) ReadTnsData(bs);
    if (bs.Get(1)) throw EUnimplemented();  // gain control (SSR)
    ReadSpectralData(bs);
    Dequantize();
}

void CBlock::ReadSectionData(CVlbBitStream& bs) {
    const unsigned maxSfb = info_.maxSfb.Value();
    const unsigned escape = (1u << sectionBits_) - 1;
    for (unsigned g = 0; g < info_.numGroups; ++g) {
        unsigned k = 0, count = 0;
        while (k < maxSfb) {
            if (count >= maxSfb || bs.IsOverrun()) throw EInvalidCodeBook();  // more sections than bands
            unsigned cb = bs.Get(4);
            if (cb == 12 || cb == 13) throw EInvalidCodeBook();
            unsigned length = 0, increment;
            do {
                increment = bs.Get(sectionBits_);
                length += increment;
                if (k + length > maxSfb) throw EInvalidCodeBook();
            } while (increment == escape);
            sections_.codebook[g][count] = static_cast<uint8_t>(cb);
            sections_.start[g][count] = static_cast<uint8_t>(k);
            sections_.end[g][count] = static_cast<uint8_t>(k + length);
            for (unsigned b = k; b < k + length; ++b)
                bandCodebook_[g][b] = static_cast<uint8_t>(cb);
            k += length;
            ++count;
        }
        if (maxSfb < info_.numSwb) {
            sections_.codebook[g][count] = 0;
            sections_.start[g][count] = static_cast<uint8_t>(maxSfb);
            sections_.end[g][count] = static_cast<uint8_t>(info_.numSwb);
            ++count;
        }
        sections_.count[g] = count;
        for (unsigned b = maxSfb; b < 64; ++b)
            bandCodebook_[g][b] = 0;
    }
}

namespace {

template <class Reader>
void ReadScaleFactorsWith(Reader& r, const CChannelInfo& info, const uint8_t (*bandCodebook)[64],
                          int (*scaleFactor)[64], uint32_t globalGain) {
    const aaccore::HuffmanBook& book = aaccore::huffmanBook(12);
    int sf = static_cast<int>(globalGain);
    int position = 0;
    const unsigned maxSfb = info.maxSfb.Value();
    for (unsigned g = 0; g < info.numGroups; ++g) {
        for (unsigned b = 0; b < maxSfb; ++b) {
            unsigned cb = bandCodebook[g][b];
            if (cb == 0) {
                scaleFactor[g][b] = 0;
            } else if (cb == 14 || cb == 15) {
                position += static_cast<int>(r.Index(book, 12)) - 60;
                // Keep the intensity scale a finite float whatever the stream says.
                if (position > 155) position = 155;
                if (position < -155) position = -155;
                scaleFactor[g][b] = position - 100;
            } else {
                sf += static_cast<int>(r.Index(book, 12)) - 60;
                if (sf < 0 || sf > 255) throw CBlock::EInvalidCodeBook();
                scaleFactor[g][b] = sf - 100;
            }
        }
    }
}

}  // namespace

void CBlock::ReadScaleFactors(CVlbBitStream& bs, uint32_t globalGain) {
    if (auto* ring = dynamic_cast<CBitBuffer*>(&bs)) {
        RingReader r(*ring);
        ReadScaleFactorsWith(r, info_, bandCodebook_, scaleFactor_, globalGain);
    } else {
        StreamReader r{bs};
        ReadScaleFactorsWith(r, info_, bandCodebook_, scaleFactor_, globalGain);
    }
}

void CBlock::ReadPulseData(CVlbBitStream& bs) {
    pulse_.count = bs.Get(2);
    pulse_.startSfb = bs.Get(6);
    for (unsigned i = 0; i <= pulse_.count; ++i) {
        pulse_.offset[i] = bs.Get(5);
        pulse_.amp[i] = bs.Get(4);
    }
    if (!short_ && pulse_.startSfb >= info_.numSwb) throw EInvalidCodeBook();
}

void CBlock::ReadTnsData(CVlbBitStream& bs) {
    const unsigned windows = info_.WindowCount();
    for (unsigned w = 0; w < windows; ++w) {
        tns_.nFilt[w] = bs.Get(short_ ? 1 : 2);
        if (tns_.nFilt[w]) tns_.coefRes[w] = bs.Get(1);
        for (unsigned f = 0; f < tns_.nFilt[w]; ++f) {
            TnsData::Filter& filter = tns_.filter[w][f];
            filter.length = bs.Get(short_ ? 4 : 6);
            filter.order = bs.Get(short_ ? 3 : 5);
            // Low complexity allows order 12 for long windows (7 for short).
            if (filter.order > 12) throw EInvalidCodeBook();
            if (filter.order) {
                filter.direction = bs.Get(1);
                filter.coefCompress = bs.Get(1);
                unsigned bits = tns_.coefRes[w] + 3 - filter.coefCompress;
                for (unsigned i = 0; i < filter.order; ++i) {
                    unsigned v = bs.Get(bits);
                    filter.coef[i] = (v & (1u << (bits - 1))) ? static_cast<int>(v) - (1 << bits) : static_cast<int>(v);
                }
            }
        }
    }
}

template <class Reader>
void CBlock::ReadBandsWith(Reader& r) {
    const uint16_t* offsets = info_.Offsets();
    const unsigned maxSfb = info_.maxSfb.Value();
    const aaccore::HuffmanBook* books = aaccore::huffmanBooks();
    const aaccore::QuantTables& t = aaccore::quantTables();
    unsigned window = 0;
    for (unsigned g = 0; g < info_.numGroups; ++g) {
        for (unsigned b = 0; b < maxSfb; ++b) {
            const unsigned cb = bandCodebook_[g][b];
            if (cb == 0 || cb > 11) continue;
            const unsigned lines = offsets[b + 1] - offsets[b];
            const int stored = scaleFactor_[g][b];
            const float gain = !dequantized_ || stored == -100 ? 0.0f : aaccore::scaleGain(t, stored);
            const aaccore::HuffmanBook& book = books[cb];
            for (unsigned w = 0; w < info_.groupLength[g]; ++w) {
                const unsigned at = (window + w) * 128 + offsets[b];
                if (!dequantized_) {
                    DecodeBandWith(r, book, cb, lines, quantized_ + at, nullptr, 0.0f, t);
                } else if constexpr (Reader::kPeeks) {
                    if (cb != 11)
                        r.ScaledLines(book, spectrum_ + at, static_cast<int>(lines), gain);
                    else if (!r.EscapedLines(book, spectrum_ + at, static_cast<int>(lines), gain, t))
                        throw EInvalidCodeBook();
                } else {
                    DecodeBandWith(r, book, cb, lines, nullptr, spectrum_ + at, gain, t);
                }
            }
        }
        window += info_.groupLength[g];
    }
}

void CBlock::ReadBands(CVlbBitStream& bs) {
    if (auto* ring = dynamic_cast<CBitBuffer*>(&bs)) {
        RingReader r(*ring);
        ReadBandsWith(r);
    } else {
        StreamReader r{bs};
        ReadBandsWith(r);
    }
}

void CBlock::Dequantize() {
    if (dequantized_) return;
    const uint16_t* offsets = info_.Offsets();
    std::memset(spectrum_, 0, sizeof spectrum_);
    if (offsets == nullptr) return;
    const aaccore::QuantTables& t = aaccore::quantTables();
    const unsigned maxSfb = info_.maxSfb.Value();
    unsigned window = 0;
    for (unsigned g = 0; g < info_.numGroups; ++g) {
        for (unsigned w = 0; w < info_.groupLength[g]; ++w, ++window) {
            const unsigned base = short_ ? window * 128 : 0;
            for (unsigned b = 0; b < maxSfb; ++b) {
                unsigned cb = bandCodebook_[g][b];
                if (cb == 0 || cb > 11) continue;
                int stored = scaleFactor_[g][b];
                if (stored == -100) continue;
                const float gain = aaccore::scaleGain(t, stored);
                for (unsigned k = offsets[b]; k < offsets[b + 1]; ++k) {
                    int v = quantized_[base + k];
                    float m = aaccore::magnitude43(t, v < 0 ? -v : v) * gain;
                    spectrum_[base + k] = v < 0 ? -m : m;
                }
            }
        }
    }
}

void CLongBlock::ReadSpectralData(CVlbBitStream& bs) {
    const uint16_t* offsets = info_.Offsets();
    if (offsets == nullptr) throw EInvalidCodeBook();
    // Pulses change quantised values: with pulse data the lines are dequantised afterwards.
    dequantized_ = !pulse_.present;
    std::memset(dequantized_ ? static_cast<void*>(spectrum_) : static_cast<void*>(quantized_), 0, sizeof spectrum_);
    ReadBands(bs);
    if (pulse_.present) {
        unsigned k = offsets[pulse_.startSfb];
        for (unsigned i = 0; i <= pulse_.count; ++i) {
            k += pulse_.offset[i];
            if (k >= 1024) throw EInvalidCodeBook();  // a pulse beyond the block
            int amp = static_cast<int>(pulse_.amp[i]);
            quantized_[k] += quantized_[k] > 0 ? amp : -amp;
        }
    }
}

void CShortBlock::ReadSpectralData(CVlbBitStream& bs) {
    const uint16_t* offsets = info_.Offsets();
    if (offsets == nullptr) throw EInvalidCodeBook();
    // Short windows carry no pulses, so the lines go straight to the spectrum.
    dequantized_ = true;
    std::memset(spectrum_, 0, sizeof spectrum_);
    ReadBands(bs);
}

void CBlock::ApplyTns(float* spectrum, unsigned stride) const {
    if (!tns_.present) return;
    const VlbBandTable& t = VlbBandsForIndex(info_.samplingIndex);
    const uint16_t* offsets = info_.Offsets();
    if (offsets == nullptr) return;
    const unsigned tnsMax = short_ ? t.tnsMaxShort : t.tnsMaxLong;
    const unsigned maxSfb = info_.maxSfb.Value();
    for (unsigned w = 0; w < info_.WindowCount(); ++w) {
        float* x = spectrum + w * stride;
        int top = static_cast<int>(info_.numSwb);
        for (unsigned f = 0; f < tns_.nFilt[w]; ++f) {
            const TnsData::Filter& filter = tns_.filter[w][f];
            int bottom = top - static_cast<int>(filter.length);
            if (bottom < 0) bottom = 0;
            auto clamp = [&](int band) {
                unsigned b = static_cast<unsigned>(band);
                if (b > tnsMax) b = tnsMax;
                if (b > maxSfb) b = maxSfb;
                return b;
            };
            unsigned start = offsets[clamp(bottom)], end = offsets[clamp(top)];
            top = bottom;
            const unsigned order = filter.order;
            if (order == 0 || end <= start) continue;
            float a[33];
            const int used =
                aaccore::tnsPredictor(filter.coef, static_cast<int>(order), static_cast<int>(tns_.coefRes[w]), a);
            aaccore::tnsFilter(x, static_cast<int>(start), static_cast<int>(end), filter.direction != 0, a, used);
        }
    }
}

void CBlock::Synthesize(OverlapRecord& overlap) {
    vlb::SynthesizeBlock(vlb::WindowSet::ForLength(2048), spectrum_, info_.windowSequence.Value(),
                         overlap.previousShape, info_.windowShape.Value(), time_, overlap.samples, SynthesisWork());
    overlap.previousShape = info_.windowShape.Value();
}

// ---------------------------------------------------------------------------------------
// Elements

CBlock* CChannelElement::ReadChannelStream(CChannelInfo& info, BlockStorage& storage) {
    globalGain_.Read(bs_);
    if (!info.valid) info.Read(bs_);
    if (info.IsShort()) return &storage.emplace<CShortBlock>(info);
    return &storage.emplace<CLongBlock>(info);
}

void CSingleChannel::Read(const AacStreamInfo& info) {
    info_.Reset(info);
    block_ = nullptr;
    CBlock* block = ReadChannelStream(info_, storage_);
    block->Read(bs_, globalGain_.Value());
    block_ = block;
}

void CSingleChannel::DestroyBlocks() {
    storage_.emplace<std::monostate>();
    block_ = nullptr;
}

void CSingleChannel::Output(AudioIOControl* out, const AacStreamInfo& info, unsigned) {
    if (info_.profile == 0) throw EIllegalProfile();
    if (block_ == nullptr) return;
    block_->ApplyTns();
    block_->Synthesize(overlap_);
    pointers_[0] = pointers_[1] = block_->GetTimeSignal();
    stage_.SetRate(info.OutputRate());
    for (unsigned p = 0; p < 8; ++p)
        stage_.Process(pointers_, 128, p);
    out->Write(pointers_, 1024);
    DestroyBlocks();
}

void CChannelPair::Read(const AacStreamInfo& info) {
    info_[0].Reset(info);
    info_[1].Reset(info);
    block_[0] = block_[1] = nullptr;
    commonWindow_.Read(bs_);
    if (commonWindow_.Value()) {
        info_[0].Read(bs_);
        info_[1] = info_[0];
        msMaskPresent_.Read(bs_);
        switch (msMaskPresent_.Value()) {
        case 0: std::memset(msUsed_, 0, sizeof msUsed_); break;
        case 1:
            for (unsigned g = 0; g < info_[0].numGroups; ++g)
                for (unsigned b = 0; b < info_[0].maxSfb.Value(); ++b)
                    msUsed_[g][b] = static_cast<uint8_t>(bs_.Get(1));
            break;
        case 2: std::memset(msUsed_, 1, sizeof msUsed_); break;
        default: break;  // 3 keeps the previous element's flags
        }
    }
    CBlock* first = ReadChannelStream(info_[0], storage_[0]);
    first->Read(bs_, globalGain_.Value());
    bs_.SetPositionMarker(4);
    CBlock* second = ReadChannelStream(info_[1], storage_[1]);
    second->Read(bs_, globalGain_.Value());
    block_[0] = first;
    block_[1] = second;
}

void CChannelPair::DestroyBlocks() {
    storage_[0].emplace<std::monostate>();
    storage_[1].emplace<std::monostate>();
    block_[0] = block_[1] = nullptr;
}

namespace {

aaccore::Grouping Grouping(const CChannelInfo& info) {
    aaccore::Grouping g;
    g.numGroups = static_cast<int>(info.numGroups);
    for (unsigned i = 0; i < 8; ++i)
        g.groupLength[i] = static_cast<int>(info.groupLength[i]);
    g.maxSfb = static_cast<int>(info.maxSfb.Value());
    g.offsets = info.Offsets();
    return g;
}

}  // namespace

void CChannelPair::ApplyStereo(float* left, float* right, unsigned stride) {
    const bool common = CommonWindow();
    auto spectrumOf = [&](int c, int window) { return (c ? right : left) + window * stride; };
    if (common && info_[0].Offsets() != nullptr) aaccore::applyMs(Grouping(info_[0]), msUsed_, spectrumOf);
    // Intensity bands of the second channel copy the first channel's spectrum. They are
    // taken without a common window too (the flags then count as clear): skipping them would
    // leave those bands of the second channel silent.
    if (info_[1].Offsets() == nullptr || block_[1] == nullptr) return;
    const CBlock& second = *block_[1];
    aaccore::applyIntensity(
        Grouping(info_[1]), common ? msUsed_ : nullptr, spectrumOf,
        [&](int g) { return second.GetSectionCodebooks(static_cast<unsigned>(g)); },
        [&](int g) { return second.GetScaleFactors(static_cast<unsigned>(g)); });
}

void CChannelPair::Output(AudioIOControl* out, const AacStreamInfo& info, unsigned) {
    if (info_[0].profile == 0) throw EIllegalProfile();
    if (block_[0] == nullptr || block_[1] == nullptr) return;
    ApplyStereo(block_[0]->GetSpectrum(), block_[1]->GetSpectrum(), 128);
    for (unsigned c = 0; c < 2; ++c) {
        block_[c]->ApplyTns();
        block_[c]->Synthesize(overlap_[c]);
        pointers_[c] = block_[c]->GetTimeSignal();
    }
    stage_.SetRate(info.OutputRate());
    for (unsigned p = 0; p < 8; ++p)
        stage_.Process(pointers_, 128, p);
    out->Write(pointers_, 1024);
    DestroyBlocks();
}
