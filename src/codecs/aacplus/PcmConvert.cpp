#include "codecs/aacplus/PcmConvert.h"

#include <cstring>

#include "codecs/aaccore/Lanes.h"
#include "codecs/aaccore/Wide.h"

namespace aacplus {

namespace {

using Ints8 = int32_t __attribute__((vector_size(32)));
using Shorts8 = int16_t __attribute__((vector_size(16)));

// int16 samples from floats as toInt16 rounds them, eight at a time: adding 0.5 with the
// sample's sign (-0.0 becomes -0.5, which truncates to 0 as well), saturating, NaN to 0.
AACCORE_WIDE_KERNEL size_t toInt16Lanes(const float* __restrict x, int16_t* __restrict o, size_t count) {
    using V = aaccore::Lanes8;
    const V low = V{} - 32768.0f, high = V{} + 32767.0f;
    const Ints8 sign = Ints8{} + int32_t(0x80000000u), half = Ints8{} + 0x3F000000;  // 0.5f
    size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        V v;
        std::memcpy(&v, x + i, sizeof(v));
        Ints8 bits;
        std::memcpy(&bits, &v, sizeof(bits));
        const Ints8 signedHalfBits = (bits & sign) | half;
        V signedHalf;
        std::memcpy(&signedHalf, &signedHalfBits, sizeof(signedHalf));
        V y = v + signedHalf;
        y = y > low ? y : low;
        y = y < high ? y : high;
        y = v == v ? y : V{};
        const Shorts8 s = __builtin_convertvector(__builtin_convertvector(y, Ints8), Shorts8);
        std::memcpy(o + i, &s, sizeof(s));
    }
    return i;
}

}  // namespace

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
        size_t i = toInt16Lanes(x, o, count);
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
