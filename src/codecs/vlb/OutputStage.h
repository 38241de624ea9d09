// Look-ahead peak limiter and clamp that every delivered block passes through. Output is
// delayed by 10 samples against the input and rounded away from zero by 0.5.
#pragma once

#include <cstdint>

class COutputStage {
public:
    static constexpr unsigned kDelay = 10;
    static constexpr unsigned kPiece = 128;

    explicit COutputStage(int channels, int unused = 0);
    // Hold 20 ms and decay 1 - 20/rate for the twelve AAC rates; any other rate is limited
    // like 96000 Hz.
    void SetRate(uint32_t rate);
    // Limits and clamps samples p*n .. p*n+n-1 of every channel in place (n <= 128).
    void Process(float** channels, unsigned n, unsigned piece);

    // Gain for one sample magnitude; advances the channel's envelope and hold counter.
    float Gain(int channel, float magnitude);
    uint16_t HoldTime() const { return holdTime_; }
    float DecayFactor() const { return decay_; }
    float Envelope(int channel) const { return limiter_[channel].envelope; }

private:
    // True when the piece and the envelope stay within the threshold.
    bool Quiet(int channel, const float* samples, unsigned n) const;
    // Clamps the work buffer's first n samples into `samples`, with the 0.5 offset.
    void Round(float* samples, unsigned n) const;

    struct Limiter {
        uint32_t hold = 0;
        float envelope = 0.0f;
    };
    Limiter limiter_[2];
    int channels_;
    float work_[kPiece + kDelay];
    float delay_[2][kDelay] = {};
    float previousGain_[2] = {1.0f, 1.0f};
    uint16_t holdTime_ = 1920;
    float decay_ = 1.0f - 20.0f / 96000.0f;
    uint32_t rate_ = 0;
};

// The process-wide gain table (33 entries).
const double* VlbLimiterGainTable();
