#include "codecs/aacplus/ChannelMapping.h"

#include <algorithm>

namespace aacplus {

namespace {

constexpr float kStereoCentre[4] = {0.292893f, 0.320377f, 0.343146f, 0.414214f};
constexpr float kStereoFront[4] = {0.414214f, 0.453082f, 0.485281f, 0.585786f};
constexpr float kStereoSurround[4] = {0.292893f, 0.226541f, 0.171573f, 0.0f};
constexpr float kMonoFront[4] = {0.226541f, 0.25f, 0.269752f, 0.333333f};
constexpr float kMonoSurround[4] = {0.160189f, 0.125f, 0.095372f, 0.0f};

}  // namespace

#define ZYM_STEREO_ROW(v)                                                              \
    {                                                                                  \
        {kStereoCentre[v], kStereoFront[v], 0.0f, kStereoSurround[v], 0.0f, 0.0f},     \
            {kStereoCentre[v], 0.0f, kStereoFront[v], 0.0f, kStereoSurround[v], 0.0f}, \
    }
const float kStereoDownmix[4][2][6] = {ZYM_STEREO_ROW(0), ZYM_STEREO_ROW(1), ZYM_STEREO_ROW(2), ZYM_STEREO_ROW(3)};
#undef ZYM_STEREO_ROW

#define ZYM_MONO_ROW(v) \
    { kMonoFront[v], kMonoFront[v], kMonoFront[v], kMonoSurround[v], kMonoSurround[v], 0.0f }
const float kMonoDownmix[4][6] = {ZYM_MONO_ROW(0), ZYM_MONO_ROW(1), ZYM_MONO_ROW(2), ZYM_MONO_ROW(3)};
#undef ZYM_MONO_ROW

void decideDownmix(DecoderStreamInfo& info, aacPlusProgramInfo& program, int downmixMode) {
    if (info.downmixKind != kDownmixUndecided) return;
    info.downmixKind = kDownmixNone;
    program.outputChannels = program.numChannels;
    if (downmixMode == 1 && (program.numChannels == 5 || program.numChannels == 6)) {
        info.downmixKind = program.numChannels == 5 ? kDownmixFiveToMono : kDownmixSixToMono;
        program.outputChannels = 1;
    } else if (downmixMode == 2 && (program.numChannels == 5 || program.numChannels == 6)) {
        info.downmixKind = program.numChannels == 5 ? kDownmixFiveToStereo : kDownmixSixToStereo;
        program.outputChannels = 2;
    }
}

ChannelLayout channelLayout(int numChannels, int singleElements, int pairElements, bool parametricStereo) {
    ChannelLayout l;
    auto set = [&](int32_t mode, uint32_t mask, std::initializer_list<uint8_t> map, int front, int back, int lfe) {
        l.mode = mode;
        l.mask = mask;
        l.maskChanged = true;
        l.reorder = true;
        std::copy(map.begin(), map.end(), l.map);
        l.countsChanged = true;
        l.front = front;
        l.back = back;
        l.lfe = lfe;
    };
    switch (numChannels) {
    case 1: set(1, 0x4, {0}, 1, 0, 0); break;
    case 2: {
        int32_t mode = 0;
        if (singleElements == 0 && pairElements == 1)
            mode = 2;
        else if (singleElements == 2)
            mode = 4;
        else if (singleElements == 1)
            mode = parametricStereo ? 3 : 1;
        set(mode, 0x3, {0, 1}, 2, 0, 0);
        break;
    }
    case 3: set(0, 0x7, {2, 0, 1}, 3, 0, 0); break;
    case 4:
        if (pairElements == 2)
            set(5, 0x33, {0, 1, 2, 3}, 2, 2, 0);
        else
            set(6, 0x107, {2, 0, 1, 3}, 3, 1, 0);
        break;
    case 5: set(7, 0x37, {2, 0, 1, 3, 4}, 3, 2, 0); break;
    case 6: set(8, 0x3F, {2, 0, 1, 4, 5, 3}, 3, 2, 1); break;
    case 7: set(9, 0x13F, {2, 0, 1, 4, 5, 6, 3}, 3, 3, 1); break;
    case 8: set(10, 0xFF, {2, 0, 1, 6, 7, 4, 5, 3}, 5, 2, 1); break;
    default: l.mode = 0; break;
    }
    return l;
}

void applyChannelLayout(const ChannelLayout& layout, DecoderStreamInfo& info, aacPlusProgramInfo& program) {
    program.channelMode = layout.mode;
    if (layout.maskChanged) info.speakerMask = layout.mask;
    if (layout.countsChanged) {
        program.frontChannels = layout.front;
        program.backChannels = layout.back;
        program.lfeChannels = layout.lfe;
    }
}

void reorderOrDownmix(float* samples, int frameSize, int numChannels, int outputChannels, int32_t kind, int variant,
                      const uint8_t* map) {
    if (!samples || numChannels <= 0 || numChannels > 8) return;
    variant = std::clamp(variant, 0, 3);
    const bool stereo = kind == kDownmixSixToStereo || kind == kDownmixFiveToStereo;
    const bool mono = kind == kDownmixSixToMono || kind == kDownmixFiveToMono;
    if (stereo || mono) {
        const int outs = stereo ? 2 : 1;
        if (outputChannels != outs || numChannels > 6) return;
        const float* rows = stereo ? &kStereoDownmix[variant][0][0] : &kMonoDownmix[variant][0];
        for (int f = 0; f < frameSize; ++f) {
            const float* in = samples + size_t(f) * numChannels;
            float out[2] = {0.0f, 0.0f};
            for (int o = 0; o < outs; ++o)
                for (int i = 0; i < numChannels; ++i)
                    out[o] += in[i] * rows[o * 6 + i];
            // Output frame f never lies beyond input frame f, so writing in place is safe.
            for (int o = 0; o < outs; ++o)
                samples[size_t(f) * outs + o] = out[o];
        }
        return;
    }
    float frame[8];
    for (int f = 0; f < frameSize; ++f) {
        float* s = samples + size_t(f) * numChannels;
        for (int i = 0; i < numChannels; ++i)
            frame[map[i] < numChannels ? map[i] : i] = s[i];
        std::copy(frame, frame + numChannels, s);
    }
}

}  // namespace aacplus
