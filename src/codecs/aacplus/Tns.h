// Temporal noise shaping: all-pole filters run across the spectrum of each window.
#pragma once

#include "codecs/aacplus/BitReader.h"
#include "codecs/aacplus/IcsInfo.h"

namespace aacplus {

struct TnsFilter {
    int bottom = 0;  // bands
    int top = 0;
    int direction = 1;  // +1 upward, -1 downward
    int order = 0;
    int coefCompress = 0;
    int coefBits = 0;
    int coef[32] = {};
};

struct TnsData {
    bool present = false;
    int nFilt[8] = {};
    int coefRes[8] = {};
    TnsFilter filter[8][4];
};

void readTnsData(TnsData& t, const IcsInfo& ics, BitReader& r);
// spectrumOf(w) gives window w's coefficients.
template <class SpectrumOf>
void applyTns(const TnsData& t, const IcsInfo& ics, SpectrumOf&& spectrumOf);

// Reflection coefficients of a filter to the direct-form predictor a[0..order]; returns the
// order after trailing zero coefficients are dropped.
int tnsPredictor(const TnsFilter& f, int coefRes, float* a);
void tnsFilterWindow(const TnsData& t, const IcsInfo& ics, int window, float* spectrum);

template <class SpectrumOf>
void applyTns(const TnsData& t, const IcsInfo& ics, SpectrumOf&& spectrumOf) {
    if (!t.present) return;
    for (int w = 0; w < ics.numWindows(); ++w)
        tnsFilterWindow(t, ics, w, spectrumOf(w));
}

}  // namespace aacplus
