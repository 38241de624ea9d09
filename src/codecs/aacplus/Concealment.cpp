#include "codecs/aacplus/Concealment.h"

#include <cmath>
#include <cstring>

#include "codecs/aactables/tables/AacTables.h"

namespace aacplus {
namespace {

// Short layout (8 windows x 128) read as long lines.
inline float longLine(const float* s, bool shortLayout, int k) {
    return shortLayout ? s[(k & 7) * 128 + (k >> 3)] : s[k];
}

void copyIn(decapl60* ch, const float* src, bool shortLayout) {
    if (shortLayout) {
        for (int w = 0; w < 8; ++w)
            std::memcpy(ch->GetSpectrum(w), src + 128 * w, 128 * sizeof(float));
    } else {
        std::memcpy(ch->GetSpectrum(0), src, 1024 * sizeof(float));
    }
}

}  // namespace

void Concealment::Reset() {
    std::memset(stored_, 0, sizeof(stored_));
    std::memset(incoming_, 0, sizeof(incoming_));
    storedSeq_ = storedShape_ = inSeq_ = inShape_ = 0;
    lost_ = fadeCounter_ = fadeState_ = 0;
    gain_ = 1.0f;
    randomIndex_ = 0;
}

float Concealment::nextRandom(bool crossFade) {
    const int i = randomIndex_;
    randomIndex_ = (randomIndex_ + 1) & 511;
    const int f = crossFade ? 2 * i : i;  // index into the table read as 1024 floats
    const aactables::ComplexValue& c = aactables::kSbrNoiseTable[f >> 1];
    return float((f & 1) ? c.im : c.re);
}

void Concealment::advanceLost() {
    if (fadeState_ == 0) {
        fadeCounter_ = 1;
        fadeState_ = 1;
    } else if (fadeState_ == 1) {
        if (++fadeCounter_ >= 5) fadeState_ = 2;
    } else if (fadeState_ == 3) {
        ++fadeCounter_;
        fadeState_ = 1;
    }
    gain_ = fadeState_ == 2 ? 0.0f : float(std::pow(0.75, fadeCounter_ - 1));
}

void Concealment::advanceGood() {
    if (fadeState_ == 2) {
        fadeCounter_ = 5;
        fadeState_ = 3;
    } else if (fadeState_ == 3) {
        if (--fadeCounter_ <= 0) {
            fadeCounter_ = 0;
            fadeState_ = 0;
        }
    } else if (fadeState_ == 1) {
        if (lost_ > 1) {
            --fadeCounter_;
            fadeState_ = 3;
        } else {
            fadeCounter_ = 0;
            fadeState_ = 0;
        }
    }
    gain_ = fadeState_ == 0 ? 1.0f : float(std::pow(0.75, fadeCounter_ - 1));
}

void Concealment::capture(decapl60* channel, const IcsInfo& ics) {
    if (ics.isShort()) {
        for (int w = 0; w < 8; ++w)
            std::memcpy(incoming_ + 128 * w, channel->GetSpectrum(w), 128 * sizeof(float));
    } else {
        std::memcpy(incoming_, channel->GetSpectrum(0), sizeof(incoming_));
    }
    inSeq_ = ics.windowSequence;
    inShape_ = ics.windowShape;
}

decapl60* Concealment::ConcealGoodFrame(decapl60* channel, IcsInfo& ics) {
    advanceGood();
    capture(channel, ics);
    decapl60* out;
    if (lost_ == 0) {
        ics.setSequence(storedSeq_, storedShape_);
        out = storage_->build(&ics);
        copyIn(out, stored_, storedSeq_ == kEightShort);
        std::memcpy(stored_, incoming_, sizeof(stored_));
        storedSeq_ = inSeq_;
        storedShape_ = inShape_;
    } else {
        out = bridge(ics);
        lost_ = 0;
    }
    return out;
}

decapl60* Concealment::ConcealLostFrame(IcsInfo& ics) {
    advanceLost();
    decapl60* out;
    if (lost_ == 0) {
        ics.setSequence(storedSeq_, storedShape_);
        out = storage_->build(&ics);
        copyIn(out, stored_, storedSeq_ == kEightShort);
    } else {
        std::memcpy(incoming_, stored_, sizeof(incoming_));
        const bool shortPrev = storedSeq_ == kEightShort;
        inSeq_ = shortPrev ? kEightShort : kOnlyLong;
        inShape_ = shortPrev ? 0 : 1;
        out = bridge(ics);
    }
    if (lost_ < 0x7FFFFFFF) ++lost_;
    return out;
}

decapl60* Concealment::bridge(IcsInfo& ics) {
    static const int kTable[3][3] = {{0, 1, 1}, {3, 4, 4}, {3, 2, 4}};
    const int prevRow = (storedSeq_ == 0 || storedSeq_ == 3) ? 0 : (storedSeq_ == 2 ? 2 : 1);
    const int nextCol = (inSeq_ == 0 || inSeq_ == 1) ? 0 : (inSeq_ == 2 ? 1 : 2);
    const int seq = kTable[prevRow][nextCol];
    const int shape = (seq == 0 || seq == 3) ? 1 : 0;
    ics.setSequence(seq, shape);
    decapl60* out = storage_->build(&ics);

    const bool prevShort = storedSeq_ == kEightShort;
    const bool nextShort = inSeq_ == kEightShort;
    int numSwb = 0;
    const uint16_t* offs = longSwbOffset(ics.sfIndex, &numSwb);

    // out = base x (E_other / E_base)^(1/4), band by band over the long bands.
    auto scaled = [&](const float* base, bool baseShort, const float* other, bool otherShort) {
        float* dst = out->GetSpectrum(0);
        for (int b = 0; b < numSwb; ++b) {
            double eBase = 1.0, eOther = 1.0;
            for (int k = offs[b]; k < offs[b + 1]; ++k) {
                const double x = longLine(base, baseShort, k), y = longLine(other, otherShort, k);
                eBase += x * x;
                eOther += y * y;
            }
            const float f = float(std::pow(eOther / eBase, 0.25));
            for (int k = offs[b]; k < offs[b + 1]; ++k)
                dst[k] = longLine(base, baseShort, k) * f;
        }
    };

    switch (seq) {
    case kOnlyLong:
    case kLongStart: scaled(stored_, prevShort, incoming_, nextShort); break;
    case kLongStop:
        if (storedSeq_ == kLongStart)
            scaled(stored_, prevShort, incoming_, nextShort);
        else
            scaled(incoming_, nextShort, stored_, prevShort);
        break;
    case kStopStart: {
        const float* src = storedSeq_ == kEightShort ? incoming_ : stored_;
        const bool srcShort = storedSeq_ == kEightShort ? nextShort : prevShort;
        float* dst = out->GetSpectrum(0);
        for (int k = 0; k < offs[numSwb]; ++k)
            dst[k] = longLine(src, srcShort, k);
        break;
    }
    default: {  // eight short windows from the previous window 7 and the next window 0
        float l[128], m[128];
        std::memcpy(l, stored_ + 7 * 128, sizeof(l));
        std::memcpy(m, incoming_, sizeof(m));
        for (int w = 0; w < 8; ++w) {
            float* dst = out->GetSpectrum(w);
            const float f = 0.80078125f * float(8 - w) / 4.0f;
            for (int k = 0; k < 128; ++k) {
                l[k] *= f;
                dst[k] = l[k] * nextRandom(true);
            }
        }
        for (int w = 7; w >= 0; --w) {
            float* dst = out->GetSpectrum(w);
            const float f = 0.349609375f * float(w + 1) / 4.0f;
            for (int k = 0; k < 128; ++k) {
                m[k] *= f;
                dst[k] += m[k] * nextRandom(true);
            }
        }
        break;
    }
    }

    for (int w = 0; w < ics.numWindows(); ++w) {
        float* dst = out->GetSpectrum(w);
        const int n = ics.isShort() ? 128 : 1024;
        for (int k = 0; k < n; ++k) {
            const float v = dst[k] * gain_;
            dst[k] = nextRandom(false) > 0.0f ? v : -v;
        }
    }

    std::memcpy(stored_, incoming_, sizeof(stored_));
    storedSeq_ = inSeq_;
    storedShape_ = inShape_;
    return out;
}

}  // namespace aacplus
