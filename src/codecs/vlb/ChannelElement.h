// Single channel and channel pair elements of the VLB core: ics_info, section, scale
// factor, pulse, TNS and spectral data, dequantisation, stereo tools and synthesis.
#pragma once

#include <cstdint>
#include <variant>
#include <vector>

#include "codecs/vlb/AacException.h"
#include "codecs/vlb/AacStreamInfo.h"
#include "codecs/vlb/BitSequence.h"
#include "codecs/vlb/FilterBank.h"
#include "codecs/vlb/OutputStage.h"
#include "codecs/vlb/VlbBitStream.h"

class AudioIOControl;
struct VlbExtensionState;

// Band tables of a sampling index; null offsets for the indices 12 to 15.
struct VlbBandTable {
    const uint16_t* longOffsets = nullptr;
    unsigned longBands = 0;
    const uint16_t* shortOffsets = nullptr;
    unsigned shortBands = 0;
    unsigned tnsMaxLong = 0;
    unsigned tnsMaxShort = 0;
    uint32_t rate = 0;
};
const VlbBandTable& VlbBandsForIndex(uint32_t samplingIndex);

class CChannelInfo {
public:
    struct EIllegalProfile : vlb::IllegalProfileError {};

    void Reset(const AacStreamInfo& info);
    void Read(CVlbBitStream& bs);  // ics_info
    bool IsShort() const { return windowSequence.Value() == vlb::kEightShort; }
    unsigned WindowCount() const { return IsShort() ? 8 : 1; }
    unsigned WindowLines() const { return IsShort() ? 128 : 1024; }
    const uint16_t* Offsets() const;  // band offsets of the window kind, may be null

    bool valid = false;
    CBitSequence icsReservedBit{1}, windowSequence{2}, windowShape{1}, maxSfb{6}, scaleFactorGrouping{7},
        predictorDataPresent{1};
    uint32_t samplingIndex = 0;
    uint32_t profile = 0;
    unsigned numSwb = 0;
    unsigned numGroups = 1;
    unsigned groupLength[8] = {1};
};

struct OverlapRecord {
    uint32_t previousShape = 0;
    float samples[1024] = {};
};

struct SectionInfo {
    unsigned count[8] = {};
    uint8_t codebook[8][64] = {};
    uint8_t start[8][64] = {};
    uint8_t end[8][64] = {};
};

struct TnsData {
    uint32_t present = 0;
    struct Filter {
        uint32_t length = 0, order = 0, direction = 0, coefCompress = 0;
        int coef[32];  // the first `order` are read with the filter
    };
    uint32_t nFilt[8] = {};
    uint32_t coefRes[8] = {};
    Filter filter[8][3];
};

class CBlock {
public:
    struct EUnimplemented : vlb::UnimplementedError {};
    struct EInvalidCodeBook : vlb::InvalidCodeBookError {};

    CBlock(CChannelInfo& info);
    virtual ~CBlock() = default;

    void Read(CVlbBitStream& bs, uint32_t globalGain);
    // TNS over a spectrum laid out as the block's windows, `stride` floats apart.
    virtual void ApplyTns(float* spectrum, unsigned stride) const;
    void ApplyTns() { ApplyTns(spectrum_, 128); }
    virtual void Synthesize(OverlapRecord& overlap);
    const SectionInfo& GetSectionInfo() const { return sections_; }
    float* GetSpectrum(unsigned window = 0) { return spectrum_ + window * 128; }
    float* GetTimeSignal() { return time_; }
    const uint8_t* GetSectionCodebooks(unsigned group) const { return bandCodebook_[group]; }
    const int* GetScaleFactors(unsigned group) const { return scaleFactor_[group]; }
    const CChannelInfo& Info() const { return info_; }

protected:
    virtual void ReadSectionData(CVlbBitStream& bs);
    virtual void ReadScaleFactors(CVlbBitStream& bs, uint32_t globalGain);
    virtual void ReadSpectralData(CVlbBitStream& bs) = 0;
    void ReadPulseData(CVlbBitStream& bs);
    void ReadTnsData(CVlbBitStream& bs);
    // Decodes every band's lines: to quantized_ when pulses follow, else straight to
    // spectrum_ scaled by the band's gain. The bit reader is picked once per block.
    void ReadBands(CVlbBitStream& bs);
    template <class Reader>
    void ReadBandsWith(Reader& r);
    void Dequantize();

