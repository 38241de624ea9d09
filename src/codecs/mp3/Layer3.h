#pragma once

#include <cstdint>

#include "codecs/mp3/FrameParams.h"
#include "codecs/mp3/Layer3FilterBank.h"
#include "codecs/mp3/Layer3Huffman.h"
#include "codecs/mp3/MpegBitStream.h"
#include "codecs/mp3/PolyphaseSynthesis.h"

namespace mp3 {

// Side information of one granule of one channel, then the fields the decoder derives.
struct Layer3Granule {
    int part2_3_length;
    int big_values;
    int global_gain;
    int scalefac_compress;
    int window_switching_flag;
    int block_type;
    int mixed_block_flag;
    int table_select[3];
    int subblock_gain[3];
    int region0_count;
    int region1_count;
    int preflag;
    int scalefac_scale;
    int count1table_select;
    // derived
    int intensityScale;
    int nonZeroLines;
    int longPartOnly;
    int longBandCount;
    int shortBandCount;
    int windowBandCount[3];
    int subbandCount;
};

struct Layer3SideInfo {
    int main_data_begin;
    int private_bits;
    int scfsi[2][4];
    Layer3Granule granule[2][2];  // [granule][channel]
};

struct Layer3ScaleFactors {
    int longBand[23];
    int shortBand[3][13];
    int illegalLong[23];
    int illegalShort[13];
};

// Decodes Layer III frames of MPEG-1, MPEG-2 and MPEG-2.5 from the input ring into PCM.
// One thread at a time per decoder; the process-wide |x|^(4/3) table is built once,
// safely, by the first decoder that needs it.
class CLayer3Decoder {
public:
    CLayer3Decoder(CMpegBitStream* stream, unsigned downsampleShift, int eightBit, int mono);
    CLayer3Decoder(const CLayer3Decoder&) = delete;
    CLayer3Decoder& operator=(const CLayer3Decoder&) = delete;

    // Always empties the bit reservoir; `full` also clears the overlap and synthesis
    // memories and the spectra (at creation; after a sync loss only the reservoir goes).
    void Reset(bool full);

    // Decodes the frame at the input's read index (NextFrame returned 0; bit counter 0 at
    // the frame's first bit). kStatusOutputTooSmall consumes nothing; otherwise exactly
    // one frame is consumed, its PCM written and kStatusOk, kStatusMainDataMissing (silent
    // frame) or kStatusSideInfoBad (CRC failure, silent frame, reservoir emptied) returned.
    uint32_t Decode(uint8_t* output, int size, int* produced);

    static constexpr int kReservoirBytes = 2048;

private:
    // Bytes the reservoir holds unread.
    int ReservoirBytes() const;
    bool ReadSideInfo();
    bool FillReservoir(int mainDataBytes);
    void DecodeGranule(int gr, uint8_t*& out);
    void SilentGranule(uint8_t*& out);
    void ReadScaleFactors(int gr, int ch, Layer3BitReader& bits);
    void ReadScaleFactorsLsf(int ch, Layer3BitReader& bits);
    void DecodeHuffman(int gr, int ch, Layer3BitReader& bits, uint32_t partStart);
    void DeriveCounts(Layer3Granule& g, const int* values) const;
    void Requantize(int gr, int ch);
    void Stereo(int gr);
    void FilterAndSynthesize(int gr, uint8_t*& out);
    int OutputChannels() const;

    CMp3Huffman huffman_;
    CHybridFilterBank filterBank_;
    MpegFrameParams params_;
    CPolyphaseSynthesis synthesis_;
    CMpegBitStream* stream_;

    // The reservoir is kept linear: held bytes from offset 0, read position in bits.
    // The reader clamps, so the slack only has to cover one 8-byte load.
    uint8_t reservoir_[kReservoirBytes + 8];
    int reservoirEnd_ = 0;
    uint32_t reservoirBit_ = 0;

    Layer3SideInfo side_;
    Layer3ScaleFactors scale_[2];
    int values_[2][576];
    float spectrum_[2][576];
    float hybrid_[2 * 576];  // per channel 32 subbands x 18 time slots

    unsigned downsampleShift_;
    int eightBit_;
    int mono_;
};

}  // namespace mp3
