#include "codecs/vlb/FilterBank.h"

#include <cmath>
#include <cstring>
#include <stdexcept>

#include "codecs/aaccore/Imdct.h"

namespace vlb {

namespace {

constexpr double kPi = 3.14159265358979323846;

double BesselI0(double x) {
    double sum = 1.0, term = 1.0;
    for (int k = 1; k < 200; ++k) {
        double f = x / (2.0 * k);
        term *= f * f;
        sum += term;
        if (term < sum * 1e-21) break;
    }
    return sum;
}

}  // namespace

std::vector<double> SineWindowHalf(unsigned length) {
    std::vector<double> w(length / 2);
    for (unsigned i = 0; i < length / 2; ++i)
        w[i] = std::sin((i + 0.5) * kPi / length);
    return w;
}

std::vector<double> KbdWindowHalf(unsigned length, double alpha) {
    unsigned half = length / 2;
    std::vector<double> kernel(half + 1);
    double total = 0;
    for (unsigned i = 0; i <= half; ++i) {
        double r = (static_cast<double>(i) - half / 2.0) / (half / 2.0);
        kernel[i] = BesselI0(kPi * alpha * std::sqrt(std::max(0.0, 1.0 - r * r)));
        total += kernel[i];
    }
    std::vector<double> w(half);
    double running = 0;
    for (unsigned i = 0; i < half; ++i) {
        running += kernel[i];
        w[i] = std::sqrt(running / total);
    }
    return w;
}

void RunImdct(unsigned lines, const float* in, float* out) {
    if (lines != 128 && lines != 256 && lines != 1024 && lines != 2048)
        throw std::invalid_argument("unsupported IMDCT size");
    std::memcpy(out, in, sizeof(float) * lines);
    aaccore::imdct(out, static_cast<int>(lines));
}

WindowSet::WindowSet(unsigned size) : n(size) {
    const unsigned shortLength = size / 8;
    const unsigned s = size / 16;
    const double shortAlpha = (shortLength == 256 || shortLength == 512) ? 6.0 : 4.0;
    const double longAlpha = (size == 256 || size == 512) ? 6.0 : 4.0;
    auto toFloat = [](const std::vector<double>& v) { return std::vector<float>(v.begin(), v.end()); };
    longWindow[0] = toFloat(SineWindowHalf(size));
    longWindow[1] = toFloat(KbdWindowHalf(size, longAlpha));
    shortWindow[0] = toFloat(SineWindowHalf(shortLength));
    shortWindow[1] = toFloat(KbdWindowHalf(shortLength, shortAlpha));
    for (int shape = 0; shape < 2; ++shape) {
        std::vector<float>& t = transitionWindow[shape];
        t.assign(size / 2, 1.0f);
        unsigned zeros = size / 4 - s / 2;
        for (unsigned i = 0; i < zeros; ++i)
            t[i] = 0.0f;
        for (unsigned i = 0; i < s; ++i)
            t[zeros + i] = shortWindow[shape][i];
        longFall[shape].assign(longWindow[shape].rbegin(), longWindow[shape].rend());
        transitionFall[shape].assign(t.rbegin(), t.rend());
    }
}

const WindowSet& WindowSet::ForLength(unsigned size) {
    static const WindowSet k2048(2048), k4096(4096);
    return size == 4096 ? k4096 : k2048;
}

int SynthesizeBlock(const WindowSet& windows, const float* spectrum, uint32_t sequence, uint32_t previousShape,
                    uint32_t shape, float* out, float* overlap, std::vector<float>& work) {
    if (sequence > 3) return -1;
    const unsigned n = windows.n, half = n / 2;
    previousShape &= 1;
    shape &= 1;
    work.resize(n);
    float* y = work.data();
    if (sequence != kEightShort) {
        RunImdct(half, spectrum, y);
        const float* __restrict rise = sequence == kLongStop ? windows.transitionWindow[previousShape].data()
                                                             : windows.longWindow[previousShape].data();
        const float* __restrict fall =
            sequence == kLongStart ? windows.transitionFall[shape].data() : windows.longFall[shape].data();
        // Windowing and overlap-add in one pass; the products are those of separate passes.
        const float* __restrict in = y;
        float* __restrict to = out;
        float* __restrict carry = overlap;
        for (unsigned i = 0; i < half; ++i) {
            to[i] = in[i] * rise[i] + carry[i];
            carry[i] = in[half + i] * fall[i];
        }
        return 0;
    } else {
        const unsigned lines = n / 16;
        float piece[512];
        std::memset(y, 0, sizeof(float) * n);
        const unsigned base = n / 4 - n / 32;
        for (unsigned w = 0; w < 8; ++w) {
            RunImdct(lines, spectrum + w * lines, piece);
            const float* rise = windows.shortWindow[w == 0 ? previousShape : shape].data();
            const float* fall = windows.shortWindow[shape].data();
            float* dst = y + base + w * lines;
            for (unsigned i = 0; i < lines; ++i) {
                dst[i] += piece[i] * rise[i];
                dst[lines + i] += piece[lines + i] * fall[lines - 1 - i];
            }
        }
    }
    for (unsigned i = 0; i < half; ++i) {
        out[i] = y[i] + overlap[i];
        overlap[i] = y[half + i];
    }
    return 0;
}

}  // namespace vlb

CVlbFilterBank::CVlbFilterBank(unsigned n, unsigned)
    : n_(n), windows_(vlb::WindowSet::ForLength(n)), overlap_(n / 2, 0.0f), out_(n / 2) {}

int CVlbFilterBank::Synthesize(float* spectrum, uint32_t sequence, uint32_t shape) {
    int rc =
        vlb::SynthesizeBlock(windows_, spectrum, sequence, previousShape_, shape, out_.data(), overlap_.data(), work_);
    if (rc != 0) return rc;
    std::memcpy(spectrum, out_.data(), sizeof(float) * (n_ / 2));
    previousShape_ = shape & 1;
    return 0;
}
