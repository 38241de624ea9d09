// Test writer of small ADTS frames for the VLB decoder: core elements with chosen syntax
// values (including out-of-range ones) and spectral-extension payloads, written from the
// same tables the decoder reads.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace vlbtest {

class BitWriter {
public:
    void Put(uint32_t value, unsigned bits);
    void AlignZero();
    size_t Bits() const { return bits_; }
    const std::vector<uint8_t>& Bytes() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
    size_t bits_ = 0;
};

struct IcsSpec {
    uint32_t windowSequence = 0;  // 2 = eight short
    uint32_t windowShape = 0;
    uint32_t maxSfb = 8;
    uint32_t grouping = 0;  // scale_factor_grouping (short)
    unsigned codebook = 11;
    uint32_t globalGain = 170;
    // Quantised lines: 1024 (long) or 8 x 128 in window order (short); zeros when empty.
    std::vector<int> quantized;
    uint32_t predictor = 0;
    // Raw writers replacing a part of the stream, for malformed cases.
    std::function<void(BitWriter&)> sections;  // section data
    std::function<void(BitWriter&)> pulse;     // after the pulse_data_present bit set to 1
    std::function<void(BitWriter&)> tns;       // after the tns_data_present bit set to 1
    std::function<void(BitWriter&)> spectral;  // spectral data
};

struct ExtensionSpec {
    uint32_t version = 0;
    uint32_t tableSet = 0;
    uint32_t rateFlag = 1;
    uint32_t topBandReduction = 0;
    uint32_t blendStart = 200;  // 8 bits long, 4 bits short
    uint32_t chirpIndex = 1;
    uint32_t noiseIndex = 5;
    uint32_t firstValue = 60;
    int delta = 0;  // every further band
    // The mode the decoder will be in for this payload (decides the band count).
    uint32_t doubleRate = 0;
    unsigned extraZeroBytes = 0;
    bool badPadding = false;
    bool truncate = false;  // declare fewer bytes than written (the rest becomes padding)
};

struct FrameSpec {
    uint32_t samplingIndex = 4;  // 44100 Hz
    uint32_t profile = 1;
    uint32_t id = 1;  // MPEG-2
    uint32_t protectionAbsent = 1;
    uint32_t rawBlocks = 0;  // number_of_raw_data_blocks_in_frame
    bool pair = false;
    uint32_t tag = 0;
    uint32_t commonWindow = 1;
    uint32_t msMaskPresent = 0;
    IcsSpec ics[2];
    bool withExtension = false;
    ExtensionSpec extension;
    // Extra raw elements written before ID_END of every raw data block.
    std::function<void(BitWriter&)> extraElements;
    // Writes the whole raw data block instead (elements and ID_END).
    std::function<void(BitWriter&)> rawBlock;
    int frameLengthOverride = -1;
};

// Bit positions in a frame (from its first byte) of the first block's channel element.
struct FrameLayout {
    size_t elementStart = 0;  // element_instance_tag
    size_t secondIcs = 0;     // second channel stream of a pair, else 0
    size_t elementEnd = 0;
};

// One ADTS frame.
std::vector<uint8_t> MakeFrame(const FrameSpec& spec, FrameLayout* layout = nullptr);
// The ADTS CRC of a protected frame, computed bit by bit over the header and the first
// 192 bits of the element (128 of a pair's second stream), short regions zero-padded.
uint16_t ExpectedAdtsCrc(const std::vector<uint8_t>& frame, const FrameLayout& layout);
// Concatenates frames.
std::vector<uint8_t> Join(const std::vector<std::vector<uint8_t>>& frames);
// A tone in quantised lines: `amplitude` at `line` (and its mirror windows for short).
std::vector<int> Tone(bool shortWindows, unsigned line, int amplitude);
// Writes an individual channel stream (global gain, optional ics_info, data).
void WriteIcs(BitWriter& w, const IcsSpec& ics, uint32_t samplingIndex, bool withInfo);
void WriteIcsInfo(BitWriter& w, const IcsSpec& ics);
// One codeword of a spectral codebook (magnitudes below 16) with its sign bits.
void WriteSpectralValues(BitWriter& w, unsigned codebook, const int* values);
void WriteScaleFactor(BitWriter& w, int delta);
// Upper core bin of an ICS.
unsigned UpperBin(const IcsSpec& ics, uint32_t samplingIndex);
// Extension payload bits (after the 4-bit extension_type) for a channel element.
void WriteExtensionPayload(BitWriter& w, const FrameSpec& spec, unsigned channels);

}  // namespace vlbtest
