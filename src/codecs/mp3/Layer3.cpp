#include "codecs/mp3/Layer3.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "codecs/mp3/tables/MpegTables.h"

namespace mp3 {

namespace {

constexpr int kPow43Entries = 8208;  // |x| <= 15 + 8191

// Factors of the requantization and stereo steps, computed from their formulas once per
// process. A function-local static is initialised exactly once even when two decoders on
// two threads start together.
struct Layer3Constants {
    // sign(i) |i|^(4/3) for i in -(kPow43Entries - 1) .. kPow43Entries - 1, centred: a
    // value's magnitude and sign in one look-up.
    float signedPow43[2 * kPow43Entries - 1];
    float gain[128];     // 32768 * 2^(-k/4)
    float isLeft[7];     // MPEG-1 intensity: tan(p pi/12) / (1 + tan)
    float isRight[7];    //                  1 / (1 + tan)
    float lsfIo[2][17];  // io^e, io = 2^(-1/4) or 2^(-1/2)

    Layer3Constants() {
        for (int i = 0; i < kPow43Entries; ++i) {
            const float magnitude = static_cast<float>(std::pow(static_cast<double>(i), 4.0 / 3.0));
            signedPow43[kPow43Entries - 1 - i] = -magnitude;
            signedPow43[kPow43Entries - 1 + i] = magnitude;  // after, so that 0 stays +0
        }
        for (int k = 0; k < 128; ++k)
            gain[k] = static_cast<float>(32768.0 * std::pow(2.0, -k / 4.0));
        for (int p = 0; p < 7; ++p) {
            if (p == 6) {
                isLeft[p] = 1.0f;
                isRight[p] = 0.0f;
                continue;
            }
            double ratio = std::tan(p * 3.14159265358979323846 / 12.0);
            isLeft[p] = static_cast<float>(ratio / (1.0 + ratio));
            isRight[p] = static_cast<float>(1.0 / (1.0 + ratio));
        }
        for (int s = 0; s < 2; ++s)
            for (int e = 0; e < 17; ++e)
                lsfIo[s][e] = static_cast<float>(std::pow(2.0, -(s == 0 ? 0.25 : 0.5) * e));
    }
};

const Layer3Constants& Constants() {
    static const Layer3Constants constants;
    return constants;
}

constexpr float kInvSqrt2 = 0.70710678118654752440f;

int SideInfoBytes(int mpeg1, int channels) {
    if (mpeg1) return channels == 1 ? 17 : 32;
    return channels == 1 ? 9 : 17;
}

bool IsShort(const Layer3Granule& g) { return g.window_switching_flag && g.block_type == 2; }

}  // namespace

CLayer3Decoder::CLayer3Decoder(CMpegBitStream* stream, unsigned downsampleShift, int eightBit, int mono)
    : filterBank_(downsampleShift),
      synthesis_(&params_, downsampleShift, eightBit, mono),
      stream_(stream),
      downsampleShift_(downsampleShift > 2 ? 2 : downsampleShift),
      eightBit_(eightBit),
      mono_(mono) {
    std::memset(&side_, 0, sizeof(side_));
    std::memset(scale_, 0, sizeof(scale_));
    Reset(true);
}

void CLayer3Decoder::Reset(bool full) {
    reservoirEnd_ = 0;
    reservoirBit_ = 0;
    std::memset(reservoir_, 0, sizeof(reservoir_));
    if (!full) return;
    filterBank_.Reset();
    synthesis_.Reset();
    std::memset(values_, 0, sizeof(values_));
    std::memset(spectrum_, 0, sizeof(spectrum_));
    std::memset(hybrid_, 0, sizeof(hybrid_));
}

int CLayer3Decoder::ReservoirBytes() const {
    int readBytes = static_cast<int>((reservoirBit_ + 7) / 8);
    return std::max(0, reservoirEnd_ - readBytes);
}

int CLayer3Decoder::OutputChannels() const { return mono_ ? 1 : params_.channels; }

uint32_t CLayer3Decoder::Decode(uint8_t* output, int size, int* produced) {
    if (produced) *produced = 0;
    const CMpegHeader& header = stream_->Header();
    if (header.layer != 3) return kStatusWrongLayer;
    const int outChannels = mono_ ? 1 : header.channels;
    int bytes = (header.GetSamplesPerFrame() * outChannels * 2) >> downsampleShift_;
    if (eightBit_) bytes >>= 1;
    if (bytes > size || output == nullptr) return kStatusOutputTooSmall;

    Constants();
    params_.CopyFrom(header);
    stream_->SkipBits(params_.headerBits);
    const bool sideInfoGood = ReadSideInfo();

    const int mainDataBytes =
        std::max(0, (params_.frameBits - params_.headerBits) / 8 - SideInfoBytes(params_.mpeg1, params_.channels));
    const bool haveMainData = FillReservoir(mainDataBytes);

    uint8_t* out = output;
    const int granules = params_.mpeg1 ? 2 : 1;
    for (int gr = 0; gr < granules; ++gr) {
        if (haveMainData)
            DecodeGranule(gr, out);
        else
            SilentGranule(out);
    }
    stream_->FinishFrame();
    if (produced) *produced = bytes;
    if (!sideInfoGood) {
        Reset(false);
        return kStatusSideInfoBad;
    }
    return haveMainData ? kStatusOk : kStatusMainDataMissing;
}

bool CLayer3Decoder::ReadSideInfo() {
    CMpegBitStream& in = *stream_;
    const int channels = params_.channels;
    const int sideBits = 8 * SideInfoBytes(params_.mpeg1, channels);
    int gains[2][2];
    for (int gr = 0; gr < 2; ++gr)
        for (int ch = 0; ch < 2; ++ch)
            gains[gr][ch] = side_.granule[gr][ch].global_gain;
    std::memset(&side_, 0, sizeof(side_));

    if (params_.protectedFlag) {
        in.UnreadBits(32);  // to the last 16 bits of the header
        uint16_t crc = ComputeCrc(in, 16, 0xFFFF);
        const uint32_t stored = in.GetBits(16);
        crc = ComputeCrc(in, sideBits, crc);
        in.UnreadBits(sideBits);
        if (stored != 0 && stored != crc) {
            // Keep only the gains; everything else reads as an empty granule.
            for (int gr = 0; gr < 2; ++gr)
                for (int ch = 0; ch < 2; ++ch)
                    side_.granule[gr][ch].global_gain = gains[gr][ch];
            in.SkipBits(sideBits);
            return false;
        }
    }

    if (params_.mpeg1) {
        side_.main_data_begin = static_cast<int>(in.GetBits(9));
        side_.private_bits = static_cast<int>(in.GetBits(channels == 1 ? 5 : 3));
        for (int ch = 0; ch < channels; ++ch)
            for (int g = 0; g < 4; ++g)
                side_.scfsi[ch][g] = static_cast<int>(in.GetBit());
    } else {
        side_.main_data_begin = static_cast<int>(in.GetBits(8));
        side_.private_bits = static_cast<int>(in.GetBits(channels == 1 ? 1 : 2));
    }
    const int granules = params_.mpeg1 ? 2 : 1;
    for (int gr = 0; gr < granules; ++gr) {
        for (int ch = 0; ch < channels; ++ch) {
            Layer3Granule& g = side_.granule[gr][ch];
            g.part2_3_length = static_cast<int>(in.GetBits(12));
            g.big_values = static_cast<int>(in.GetBits(9));
            g.global_gain = static_cast<int>(in.GetBits(8));
            g.scalefac_compress = static_cast<int>(in.GetBits(params_.mpeg1 ? 4 : 9));
            g.window_switching_flag = static_cast<int>(in.GetBit());
            if (g.window_switching_flag) {
                g.block_type = static_cast<int>(in.GetBits(2));
                g.mixed_block_flag = static_cast<int>(in.GetBit());
                for (int r = 0; r < 2; ++r)
                    g.table_select[r] = static_cast<int>(in.GetBits(5));
                for (int w = 0; w < 3; ++w)
                    g.subblock_gain[w] = static_cast<int>(in.GetBits(3));
                g.region0_count = (g.block_type == 2 && !g.mixed_block_flag) ? 8 : 7;
                g.region1_count = 20 - g.region0_count;
            } else {
                for (int r = 0; r < 3; ++r)
                    g.table_select[r] = static_cast<int>(in.GetBits(5));
                g.region0_count = static_cast<int>(in.GetBits(4));
                g.region1_count = static_cast<int>(in.GetBits(3));
            }
            if (params_.mpeg1) g.preflag = static_cast<int>(in.GetBit());
            g.scalefac_scale = static_cast<int>(in.GetBit());
            g.count1table_select = static_cast<int>(in.GetBit());
            if (g.big_values > 288 || (g.window_switching_flag && g.block_type == 0)) {
                // Unusable granule: silent, and it takes no bits of the main data.
                g.part2_3_length = 0;
                g.big_values = 0;
                g.scalefac_compress = 0;
            }
        }
    }
    return true;
}

bool CLayer3Decoder::FillReservoir(int mainDataBytes) {
    // Keep the unread bytes only, at the front.
    int held = ReservoirBytes();
    if (held > 0) std::memmove(reservoir_, reservoir_ + reservoirEnd_ - held, static_cast<size_t>(held));
    if (held + mainDataBytes > kReservoirBytes) {
        const int drop = std::min(held, held + mainDataBytes - kReservoirBytes);
        std::memmove(reservoir_, reservoir_ + drop, static_cast<size_t>(held - drop));
        held -= drop;
    }
    const int room = kReservoirBytes - held;
    const int copy = std::min(room, mainDataBytes);
    uint8_t* dst = reservoir_ + held;
    stream_->GetBytes(dst, copy);
    reservoirEnd_ = held + copy;
    reservoirBit_ = 0;
    if (copy < mainDataBytes || held < side_.main_data_begin) return false;
    reservoirBit_ = static_cast<uint32_t>(held - side_.main_data_begin) * 8;
    return true;
}

void CLayer3Decoder::DecodeGranule(int gr, uint8_t*& out) {
    const int channels = params_.channels;
    for (int ch = 0; ch < channels; ++ch) {
        const uint32_t partStart = reservoirBit_;
        Layer3BitReader bits(reservoir_, sizeof(reservoir_), partStart);
        if (params_.mpeg1)
            ReadScaleFactors(gr, ch, bits);
        else
            ReadScaleFactorsLsf(ch, bits);
        DecodeHuffman(gr, ch, bits, partStart);
        reservoirBit_ = partStart + static_cast<uint32_t>(side_.granule[gr][ch].part2_3_length);
        Requantize(gr, ch);
    }
    if (channels == 2) Stereo(gr);
    FilterAndSynthesize(gr, out);
}

void CLayer3Decoder::SilentGranule(uint8_t*& out) {
    std::memset(spectrum_, 0, sizeof(spectrum_));
    for (int ch = 0; ch < 2; ++ch) {
        Layer3Granule& g = side_.granule[0][ch];
        g.subbandCount = 0;
        g.window_switching_flag = 0;
        g.block_type = 0;
        g.mixed_block_flag = 0;
        g.nonZeroLines = 0;
        g.shortBandCount = 0;
    }
    FilterAndSynthesize(0, out);
}

void CLayer3Decoder::ReadScaleFactors(int gr, int ch, Layer3BitReader& bits) {
    Layer3Granule& g = side_.granule[gr][ch];
    Layer3ScaleFactors& sf = scale_[ch];
    const int slen1 = tables::kSlenMpeg1[g.scalefac_compress & 15][0];
    const int slen2 = tables::kSlenMpeg1[g.scalefac_compress & 15][1];
    if (IsShort(g)) {
        int band = 0;
        if (g.mixed_block_flag) {
            for (; band < 8; ++band)
                sf.longBand[band] = static_cast<int>(bits.GetBits(slen1));
            band = 3;
        }
        for (; band < 12; ++band) {
            const int slen = band < 6 ? slen1 : slen2;
            for (int w = 0; w < 3; ++w)
                sf.shortBand[w][band] = static_cast<int>(bits.GetBits(slen));
        }
        for (int w = 0; w < 3; ++w)
            sf.shortBand[w][12] = 0;
    } else {
        static constexpr int kGroupStart[5] = {0, 6, 11, 16, 21};
        for (int group = 0; group < 4; ++group) {
            if (gr == 1 && side_.scfsi[ch][group]) continue;
            const int slen = group < 2 ? slen1 : slen2;
            for (int band = kGroupStart[group]; band < kGroupStart[group + 1]; ++band)
                sf.longBand[band] = static_cast<int>(bits.GetBits(slen));
        }
        sf.longBand[21] = sf.longBand[22] = 0;
    }
    for (int b = 0; b < 23; ++b)
        sf.illegalLong[b] = 7;
    for (int b = 0; b < 13; ++b)
        sf.illegalShort[b] = 7;
}

void CLayer3Decoder::ReadScaleFactorsLsf(int ch, Layer3BitReader& bits) {
    Layer3Granule& g = side_.granule[0][ch];
    Layer3ScaleFactors& sf = scale_[ch];
    const bool intensityRight = ch == 1 && params_.mode == 1 && (params_.modeExtension & 1);
    const tables::LsfSlen* row;
    if (intensityRight) {
        g.intensityScale = g.scalefac_compress & 1;
        row = &tables::kLsfSlenIntensity[(g.scalefac_compress >> 1) & 255];
    } else {
        row = &tables::kLsfSlenNormal[g.scalefac_compress & 511];
    }
    g.preflag = row->preflag;
    const int block = IsShort(g) ? (g.mixed_block_flag ? 2 : 1) : 0;
    const uint8_t* counts = tables::kLsfNrOfSfb[row->tableIndex % 6][block];

    std::memset(&sf, 0, sizeof(sf));
    for (int b = 0; b < 23; ++b)
        sf.illegalLong[b] = 1;
    for (int b = 0; b < 13; ++b)
        sf.illegalShort[b] = 1;

    int k = 0;  // index of the value within the granule's scale factors
    for (int part = 0; part < 4; ++part) {
        const int slen = row->slen[part];
        const int illegal = slen == 0 ? 1 : (1 << slen) - 1;
        for (int i = 0; i < counts[part]; ++i, ++k) {
            const int value = static_cast<int>(bits.GetBits(slen));
            if (block == 0) {
                if (k < 21) {
                    sf.longBand[k] = value;
                    sf.illegalLong[k] = illegal;
                }
                continue;
            }
            int j = k;
            if (block == 2) {
                if (k < 6) {
                    sf.longBand[k] = value;
                    sf.illegalLong[k] = illegal;
                    continue;
                }
                j = k - 6 + 9;  // short bands from 3 on
            }
            const int band = j / 3;
            if (band < 12) {
                sf.shortBand[j % 3][band] = value;
                sf.illegalShort[band] = illegal;
            }
        }
    }
}

void CLayer3Decoder::DecodeHuffman(int gr, int ch, Layer3BitReader& bits, uint32_t partStart) {
    Layer3Granule& g = side_.granule[gr][ch];
    int* x = values_[ch];
    const int16_t* sfbLong = tables::kSfbLong[params_.rateIndex];
    const int16_t* sfbShort = tables::kSfbShort[params_.rateIndex];
    const int bigEnd = 2 * g.big_values;

    int region1;
    int region2;
    if (IsShort(g)) {
        if (g.mixed_block_flag)
            region1 = params_.mpeg1 ? sfbLong[std::min(g.region0_count + 1, 22)]
                                    : sfbLong[6] + 2 * (sfbShort[4] - sfbShort[3]);
        else
            region1 = 3 * sfbShort[std::min((g.region0_count + 1) / 3, 13)];
        region2 = 576;
    } else {
        region1 = sfbLong[std::min(g.region0_count + 1, 22)];
        region2 = sfbLong[std::min(g.region0_count + g.region1_count + 2, 22)];
    }
    const int bounds[3] = {std::min(region1, bigEnd), std::min(region2, bigEnd), bigEnd};

    int i = 0;
    for (int region = 0; region < 3; ++region) {
        const int end = std::max(bounds[region], i);
        huffman_.SelectTable(g.table_select[region]);
        if (!huffman_.HasTree()) {
            for (; i < end; ++i)
                x[i] = 0;
            continue;
        }
        for (; i < end; i += 2)
            huffman_.DecodePair(bits, x[i], x[i + 1]);
    }

    const uint32_t partEnd = partStart + static_cast<uint32_t>(g.part2_3_length);
    huffman_.SelectTable(32 + g.count1table_select);
    while (i < 573 && bits.Position() < partEnd) {
        huffman_.DecodeQuad(bits, x[i], x[i + 1], x[i + 2], x[i + 3]);
        if (bits.Position() > partEnd) {
            x[i] = x[i + 1] = x[i + 2] = x[i + 3] = 0;  // overran the part: discard
            break;
        }
        i += 4;
    }
    for (int j = i; j < 576; ++j)
        x[j] = 0;
    DeriveCounts(g, x);
}

void CLayer3Decoder::DeriveCounts(Layer3Granule& g, const int* x) const {
    const int16_t* sfbLong = tables::kSfbLong[params_.rateIndex];
    const int16_t* sfbShort = tables::kSfbShort[params_.rateIndex];
    // An all-zero channel has no non-zero lines at all, so that intensity stereo can
    // start at band 0 when the right channel carries nothing.
    int last = 575;
    while (last >= 0 && x[last] == 0)
        --last;
    g.nonZeroLines = last + 1;

    int lb = 0;
    while (lb < 22 && sfbLong[lb] < g.nonZeroLines)
        ++lb;
    g.longBandCount = lb;
    int sb = 0;
    while (sb < 13 && 3 * sfbShort[sb] < g.nonZeroLines)
        ++sb;
    g.shortBandCount = sb;

    if (!IsShort(g)) {
        g.longPartOnly = 1;
    } else if (!g.mixed_block_flag) {
        g.longPartOnly = 0;
    } else {
        g.longPartOnly = g.nonZeroLines <= sfbLong[params_.mpeg1 ? 8 : 6] ? 1 : 0;
    }
    for (int w = 0; w < 3; ++w)
        g.windowBandCount[w] = g.shortBandCount;
    if (IsShort(g)) {
        for (int w = 0; w < 3; ++w) {
            int count = -1;
            for (int band = g.mixed_block_flag ? 3 : 0; band < 13; ++band) {
                const int start = sfbShort[band];
                const int width = sfbShort[band + 1] - start;
                const int* v = x + 3 * start + w * width;
                for (int j = 0; j < width; ++j)
                    if (v[j] != 0) {
                        count = band + 1;
                        break;
                    }
            }
            // A window without any value is intensity coded from its first short band.
            g.windowBandCount[w] = count >= 0 ? count : (g.mixed_block_flag ? 3 : 0);
        }
    }
}

void CLayer3Decoder::Requantize(int gr, int ch) {
    const Layer3Constants& c = Constants();
    const Layer3Granule& g = side_.granule[gr][ch];
    const Layer3ScaleFactors& sf = scale_[ch];
    const int* x = values_[ch];
    float* xr = spectrum_[ch];
    const int16_t* sfbLong = tables::kSfbLong[params_.rateIndex];
    const int16_t* sfbShort = tables::kSfbShort[params_.rateIndex];
    const int multiplier = 2 * g.scalefac_scale + 2;
    const int base = 210 - g.global_gain;
    const int nz = g.nonZeroLines;
    std::memset(xr, 0, sizeof(float) * 576);

    auto lines = [&](int from, int to, int exponent) {
        to = std::min(to, nz);
        if (from >= to) return;
        if (exponent < 0 || exponent > 127) return;  // outside the gain table: silent band
        const float gain = c.gain[exponent];
        // The sign rides on the table entry: (-p) * gain is exactly -(p * gain).
        const float* pow43 = c.signedPow43 + (kPow43Entries - 1);
        for (int i = from; i < to; ++i)
            xr[i] = pow43[x[i]] * gain;
    };
    auto longBands = [&](int count) {
        for (int b = 0; b < count; ++b) {
            const int pre = g.preflag ? tables::kPretab[std::min(b, 21)] : 0;
            lines(sfbLong[b], sfbLong[b + 1], multiplier * (sf.longBand[b] + pre) + base);
        }
    };
    auto shortBands = [&](int from, int count) {
        for (int b = from; b < count; ++b) {
            const int start = sfbShort[b];
            const int width = sfbShort[b + 1] - start;
            for (int w = 0; w < 3; ++w) {
                const int first = 3 * start + w * width;
                lines(first, first + width, 8 * g.subblock_gain[w] + multiplier * sf.shortBand[w][b] + base);
            }
        }
    };

    if (!IsShort(g)) {
        longBands(g.longBandCount);
    } else if (!g.mixed_block_flag) {
        shortBands(0, g.shortBandCount);
    } else {
        longBands(params_.mpeg1 ? 8 : 6);
        if (!g.longPartOnly) shortBands(3, g.shortBandCount);
    }
}

void CLayer3Decoder::Stereo(int gr) {
    Layer3Granule& left = side_.granule[gr][0];
    Layer3Granule& right = side_.granule[gr][1];
    float* l = spectrum_[0];
    float* r = spectrum_[1];
    const Layer3Constants& c = Constants();
    const bool joint = params_.mode == 1;
    const bool mono = mono_ != 0;

    if (!joint) {
        if (mono) {
            const int n = std::max(left.nonZeroLines, right.nonZeroLines);
            for (int i = 0; i < n; ++i)
                l[i] = (l[i] + r[i]) * 0.5f;
        }
    } else {
        const bool intensity = (params_.modeExtension & 1) != 0;
        const bool midSide = (params_.modeExtension & 2) != 0;
        const Layer3ScaleFactors& sfr = scale_[1];
        const int ioScale = right.intensityScale & 1;

        // One band of `n` lines from `first`; `position` < 0 means not intensity coded.
        auto band = [&](int first, int n, int position) {
            float* a = l + first;
            float* b = r + first;
            if (position >= 0) {
                if (params_.mpeg1) {
                    const float fl = c.isLeft[position];
                    const float fr = c.isRight[position];
                    if (mono) {
                        for (int i = 0; i < n; ++i)
                            a[i] *= 0.5f;
                    } else {
                        for (int i = 0; i < n; ++i) {
                            const float v = a[i];
                            a[i] = v * fl;
                            b[i] = v * fr;
                        }
                    }
                } else {
                    const int odd = position & 1;
                    const float k = c.lsfIo[ioScale][(position + 1) >> 1];
                    if (mono) {
                        const float f = (1.0f + k) * 0.5f;
                        for (int i = 0; i < n; ++i)
                            a[i] *= f;
                    } else if (odd) {
                        for (int i = 0; i < n; ++i) {
                            b[i] = a[i];
                            a[i] *= k;
                        }
                    } else {
                        for (int i = 0; i < n; ++i)
                            b[i] = a[i] * k;
                    }
                }
            } else if (midSide) {
                if (mono) {
                    for (int i = 0; i < n; ++i)
                        a[i] *= kInvSqrt2;
                } else {
                    for (int i = 0; i < n; ++i) {
                        const float m = a[i];
                        const float s = b[i];
                        a[i] = (m + s) * kInvSqrt2;
                        b[i] = (m - s) * kInvSqrt2;
                    }
                }
            } else if (mono) {
                for (int i = 0; i < n; ++i)
                    a[i] = (a[i] + b[i]) * 0.5f;
            }
        };
        // The intensity position of a band, or -1 when the band is stereo coded.
        auto position = [&](int value, int illegal) {
            if (value == illegal) return -1;
            if (params_.mpeg1 && value > 6) return -1;  // only 0..6 have ratios
            return value;
        };

        const int16_t* sfbLong = tables::kSfbLong[params_.rateIndex];
        const int16_t* sfbShort = tables::kSfbShort[params_.rateIndex];
        if (!IsShort(left)) {
            const int count = std::max(left.longBandCount, right.longBandCount);
            for (int b = 0; b < count; ++b) {
                const int sb = std::min(b, 20);  // band 21 carries no position: band 20's holds
                const int p =
                    intensity && b >= right.longBandCount ? position(sfr.longBand[sb], sfr.illegalLong[sb]) : -1;

                band(sfbLong[b], sfbLong[b + 1] - sfbLong[b], p);
            }
        } else {
            int firstShort = 0;
            if (left.mixed_block_flag) {
                const int longBands = params_.mpeg1 ? 8 : 6;
                for (int b = 0; b < longBands; ++b) {
                    const int p = intensity && right.longPartOnly && b >= right.longBandCount
                                      ? position(sfr.longBand[b], sfr.illegalLong[b])
                                      : -1;
                    band(sfbLong[b], sfbLong[b + 1] - sfbLong[b], p);
                }
                firstShort = 3;
            }
            const int count = std::max(left.shortBandCount, right.shortBandCount);
            for (int w = 0; w < 3; ++w) {
                const int isStart = (left.mixed_block_flag && right.longPartOnly) ? 3 : right.windowBandCount[w];
                for (int b = firstShort; b < count; ++b) {
                    const int start = sfbShort[b];
                    const int width = sfbShort[b + 1] - start;
                    const int sb = std::min(b, 11);  // band 12 carries no position: band 11's holds
                    const int p = intensity && b >= isStart ? position(sfr.shortBand[w][sb], sfr.illegalShort[sb]) : -1;
                    band(3 * start + w * width, width, p);
                }
            }
        }
    }

    auto widen = [](int& a, int& b) { a = b = std::max(a, b); };
    widen(left.nonZeroLines, right.nonZeroLines);
    widen(left.longBandCount, right.longBandCount);
    widen(left.shortBandCount, right.shortBandCount);
    for (int w = 0; w < 3; ++w)
        widen(left.windowBandCount[w], right.windowBandCount[w]);
}

void CLayer3Decoder::FilterAndSynthesize(int gr, uint8_t*& out) {
    const int16_t* sfbShort = tables::kSfbShort[params_.rateIndex];
    const int limit = static_cast<int>(filterBank_.SubbandLimit());
    const bool rate8k = params_.rateIndex == 8;
    const int channels = OutputChannels();
    for (int ch = 0; ch < channels; ++ch) {
        Layer3Granule& g = side_.granule[gr][ch];
        float* xr = spectrum_[ch];
        int count;
        int aliasBoundaries;
        // The leading subbands of any mixed block keep the normal long window, also for
        // start and stop blocks.
        const int longSubbands = g.window_switching_flag && g.mixed_block_flag ? (rate8k ? 4 : 2) : 0;
        if (!IsShort(g)) {
            count = std::min((g.nonZeroLines + 17) / 18, limit - 1);
            aliasBoundaries = count;
        } else {
            Layer3ReorderShort(xr, sfbShort, g.mixed_block_flag ? 3 : 0);
            count = (3 * sfbShort[std::min(g.shortBandCount, 13)] + 17) / 18;
            aliasBoundaries = 0;
            if (g.mixed_block_flag) {
                aliasBoundaries = std::min(rate8k ? 3 : 1, limit - 1);
                count = std::max(count, aliasBoundaries);
            }
        }
        g.subbandCount = count;
        Layer3AliasReduce(xr, aliasBoundaries);
        const int blockType = g.window_switching_flag ? g.block_type : 0;
        filterBank_.Process(ch, xr, hybrid_ + 576 * ch, std::min(count + 1, limit), blockType, longSubbands);
    }
    out = synthesis_.SynthesizeGranule(hybrid_, out);
}

}  // namespace mp3
