// One channel of an AAC frame: section data, scale factors, spectral data, inverse
// quantisation, and (after the element's joint tools) windowing and overlap-add around the
// inverse transform. decapl70 handles the long sequences, decapl79 the eight short windows;
// the element builds the one the frame needs in its own storage every frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>

#include "codecs/aacplus/BitReader.h"
#include "codecs/aacplus/IcsInfo.h"
#include "codecs/aacplus/Pns.h"
#include "codecs/aacplus/Pulse.h"
#include "codecs/aacplus/Tns.h"

namespace aacplus {

// What survives of a channel from one frame to the next.
struct OverlapState {
    int32_t shape = 0;
    float samples[1024] = {};
};

// Rounds half away from zero and saturates to 16 bits.
int16_t sampleToInt16(float v);

class decapl60 {
public:
    explicit decapl60(IcsInfo* ics);
    virtual ~decapl60() = default;
    decapl60(const decapl60&) = delete;
    decapl60& operator=(const decapl60&) = delete;

    // Noise substitution (msFlags: the pair's band flags or null; channel 0 or 1), then TNS.
    virtual void ApplyNoiseAndTns(const uint8_t (*msFlags)[64], int channel, NoiseGenerator& gen);
    virtual void SynthesizeInt16(OverlapState& ov, int16_t* out, int stride);
    virtual void SynthesizeFloat(OverlapState& ov, float* out, int stride) = 0;
    virtual void FlushOverlapInt16(OverlapState& ov, int16_t* out, int stride);
    virtual void FlushOverlapFloat(OverlapState& ov, float* out, int stride);
    virtual int ReadSectionData(BitReader& r);
    virtual int ReadScaleFactorData(BitReader& r, int globalGain);
    virtual int ReadSpectralData(BitReader& r);
    virtual float* GetSpectrum(int window) = 0;
    uint8_t* GetCodebooks(int group) { return codebooks_[group & 7]; }
    int16_t* GetScaleFactors(int group) { return scale_[group & 7]; }

    // The rest of individual_channel_stream after global_gain and ics_info.
    int ReadChannelStream(BitReader& r, int globalGain);

    IcsInfo& ics() { return *ics_; }
    const IcsInfo& ics() const { return *ics_; }
    void setPnsEnabled(bool on) { pnsEnabled_ = on; }
    bool hasNoise() const { return noise_.any; }
    bool isNoiseBand(int group, int band) const { return noise_.energy[group & 7][band & 63] != kNoNoise; }
    const TnsData& tns() const { return tns_; }
    const PulseData& pulse() const { return pulse_; }
    NoiseData& noise() { return noise_; }

protected:
    void dequantise();

    IcsInfo* ics_;
    PulseData pulse_;
    TnsData tns_;
    NoiseData noise_;
    bool pnsEnabled_ = true;
    int sectionBits_ = 5;
    uint8_t codebooks_[8][64] = {};
    int16_t scale_[8][64] = {};
    alignas(16) float spectrum_[2048];
};

class decapl70 final : public decapl60 {
public:
    explicit decapl70(IcsInfo* ics);
    void SynthesizeFloat(OverlapState& ov, float* out, int stride) override;
    float* GetSpectrum(int) override { return spectrum_; }
};

class decapl79 final : public decapl60 {
public:
    explicit decapl79(IcsInfo* ics);
    void SynthesizeFloat(OverlapState& ov, float* out, int stride) override;
    float* GetSpectrum(int window) override { return spectrum_ + 256 * (window & 7); }
};

// In-place storage for one channel stream object of either kind.
class IcsStorage {
public:
    IcsStorage() = default;
    ~IcsStorage() { destroy(); }
    IcsStorage(const IcsStorage&) = delete;
    IcsStorage& operator=(const IcsStorage&) = delete;

    // Destroys any previous object and builds the one ics's window_sequence needs.
    decapl60* build(IcsInfo* ics);
    void destroy();
    decapl60* get() const { return object_; }

private:
    alignas(16) unsigned char bytes_[sizeof(decapl79) > sizeof(decapl70) ? sizeof(decapl79) : sizeof(decapl70)];
    decapl60* object_ = nullptr;
};

}  // namespace aacplus
