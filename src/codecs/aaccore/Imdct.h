// The inverse MDCT of the AAC filterbank, in place, and the window slopes.
//
// x[n] = 2/N sum_k X[k] cos(2 pi / N (n + (N/2 + 1) / 2)(k + 1/2)), N = 2M: M coefficients at
// the front of the buffer become N samples. Computed as a DCT-IV through an M/2-point complex
// FFT, then unfolded; the output is on the decoder's 16-bit scale without extra factors.
#pragma once

namespace aaccore {

void imdctLong(float* buffer);   // 1024 coefficients -> 2048 samples
void imdctShort(float* buffer);  // 128 coefficients -> 256 samples
// Any of 128, 256, 1024 or 2048 coefficients; false, leaving the buffer, for other sizes.
bool imdct(float* buffer, int lines);

// A long block's synthesis: the inverse MDCT of the 1024 coefficients in `buffer` (room
// for 2048), windowed and overlap-added. `overlap` holds the previous block's windowed
// second half and gets this block's; `out` gets the 1024 samples. A short rising or falling
// half (the start and stop shapes) is the short slope in the middle of the half, with zeros
// before it and ones after it (mirrored for the falling half).
struct LongWindowing {
    int risingShape = 0, fallingShape = 0;
    bool shortRising = false, shortFalling = false;
};
void synthesizeLong(float* buffer, const LongWindowing& w, float* overlap, float* out);

// Rising window halves: long 1024 values, short 128. shape 0 sine, 1 Kaiser-Bessel-derived
// (alpha 4 long, 6 short). The falling half is the rising one read backwards.
const float* longWindow(int shape);
const float* shortWindow(int shape);

}  // namespace aaccore
