// Inverse MDCT, windowing and overlap-add for VLB: the core path (window length 2048) and
// the spectral extension's banks (2048 at the stream's rate, 4096 at twice the rate).
#pragma once

#include <cstdint>
#include <vector>

namespace vlb {

enum WindowSequence : uint32_t {
    kOnlyLong = 0,
    kLongStart = 1,
    kEightShort = 2,
    kLongStop = 3,
};

// IMDCT of `lines` spectral lines (128, 256, 1024 or 2048) to 2 * lines samples, with the
// 2/N scale of the AAC filter bank; the transform is the shared AAC kernel's.
void RunImdct(unsigned lines, const float* in, float* out);

// Rising window halves of one filter-bank size N (window length N, short window N/8).
struct WindowSet {
    explicit WindowSet(unsigned n);
    static const WindowSet& ForLength(unsigned n);  // 2048 or 4096
    unsigned n;
    std::vector<float> longWindow[2];        // [shape], N/2 values: 0 sine, 1 KBD
    std::vector<float> shortWindow[2];       // [shape], N/16 values
    std::vector<float> transitionWindow[2];  // [shape], N/2 values for LONG_START / LONG_STOP
    // The long and transition halves read backwards: the falling halves in sample order.
    std::vector<float> longFall[2];
    std::vector<float> transitionFall[2];
};

// Rising half of a window of `length` samples.
std::vector<double> SineWindowHalf(unsigned length);
std::vector<double> KbdWindowHalf(unsigned length, double alpha);

// One block through the IMDCT, the windows of `sequence` and the overlap-add:
// out receives N/2 samples, overlap (N/2 floats) carries the second half to the next block.
// Returns -1 for a sequence outside 0..3 and leaves everything untouched.
int SynthesizeBlock(const WindowSet& windows, const float* spectrum, uint32_t sequence, uint32_t previousShape,
                    uint32_t shape, float* out, float* overlap, std::vector<float>& work);

}  // namespace vlb

// The spectral extension's filter bank: window length N, S short lines.
class CVlbFilterBank {
public:
    CVlbFilterBank(unsigned n, unsigned s);
    // spectrum: N/2 lines (eight windows of N/16 for EIGHT_SHORT), replaced in place by the
    // N/2 output samples. Returns 0, or -1 for a sequence outside 0..3. The short window
    // length S is fixed by N (N/16 lines), so only N/16 is accepted for it.
    int Synthesize(float* spectrum, uint32_t sequence, uint32_t shape);
    unsigned Length() const { return n_; }

private:
    unsigned n_;
    uint32_t previousShape_ = 0;
    const vlb::WindowSet& windows_;
    std::vector<float> overlap_;
    std::vector<float> out_;
    std::vector<float> work_;
};
