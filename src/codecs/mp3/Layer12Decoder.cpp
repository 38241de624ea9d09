#include "codecs/mp3/Layer12Decoder.h"

#include <algorithm>
#include <cstring>
#include <cstdio>

#include "codecs/mp3/tables/MpegTables.h"

namespace mp3 {

namespace {

// Requantization factor of each row: row 0 silence; 1, 2 the 3-level values; 3..16 the
// b-bit quantizers 2 / (2^b - 1); 17..20 the 5-level and 21..26 the 9-level values.
double RowFactor(int r) {
    static const double kGrouped[] = {-0.8, -0.4, 0.4, 0.8, -8.0 / 9, -4.0 / 9, -2.0 / 9, 2.0 / 9, 4.0 / 9, 8.0 / 9};
    if (r == 0) {
        return 0.0;
    }
    if (r == 1 || r == 2) {
        return r == 1 ? -2.0 / 3 : 2.0 / 3;
    }
    if (r <= 16) {
        return 2.0 / static_cast<double>((1 << r) - 1);
    }
    return kGrouped[r - 17];
}

template <int Levels>
void BuildDegroup(uint8_t (&table)[Levels * Levels * Levels][3], const uint8_t (&rows)[Levels]) {
    for (int c = 0; c < Levels * Levels * Levels; ++c) {
        table[c][0] = rows[c % Levels];
        table[c][1] = rows[(c / Levels) % Levels];
        table[c][2] = rows[c / (Levels * Levels)];
    }
}

constexpr int kMaxSubbands = 32;

}  // namespace

CLayer12Decoder::CLayer12Decoder(CMpegBitStream* stream, unsigned downsampleShift, int eightBit, int mono)
    : synthesis_(&params_, downsampleShift, eightBit, mono),
      stream_(stream),
      downsampleShift_(downsampleShift > 2 ? 2 : downsampleShift),
      eightBit_(eightBit ? 1 : 0),
      mono_(mono ? 1 : 0) {
    for (int r = 0; r < 27; ++r) {
        for (int k = 0; k < 63; ++k) {
            requant_[r][k] = static_cast<float>(RowFactor(r) * tables::kL12ScaleFactors[k] * 32768.0);
        }
        requant_[r][63] = 0.0f;  // reserved scale factor: silence
    }
    static const uint8_t kRows3[3] = {1, 0, 2};
    static const uint8_t kRows5[5] = {17, 18, 0, 19, 20};
    static const uint8_t kRows9[9] = {21, 1, 22, 23, 0, 24, 25, 2, 26};
    BuildDegroup<3>(degroup3_, kRows3);
    BuildDegroup<5>(degroup5_, kRows5);
    BuildDegroup<9>(degroup9_, kRows9);
    Reset(true);
}

void CLayer12Decoder::Reset(bool full) {
    if (full) {
        synthesis_.Reset();
        std::memset(samples_, 0, sizeof(samples_));
    }
}

int CLayer12Decoder::OutputBytes(const CMpegHeader& header) const {
    const int channels = mono_ ? 1 : header.channels;
    return ((header.GetSamplesPerFrame() * channels * 2) >> downsampleShift_) >> eightBit_;
}

uint32_t CLayer12Decoder::Decode(uint8_t* output, int size, int* produced) {
    const CMpegHeader& header = stream_->Header();
    if (header.layer != 1 && header.layer != 2) {
        return kStatusWrongLayer;
    }
    const int bytes = OutputBytes(header);
    if (output == nullptr || bytes > size) {
        return kStatusOutputTooSmall;
    }
    stream_->SkipBits(header.protectedFlag ? 48 : 32);
    params_.CopyFrom(header);
    if (header.layer == 1) {
        DecodeLayer1(output);
    } else {
        DecodeLayer2(output);
    }
    stream_->FinishFrame();
    if (produced != nullptr) {
        *produced = bytes;
    }
    return kStatusOk;
}

void CLayer12Decoder::FoldToMono() {
    for (int i = 0; i < 576; ++i) {
        samples_[i] = 0.5f * (samples_[i] + samples_[576 + i]);
    }
}

void CLayer12Decoder::DecodeLayer1(uint8_t* output) {
    CMpegBitStream& bs = *stream_;
    const int channels = params_.channels;
    const int bound = (channels == 2 && params_.mode == 1) ? 4 * params_.modeExtension + 4 : kMaxSubbands;

    int alloc[2][kMaxSubbands] = {};
    int scf[2][kMaxSubbands] = {};
    for (int sb = 0; sb < kMaxSubbands; ++sb) {
        if (sb < bound) {
            for (int ch = 0; ch < channels; ++ch) {
                alloc[ch][sb] = static_cast<int>(bs.GetBits(4));
            }
        } else {
            alloc[0][sb] = alloc[1][sb] = static_cast<int>(bs.GetBits(4));
        }
    }
    for (int sb = 0; sb < kMaxSubbands; ++sb) {
        for (int ch = 0; ch < channels; ++ch) {
            if (alloc[ch][sb] != 0) {
                scf[ch][sb] = static_cast<int>(bs.GetBits(6));
            }
        }
    }
    for (int slot = 0; slot < 12; ++slot) {
        for (int sb = 0; sb < kMaxSubbands; ++sb) {
            if (sb < bound) {
                for (int ch = 0; ch < channels; ++ch) {
                    const int n = alloc[ch][sb];
                    float value = 0.0f;
                    if (n != 0) {
                        const int c = static_cast<int>(bs.GetBits(n + 1));
                        value = static_cast<float>(c - (1 << n) + 1) * requant_[n + 1][scf[ch][sb]];
                    }
                    samples_[ch * 576 + slot * 32 + sb] = value;
                }
            } else {
                const int n = alloc[0][sb];
                const int c = n != 0 ? static_cast<int>(bs.GetBits(n + 1)) - (1 << n) + 1 : 0;
                for (int ch = 0; ch < channels; ++ch) {
                    samples_[ch * 576 + slot * 32 + sb] =
                        n != 0 ? static_cast<float>(c) * requant_[n + 1][scf[ch][sb]] : 0.0f;
                }
            }
        }
    }
    if (mono_ && channels == 2) {
        FoldToMono();
    }
    synthesis_.Synthesize(samples_, output, 12);
}

void CLayer12Decoder::DecodeLayer2(uint8_t* output) {
    CMpegBitStream& bs = *stream_;
    const CMpegHeader& header = bs.Header();
    const int channels = params_.channels;

    const int tableIndex =
        params_.mpeg1 ? tables::kL2TableSelect[params_.samplingIndex][channels == 1 ? 0 : 1][header.bitRateIndex] : 4;
    const tables::L2AllocTable& table = tables::kL2AllocTables[tableIndex];
    const int limit = table.subbandLimit;
    int bound = (channels == 2 && params_.mode == 1) ? 4 * params_.modeExtension + 4 : limit;
    bound = std::min(bound, limit);

    // Per subband: the offset of its entries within the table.
    int offset[kMaxSubbands] = {};
    int walk = 0;
    for (int sb = 0; sb < limit; ++sb) {
        offset[sb] = walk;
        walk += 1 << table.entries[walk].first;
    }

    int alloc[2][kMaxSubbands] = {};
    for (int sb = 0; sb < limit; ++sb) {
        const int width = table.entries[offset[sb]].first;
        if (sb < bound) {
            for (int ch = 0; ch < channels; ++ch) {
                alloc[ch][sb] = static_cast<int>(bs.GetBits(width));
            }
        } else {
            alloc[0][sb] = alloc[1][sb] = static_cast<int>(bs.GetBits(width));
        }
    }
    int select[2][kMaxSubbands] = {};
    for (int sb = 0; sb < limit; ++sb) {
        for (int ch = 0; ch < channels; ++ch) {
            if (alloc[ch][sb] != 0) {
                select[ch][sb] = static_cast<int>(bs.GetBits(2));
            }
        }
    }
    int scf[2][kMaxSubbands][3] = {};
    for (int sb = 0; sb < limit; ++sb) {
        for (int ch = 0; ch < channels; ++ch) {
            if (alloc[ch][sb] == 0) {
                continue;
            }
            int* s = scf[ch][sb];
            switch (select[ch][sb]) {
            case 0:
                s[0] = static_cast<int>(bs.GetBits(6));
                s[1] = static_cast<int>(bs.GetBits(6));
                s[2] = static_cast<int>(bs.GetBits(6));
                break;
            case 1:
                s[0] = s[1] = static_cast<int>(bs.GetBits(6));
                s[2] = static_cast<int>(bs.GetBits(6));
                break;
            case 2: s[0] = s[1] = s[2] = static_cast<int>(bs.GetBits(6)); break;
            default:
                s[0] = static_cast<int>(bs.GetBits(6));
                s[1] = s[2] = static_cast<int>(bs.GetBits(6));
                break;
            }
        }
    }

    // Reads one triple of rows (requantization table row per sample) for an allocation.
    // A grouped code beyond its table (corrupt frame) yields silence.
    auto readTriple = [&](const tables::L2AllocEntry& q, int rows[3], int codes[3]) {
        if (q.second > 0) {
            const int code = static_cast<int>(bs.GetBits(q.first));
            const uint8_t* r = nullptr;
            if (q.second == 3 && code < 27) {
                r = degroup3_[code];
            } else if (q.second == 5 && code < 125) {
                r = degroup5_[code];
            } else if (q.second == 9 && code < 729) {
                r = degroup9_[code];
            }
            for (int i = 0; i < 3; ++i) {
                rows[i] = r != nullptr ? r[i] : 0;
                codes[i] = 1;
            }
        } else {
            for (int i = 0; i < 3; ++i) {
                codes[i] = static_cast<int>(bs.GetBits(q.first)) + q.second;
                rows[i] = q.first;
            }
        }
    };

    uint8_t* out = output;
    for (int granule = 0; granule < 12; ++granule) {
        const int part = granule / 4;
        const int slot0 = 3 * (granule % 6);
        for (int sb = 0; sb < kMaxSubbands; ++sb) {
            if (sb >= limit) {
                for (int ch = 0; ch < channels; ++ch) {
                    for (int i = 0; i < 3; ++i) {
                        samples_[ch * 576 + (slot0 + i) * 32 + sb] = 0.0f;
                    }
                }
                continue;
            }
            if (sb < bound) {
                for (int ch = 0; ch < channels; ++ch) {
                    const int a = alloc[ch][sb];
                    int rows[3] = {0, 0, 0};
                    int codes[3] = {0, 0, 0};
                    if (a != 0) {
                        readTriple(table.entries[offset[sb] + a], rows, codes);
                    }
                    for (int i = 0; i < 3; ++i) {
                        samples_[ch * 576 + (slot0 + i) * 32 + sb] =
                            static_cast<float>(codes[i]) * requant_[rows[i]][scf[ch][sb][part]];
                    }
                }
            } else {
                const int a = alloc[0][sb];
                int rows[3] = {0, 0, 0};
                int codes[3] = {0, 0, 0};
                if (a != 0) {
                    readTriple(table.entries[offset[sb] + a], rows, codes);
                }
                for (int ch = 0; ch < channels; ++ch) {
                    for (int i = 0; i < 3; ++i) {
                        samples_[ch * 576 + (slot0 + i) * 32 + sb] =
                            static_cast<float>(codes[i]) * requant_[rows[i]][scf[ch][sb][part]];
                    }
                }
            }
        }
        if (granule == 5 || granule == 11) {
            if (mono_ && channels == 2) {
                FoldToMono();
            }
            out = synthesis_.Synthesize(samples_, out, 18);
        }
    }
}

}  // namespace mp3
