// Output limiter: keeps a frame's PCM below full scale with a one-block look-ahead
// (the output lags the input by one block of 64 sample frames).
#pragma once

#include <memory>
#include <vector>

namespace aacplus {

class Limiter {
public:
    // Null on allocation failure.
    static std::unique_ptr<Limiter> create(int blockLength, int channels, bool linked);

    // One block of blockLength x channels interleaved values; in and out may be the same.
    void process(const float* in, float* out);

    int channels() const { return channels_; }
    int valuesPerBlock() const { return valuesPerBlock_; }
    float gain(int channel) const { return state_[channel].gain; }

private:
    Limiter() = default;

    enum Phase : int { kPass = 0, kRelease = 1, kHold = 2, kAttack = 3 };
    struct Channel {
        Phase state = kPass;
        float gain = 1.0f;
        float previousTarget = 1.0f;
    };

    int channels_ = 0;
    int blockLength_ = 0;
    int valuesPerBlock_ = 0;
    bool linked_ = true;
    float threshold_ = 32767.0f;
    float release_ = 0.0f;
    std::vector<Channel> state_;
    std::vector<float> delay_;
};

}  // namespace aacplus
