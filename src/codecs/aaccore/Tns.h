// Temporal noise shaping: the all-pole filter one TNS filter runs across a stretch of lines.
// Reading the filters and clamping their bands stay with each decoder.
#pragma once

namespace aaccore {

// Quantised reflection coefficients (coefRes 0: 3 bits, 1: 4 bits) to the direct-form
// predictor a[0..order], a[0] = 1. Returns the order without trailing zero coefficients,
// which leave the filter unchanged. order <= 32.
int tnsPredictor(const int* coef, int order, int coefRes, float* a);

// Filters lines [start, end) of x in place, from the top down when `downward`.
void tnsFilter(float* x, int start, int end, bool downward, const float* a, int order);

}  // namespace aaccore
