// Helpers of the VLB tests: an in-memory DataIOControl, a collecting AudioIOControl and a
// whole-stream decode.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "codecs/vlb/VlbDecoderFront.h"
#include "codecs/vlb/VlbIO.h"

namespace vlbtest {

std::vector<uint8_t> ReadFile(const std::string& path);
std::string FixturePath(const std::string& name);

// Hands out its bytes `chunk` at a time; Read returns 0 only at the end.
class MemoryInput : public DataIOControl {
public:
    explicit MemoryInput(std::vector<uint8_t> bytes, unsigned chunk = 2048) : bytes_(std::move(bytes)), chunk_(chunk) {}
    unsigned Read(void* buffer, unsigned size, unsigned count) override;
    int Reserved() override { return 0; }
    int IsEndOfFile() override { return pos_ >= bytes_.size(); }
    int Open() override { return openResult; }
    int Close() override { return 0; }
    void Append(const std::vector<uint8_t>& more) { bytes_.insert(bytes_.end(), more.begin(), more.end()); }
    int openResult = 0;
    size_t Position() const { return pos_; }

private:
    std::vector<uint8_t> bytes_;
    size_t pos_ = 0;
    unsigned chunk_;
};

class CollectingOutput : public AudioIOControl {
public:
    int Reserved1() override { return 0; }
    int Reserved2() override { return 0; }
    int Reserved3() override { return 0; }
    int Write(float** channels, unsigned samplesPerChannel) override;

    // Channel count of the next Write, kept up to date from VlbFrameInfo by the caller, as
    // the engine's adapter does.
    unsigned channels = 1;
    std::vector<std::vector<float>> samples;  // per channel
    std::vector<unsigned> writes;             // samples per channel of each Write
    std::vector<unsigned> writeChannels;
};

struct Decoded {
    std::vector<int32_t> statuses;  // DecodeFrame statuses, in order (Init's first)
    std::vector<VlbFrameInfo> infos;
    std::vector<uint32_t> extensionErrors;  // per DecodeFrame: error code, or -1 without payload
    CollectingOutput output;
    uint32_t sampleRate = 0;
    uint32_t channels = 0;
};

// Init until 0 (or 5), then DecodeFrame until 5.
Decoded DecodeAll(const std::vector<uint8_t>& bytes, unsigned chunk = 2048);

// 16-bit samples as the engine would see them: the library's floats already carry the
// rounding offset, so truncation rounds.
std::vector<int16_t> ToPcm16(const std::vector<float>& samples);

}  // namespace vlbtest
