// Conversion of the decoder's float samples (16-bit scale, full scale 32768.0) into the
// three output formats.
#pragma once

#include <cstddef>
#include <cstdint>

namespace aacplus {

// Rounds half away from zero and saturates.
int16_t toInt16(float x);
// Packed 24-bit value (before byte packing), saturated.
int32_t toInt24(float x);
inline float toFloat(float x) { return x * 3.0517578125e-05f; }

// count samples from `in` into `out` in `format` (0 int16, 1 float, 2 packed 24-bit LE).
// For float, `in` and `out` may be the same buffer.
void convertPcm(const float* in, void* out, size_t count, int format);

}  // namespace aacplus
