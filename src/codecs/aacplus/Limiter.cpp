#include "codecs/aacplus/Limiter.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace aacplus {

std::unique_ptr<Limiter> Limiter::create(int blockLength, int channels, bool linked) {
    if (blockLength <= 0 || channels <= 0) return nullptr;
    std::unique_ptr<Limiter> l(new (std::nothrow) Limiter());
    if (!l) return nullptr;
    try {
        l->state_.resize(size_t(channels));
        l->delay_.assign(size_t(blockLength) * size_t(channels), 0.0f);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    l->channels_ = channels;
    l->blockLength_ = blockLength;
    l->valuesPerBlock_ = blockLength * channels;
    l->linked_ = linked;
    l->release_ = float(1.0 - std::exp(-0.00016628874));
    return l;
}

void Limiter::process(const float* in, float* out) {
    float linkedPeak = 0.0f;
    if (linked_) {
        for (int i = 0; i < valuesPerBlock_; ++i) {
            const float a = std::fabs(in[i]);
            if (a > threshold_ && a > linkedPeak) linkedPeak = a;
        }
    }
    for (int c = 0; c < channels_; ++c) {
        Channel& ch = state_[size_t(c)];
        float peak = linkedPeak;
        if (!linked_) {
            peak = 0.0f;
            for (int i = c; i < valuesPerBlock_; i += channels_) {
                const float a = std::fabs(in[i]);
                if (a > threshold_ && a > peak) peak = a;
            }
        }
        const float target = peak > threshold_ ? threshold_ / peak : 1.0f;
        float slope = 0.0f;
        if (ch.gain > target) {
            ch.state = kAttack;
            slope = (ch.gain - target) / float(valuesPerBlock_);
        }
        switch (ch.state) {
        case kPass:
            for (int i = c; i < valuesPerBlock_; i += channels_) {
                const float v = in[i];
                out[i] = delay_[size_t(i)];
                delay_[size_t(i)] = v;
            }
            break;
        case kAttack:
            for (int i = c; i < valuesPerBlock_; i += channels_) {
                const float v = in[i];
                out[i] = delay_[size_t(i)] * (ch.gain - float(i) * slope);
                delay_[size_t(i)] = v;
            }
            ch.gain = target;
            ch.state = kHold;
            break;
        case kHold:
            for (int i = c; i < valuesPerBlock_; i += channels_) {
                const float v = in[i];
                out[i] = delay_[size_t(i)] * ch.gain;
                delay_[size_t(i)] = v;
            }
            ch.state = kRelease;
            break;
        default: {
            const float limit = std::min(ch.previousTarget, target);
            for (int i = c; i < valuesPerBlock_; i += channels_) {
                ch.gain = std::min(ch.gain + std::max((limit - ch.gain) * release_, 5e-8f), limit);
                const float v = in[i];
                out[i] = delay_[size_t(i)] * ch.gain;
                delay_[size_t(i)] = v;
            }
            if (target > ch.gain) {
                ch.state = kRelease;
            } else if (ch.gain < 1.0f) {
                ch.gain = target;
                ch.state = kHold;
            } else {
                ch.gain = 1.0f;
                ch.state = kPass;
            }
            break;
        }
        }
        ch.previousTarget = target;
    }
}

}  // namespace aacplus