    CChannelInfo& info_;
    bool short_;
    struct Pulse {
        uint32_t present = 0, count = 0, startSfb = 0;
        uint32_t offset[4] = {}, amp[4] = {};
    } pulse_;
    TnsData tns_;
    unsigned sectionBits_;
    SectionInfo sections_;
    uint8_t bandCodebook_[8][64] = {};
    int scaleFactor_[8][64] = {};  // scale factor - 100, intensity position - 100, or 0
    // The three line buffers are left unset here: ReadSpectralData clears the one it decodes
    // to, and the synthesis writes every sample of time_. A block is made per frame.
    int quantized_[1024];
    float spectrum_[1024];
    bool dequantized_ = false;  // the spectral data went straight to spectrum_
    float time_[1024];
};

class CLongBlock : public CBlock {
public:
    explicit CLongBlock(CChannelInfo& info) : CBlock(info) {}

protected:
    void ReadSpectralData(CVlbBitStream& bs) override;
};

class CShortBlock : public CBlock {
public:
    explicit CShortBlock(CChannelInfo& info) : CBlock(info) {}

protected:
    void ReadSpectralData(CVlbBitStream& bs) override;
};

using BlockStorage = std::variant<std::monostate, CLongBlock, CShortBlock>;

// Per-channel state of the spectral extension's synthesis.
struct ExtensionChannel {
    CVlbFilterBank doubleRate{4096, 256};
    CVlbFilterBank normalRate{2048, 128};
    std::vector<float> spectrum = std::vector<float>(2048);
};

class CChannelElement {
public:
    explicit CChannelElement(CVlbBitStream& bs) : bs_(bs) {}
    virtual ~CChannelElement() = default;
    virtual void Read(const AacStreamInfo& info) = 0;
    virtual void Output(AudioIOControl* out, const AacStreamInfo& info, unsigned channels) = 0;
    virtual unsigned GetChannelCount() const { return 0; }

    // For the spectral extension and tests.
    virtual CBlock* GetBlock(unsigned channel) = 0;
    virtual CChannelInfo& GetInfo(unsigned channel) = 0;
    virtual ExtensionChannel& GetExtension(unsigned channel) = 0;
    virtual COutputStage& GetOutputStage() = 0;
    virtual void DestroyBlocks() = 0;

protected:
    CBlock* ReadChannelStream(CChannelInfo& info, BlockStorage& storage);
    CVlbBitStream& bs_;
    CBitSequence globalGain_{8};
};

class CSingleChannel : public CChannelElement {
public:
    explicit CSingleChannel(CVlbBitStream& bs) : CChannelElement(bs) {}
    void Read(const AacStreamInfo& info) override;
    void Output(AudioIOControl* out, const AacStreamInfo& info, unsigned channels) override;
    void OutputWithExtension(AudioIOControl* out, VlbExtensionState& ext, const AacStreamInfo& info);
    unsigned GetChannelCount() const override { return 1; }

    CBlock* GetBlock(unsigned) override { return block_; }
    CChannelInfo& GetInfo(unsigned) override { return info_; }
    ExtensionChannel& GetExtension(unsigned) override { return ext_; }
    COutputStage& GetOutputStage() override { return stage_; }
    void DestroyBlocks() override;

private:
    CChannelInfo info_;
    OverlapRecord overlap_;
    BlockStorage storage_;
    CBlock* block_ = nullptr;
    COutputStage stage_{1};
    // Two entries, the second repeating the first: a caller that still expects the channel
    // count of an earlier report reads a valid array instead of past it.
    float* pointers_[2] = {nullptr, nullptr};
    ExtensionChannel ext_;
};

class CChannelPair : public CChannelElement {
public:
    explicit CChannelPair(CVlbBitStream& bs) : CChannelElement(bs) {}
    void Read(const AacStreamInfo& info) override;
    void Output(AudioIOControl* out, const AacStreamInfo& info, unsigned channels) override;
    void OutputWithExtension(AudioIOControl* out, VlbExtensionState& ext, const AacStreamInfo& info);
    unsigned GetChannelCount() const override { return 2; }

    CBlock* GetBlock(unsigned c) override { return block_[c]; }
    CChannelInfo& GetInfo(unsigned c) override { return info_[c]; }
    ExtensionChannel& GetExtension(unsigned c) override { return ext_[c]; }
    COutputStage& GetOutputStage() override { return stage_; }
    void DestroyBlocks() override;
    bool CommonWindow() const { return commonWindow_.Value() != 0; }
    // M/S then intensity stereo over spectra laid out `stride` floats per window.
    void ApplyStereo(float* left, float* right, unsigned stride);

private:
    CBitSequence commonWindow_{1};
    CChannelInfo info_[2];
    OverlapRecord overlap_[2];
    CBitSequence msMaskPresent_{2};
    uint8_t msUsed_[8][64] = {};
    BlockStorage storage_[2];
    CBlock* block_[2] = {nullptr, nullptr};
    COutputStage stage_{2};
    float* pointers_[2] = {nullptr, nullptr};
    ExtensionChannel ext_[2];
};
