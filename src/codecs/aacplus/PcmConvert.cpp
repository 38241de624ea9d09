#include "codecs/aacplus/PcmConvert.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace aacplus {

#if defined(__SSE2__)
namespace {

// Four samples as toInt16 rounds them, still 32 bits wide. Adding 0.5 with the sample's
// sign turns -0.0 into -0.5, which truncates to 0 as well.
inline __m128i toInt32(__m128 v) {
    const __m128 half = _mm_or_ps(_mm_and_ps(v, _mm_set1_ps(-0.0f)), _mm_set1_ps(0.5f));
    __m128 y = _mm_add_ps(v, half);
    y = _mm_min_ps(_mm_max_ps(y, _mm_set1_ps(-32768.0f)), _mm_set1_ps(32767.0f));
    return _mm_cvttps_epi32(_mm_and_ps(y, _mm_cmpord_ps(v, v)));
}

}  // namespace
#endif

int16_t toInt16(float x) {
    if (x != x) return 0;  // NaN must not reach the integer conversion
    if (x >= 0.0f) {
        const float y = x + 0.5f;
        return y > 32767.0f ? int16_t(32767) : int16_t(int32_t(y));
    }
    const float y = 0.5f - x;
    return y > 32768.0f ? int16_t(-32768) : int16_t(-int32_t(y));
}

int32_t toInt24(float x) {
    const float v = x * 256.0f;
    if (v >= 0.0f) return v > 8388607.0f ? 0x7FFFFF : int32_t(v + 0.5f);
    if (v < 0.0f) return v < -8388608.0f ? -8388608 : int32_t(v - 0.5f);
    return 0;  // NaN
}

void convertPcm(const float* in, void* out, size_t count, int format) {
    switch (format) {
    case 0: {
        int16_t* __restrict o = static_cast<int16_t*>(out);
        const float* __restrict x = in;
        size_t i = 0;
#if defined(__SSE2__)
        for (; i + 8 <= count; i += 8) {
            const __m128i a = toInt32(_mm_loadu_ps(x + i));
            const __m128i b = toInt32(_mm_loadu_ps(x + i + 4));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(o + i), _mm_packs_epi32(a, b));
        }
#endif
        // toInt16 without branches: round half away from zero, saturate, NaN to 0.
        for (; i < count; ++i) {
            const float v = x[i];
            float y = v + (v < 0.0f ? -0.5f : 0.5f);
            y = y < -32768.0f ? -32768.0f : y;
            y = y > 32767.0f ? 32767.0f : y;
            o[i] = int16_t(int32_t(v == v ? y : 0.0f));
        }
        break;
    }
    case 2: {
        uint8_t* o = static_cast<uint8_t*>(out);
        for (size_t i = 0; i < count; ++i) {
            const uint32_t v = uint32_t(toInt24(in[i]));
            o[3 * i] = uint8_t(v);
            o[3 * i + 1] = uint8_t(v >> 8);
            o[3 * i + 2] = uint8_t(v >> 16);
        }
        break;
    }
    default: {
        float* o = static_cast<float*>(out);
        for (size_t i = 0; i < count; ++i)
            o[i] = toFloat(in[i]);
        break;
    }
    }
}

}  // namespace aacplus
