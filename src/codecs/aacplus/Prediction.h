// Backward-adaptive prediction of the AAC Main profile, one predictor per spectral line,
// every state value held at 16-bit float precision.
#pragma once

#include "codecs/aacplus/Ics.h"

namespace aacplus {

struct Predictor {
    float r[2];
    float cor[2];
    float var[2];
};

struct PredictionState;
void ResetPredictors(PredictionState& s);

struct PredictionState {
    Predictor p[672];
    PredictionState() { ResetPredictors(*this); }
};
void Predict(PredictionState& s, const IcsInfo& ics, decapl60& channel);

// Exposed for tests: the estimate and the update of one predictor.
float predictorEstimate(const Predictor& p);
void predictorUpdate(Predictor& p, float x);

}  // namespace aacplus
