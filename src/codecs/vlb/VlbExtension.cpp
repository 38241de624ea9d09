#include "codecs/vlb/VlbExtension.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "codecs/vlb/VlbExtensionTables.h"
#include "codecs/vlb/VlbIO.h"

namespace {

using vlb::kEightShort;
using vlb::kLongStart;
using vlb::kLongStop;

constexpr unsigned kNoiseTableSize = 10000;
constexpr float kLcgScale = 4.656599e-10f;

uint32_t LcgNext(uint32_t& x) {
    x = 1664525u * x + 1013904223u;
    return x;
}

const float* NoiseTable() {
    static const std::vector<float> table = [] {
        std::vector<double> v(kNoiseTableSize);
        uint32_t x = 101;
        double mean = 0;
        for (double& value : v) {
            value = static_cast<int32_t>(LcgNext(x)) * 4.656599e-10;
            mean += value;
        }
        mean /= kNoiseTableSize;
        double energy = 0;
        for (double& value : v) {
            value -= mean;
            energy += value * value;
        }
        const double rms = std::sqrt(energy / kNoiseTableSize);
        std::vector<float> f(kNoiseTableSize);
        for (unsigned i = 0; i < kNoiseTableSize; ++i)
            f[i] = static_cast<float>(v[i] / rms);
        return f;
    }();
    return table.data();
}

// Bounded reader over one fill payload: fields must stay within count * 8 bits.
class PayloadReader {
public:
    PayloadReader(CVlbBitStream& bs, unsigned count) : bs_(bs), limit_(count * 8), used_(4) {}
    bool Fits(unsigned bits) const { return used_ + bits <= limit_; }
    bool Read(unsigned bits, unsigned& value) {
        if (!Fits(bits)) return false;
        value = bs_.Get(bits);
        used_ += bits;
        return true;
    }
    unsigned Used() const { return used_; }
    unsigned Limit() const { return limit_; }

private:
    CVlbBitStream& bs_;
    unsigned limit_;
    unsigned used_;
};

bool ReadDelta(PayloadReader& reader, const vlbext::DeltaCodeList& list, int& delta) {
    unsigned value = 0, length = 0;
    for (unsigned i = 0; i < list.count; ++i) {
        const vlbext::DeltaCode& entry = list.entries[i];
        if (entry.length > length) {
            unsigned more;
            if (!reader.Read(entry.length - length, more)) return false;
            value = (value << (entry.length - length)) | more;
            length = entry.length;
        }
        if (value == entry.code) {
            delta = entry.delta;
            return true;
        }
    }
    return false;
}

}  // namespace

VlbExtensionGlobals& VlbExtensionInitialHysteresis() {
    static VlbExtensionGlobals initial;
    return initial;
}

uint32_t VlbHysteresisStep(VlbExtensionGlobals& g, uint32_t rateFlag) {
    // Flag 1 asks for single rate (mode 0), flag 0 for double rate (mode 1); a switch needs
    // two payloads in a row, except for the first payload of the process.
    const uint32_t wanted = rateFlag ? 0 : 1;
    const uint32_t other = 1 - wanted;
    uint32_t mode;
    if (g.previousMode == other) {
        if (++g.counter >= 2) {
            mode = wanted;
            g.counter = 0;
        } else {
            mode = other;
        }
    } else {
        mode = wanted;
        g.counter = 0;
    }
    g.previousMode = mode;
    return mode;
}

unsigned VlbExtensionBands(uint32_t samplingRate, bool shortWindows, uint32_t doubleRate, uint32_t upperBin,
                           uint16_t* widths) {
    unsigned count = 0;
    uint32_t rate = doubleRate ? samplingRate * 2 : samplingRate;
    const uint16_t* layout = vlbext::BandLayout(rate, shortWindows, doubleRate, &count);
    if (layout == nullptr) layout = vlbext::BandLayout(rate / 2, shortWindows, doubleRate, &count);
    if (layout == nullptr || count == 0) return 0;
    unsigned start = 0, i = 0;
    for (; i < count; ++i) {
        if (start + layout[i] >= upperBin) break;
        start += layout[i];
    }
    if (i == count) return 0;
    const unsigned end = start + layout[i];
    const unsigned below = upperBin - start, above = end - upperBin;
    unsigned n = 0;
    if (end == upperBin) {
        for (unsigned j = i + 1; j < count; ++j)
            widths[n++] = layout[j];
        return n;
    }
    // The straddling band is kept whole from the upper bin when most of it lies above,
    // else dropped; the kept list is then trimmed or widened to end at the output length.
    unsigned first = above > below ? i : i + 1;
    for (unsigned j = first; j < count && n < kVlbMaxExtensionBands; ++j)
        widths[n++] = layout[j];
    if (n == 0) return 0;
    if (above >= below) {
        unsigned removed = 0, guard = 0;
        for (unsigned j = n; removed < below && guard < 100000; ++guard) {
            j = j == 0 ? n - 1 : j - 1;
            if (widths[j] > 1) {
                --widths[j];
                ++removed;
            }
        }
    } else {
        for (unsigned added = 0, j = n; added < above; ++added) {
            j = j == 0 ? n - 1 : j - 1;
            ++widths[j];
        }
    }
    return n;
}

unsigned ReadExtensionPayload(unsigned count, VlbExtensionState& state, CVlbBitStream& bs, bool commit) {
    PayloadReader r(bs, count);
    auto fail = [&](uint32_t code) {
        state.errorCode = code;
        return r.Limit() - r.Used();
    };
    unsigned v;
    state.errorCode = 0;
    if (!r.Read(3, v)) return fail(kVlbErrorTruncated);
    if (v > 3) return fail(kVlbErrorVersion);
    if (!r.Read(2, v)) return fail(kVlbErrorTruncated);
    if (!r.Read(1, v)) return fail(kVlbErrorTruncated);
    state.tableSet = v;
    if (!r.Read(1, v)) return fail(kVlbErrorTruncated);
    // The parse pass works on a copy, so each frame steps the hysteresis once.
    VlbExtensionGlobals trial = state.hysteresis;
    state.doubleRate = VlbHysteresisStep(commit ? state.hysteresis : trial, v);
    if (state.channels != 1 && state.channels != 2) return fail(kVlbErrorChannels);

    for (unsigned c = 0; c < state.channels; ++c) {
        VlbExtensionChannel& ch = state.channel[c];
        const bool isShort = ch.windowSequence == kEightShort;
        if (!r.Read(3, v)) return fail(kVlbErrorTruncated);
        ch.topBandReduction = v;
        uint16_t widths[kVlbMaxExtensionBands];
        unsigned bands = VlbExtensionBands(state.samplingRate, isShort, state.doubleRate, ch.upperBin, widths);
        bands = bands > ch.topBandReduction ? bands - ch.topBandReduction : 0;
        const vlbext::DeltaCodeList& codes = vlbext::DeltaCodes(state.tableSet, isShort);
        const unsigned groups = std::min<uint32_t>(ch.numGroups, 8);
        for (unsigned g = 0; g < groups; ++g) {
            VlbExtensionGroup& grp = ch.group[g];
            if (!r.Read(isShort ? 4 : 8, v)) return fail(kVlbErrorTruncated);
            grp.noiseBlendStart = v;
            grp.chirp = 1.0f;
            if (!isShort) {
                if (!r.Read(3, v)) return fail(kVlbErrorTruncated);
                grp.chirp = vlbext::ChirpFactor(v);
            }
            std::fill(std::begin(grp.noiseLevel), std::end(grp.noiseLevel), 0.0f);
            const unsigned sections = std::min(ch.sections.count[g], 64u);
            for (unsigned s = 0; s < sections; ++s) {
                unsigned cb = ch.sections.codebook[g][s];
                if (cb < 1 || cb > 11) continue;
                if (!r.Read(isShort ? 3 : 4, v)) return fail(kVlbErrorTruncated);
                float level = vlbext::NoiseLevel(isShort ? 2 * v + 1 : v);
                for (unsigned b = ch.sections.start[g][s]; b < ch.sections.end[g][s] && b < 64; ++b)
                    grp.noiseLevel[b] = level;
            }
            grp.bandCount = bands;
            std::copy(widths, widths + bands, grp.bandWidth);
            if (bands == 0) continue;
            if (!r.Read(isShort ? 7 : 8, v)) return fail(kVlbErrorTruncated);
            grp.firstValue = static_cast<int32_t>(v);
            grp.delta[0] = 0;
            for (unsigned b = 1; b < bands; ++b) {
                int delta;
                if (!ReadDelta(r, codes, delta)) return fail(kVlbErrorTruncated);
                grp.delta[b] = delta;
            }
        }
    }
    unsigned pad = (8 - r.Used() % 8) % 8;
    if (pad) {
        if (!r.Read(pad, v)) return fail(kVlbErrorTruncated);
        if (v != 0) return fail(kVlbErrorPadding);
    }
    while (r.Used() < r.Limit()) {
        r.Read(8, v);
        if (v != 0) return fail(kVlbErrorPadding);
    }
    if (r.Used() > r.Limit()) state.errorCode = kVlbErrorBeyondCount;
    return r.Limit() - r.Used();
}

namespace {

// Fills zero bins of the core band with shaped noise (per window of `stride` floats).
void FillHoles(float* spectrum, unsigned stride, const VlbExtensionChannel& ch, uint32_t previousSequence,
               uint32_t& holeNoise) {
    const bool isShort = ch.windowSequence == kEightShort;
    const unsigned start = isShort ? 6 : 50, sourceLength = isShort ? 18 : 150, groupSize = isShort ? 3 : 10;
    const unsigned splitBand = isShort ? 4 : 19, shift = isShort ? 7 : 14;
    const float decayAbove = isShort ? 0.9f : 0.975f, decayBelow = isShort ? 0.7f : 0.9f;
    if (ch.offsets == nullptr) return;
    const unsigned e = ch.upperBin;
    const unsigned splitOffset = splitBand <= ch.numSwb ? ch.offsets[splitBand] : ch.offsets[ch.numSwb];
    const bool halve = ch.windowSequence == kLongStop && previousSequence == kLongStart;
    unsigned window = 0;
    for (unsigned g = 0; g < std::min<uint32_t>(ch.numGroups, 8); ++g) {
        const VlbExtensionGroup& grp = ch.group[g];
        for (unsigned w = 0; w < ch.groupLength[g] && window < 8; ++w, ++window) {
            float* x = spectrum + window * stride;
            float source[150];
            for (unsigned i = 0; i < sourceLength; ++i)
                source[i] = x[start + i];
            for (unsigned g0 = 0; g0 < sourceLength; g0 += groupSize) {
                double energy = 0;
                unsigned nonZero = 0;
                for (unsigned i = g0; i < g0 + groupSize; ++i)
                    if (source[i] != 0.0f) {
                        energy += double(source[i]) * source[i];
                        ++nonZero;
                    }
                const float rms = nonZero ? static_cast<float>(std::sqrt(energy / nonZero)) : 1.0f;
                for (unsigned i = g0; i < g0 + groupSize; ++i) {
                    if (source[i] != 0.0f)
                        source[i] /= rms;
                    else
                        source[i] = 1.5f * kLcgScale * static_cast<float>(static_cast<int32_t>(LcgNext(holeNoise)));
                }
            }
            // Noise into the zero bins of bands that carry spectral data.
            const unsigned sections = std::min(ch.sections.count[g], 64u);
            for (unsigned s = 0; s < sections; ++s) {
                unsigned cb = ch.sections.codebook[g][s];
                if (cb < 1 || cb > 11) continue;
                for (unsigned b = ch.sections.start[g][s]; b < ch.sections.end[g][s] && b < ch.numSwb; ++b) {
                    const unsigned lo = ch.offsets[b], hi = ch.offsets[b + 1];
                    double energy = 0;
                    unsigned nonZero = 0;
                    for (unsigned k = lo; k < hi; ++k)
                        if (x[k] != 0.0f) {
                            energy += double(x[k]) * x[k];
                            ++nonZero;
                        }
                    if (nonZero == 0) continue;
                    const float level = static_cast<float>(std::sqrt(energy / nonZero)) * grp.noiseLevel[b];
                    for (unsigned k = std::max(lo, start); k < hi; ++k) {
                        if (x[k] != 0.0f) continue;
                        if (isShort)
                            x[k] = 0.8f * source[k % sourceLength] * level;
                        else
                            x[k] =
                                (0.3f + 0.3f * float(k - start) / float(e - start)) * source[k % sourceLength] * level;
                    }
                }
            }
            if (e <= start) continue;
            // Floors from a magnitude tracker run upward and downward.
            float floor[1024];
            auto decayAt = [&](unsigned k) { return k >= splitOffset ? decayAbove : decayBelow; };
            float tracker = 0.0f;
            bool lastZero = true;
            for (unsigned k = start; k < e; ++k) {
                float m = std::fabs(x[k]);
                if (m != 0.0f) {
                    tracker = lastZero ? 0.3f * m : 0.3f * m + 0.7f * tracker;
                    lastZero = false;
                    floor[k] = 0.0f;
                } else {
                    floor[k] = 0.08f * tracker;
                    tracker *= decayAt(k);
                    lastZero = true;
                }
            }
            tracker = 0.0f;
            lastZero = true;
            for (unsigned k = e; k-- > start;) {
                float m = std::fabs(x[k]);
                if (m != 0.0f) {
                    tracker = lastZero ? 0.3f * m : 0.3f * m + 0.7f * tracker;
                    lastZero = false;
                } else {
                    floor[k] = std::max(floor[k], 0.08f * tracker);
                    tracker *= decayAt(k) * 0.95f;
                    lastZero = true;
                }
            }
            bool zero[1025];
            for (unsigned k = start; k < e; ++k)
                zero[k] = x[k] == 0.0f;
            for (unsigned k = start; k < e; ++k) {
                if (!zero[k]) continue;
                bool neighbour = (k > start && !zero[k - 1]) || (k + 1 < e && !zero[k + 1]) ||
                                 (k == start && k > 0 && x[k - 1] != 0.0f);
                if (!neighbour) continue;
                float v = floor[k] * source[(k + shift) % sourceLength];
                x[k] = halve ? 0.5f * v : v;
            }
        }
    }
}

// Extension band layout of one window: for every bin of every band, the source bin the
// patching copies (or -1), in band order.
struct PatchPlan {
    int source[2048];
    unsigned end = 0;  // first bin after the last band
};

void PlanPatch(const VlbExtensionGroup& grp, unsigned e, unsigned s0, unsigned step, unsigned length, PatchPlan& plan) {
    unsigned k = e;
    const bool canPatch = e > s0 + step;
    auto restart = [&](unsigned at) { return s0 + ((at - s0) % step); };
    unsigned p = canPatch ? restart(e) : 0;
    for (unsigned b = 0; b < grp.bandCount; ++b) {
        const unsigned w = grp.bandWidth[b];
        if (canPatch && p + w > e) p = restart(k);
        for (unsigned i = 0; i < w && k < length; ++i, ++k) {
            if (!canPatch) {
                plan.source[k] = -1;
                continue;
            }
            plan.source[k] = static_cast<int>(p);
            if (++p >= e) p = restart(k + 1);
        }
    }
    plan.end = k;
}

struct Synthesis {
    unsigned e, s0, step, length;
    bool isShort;
    uint32_t tableSet;
};

void SynthesizeBands(VlbExtensionState& ext, float* x, const Synthesis& s, const VlbExtensionGroup& grp,
                     const PatchPlan& plan, const float* energies, bool limitBlend) {
    const unsigned draw = s.isShort ? 256 : 2048;
    const float* table = NoiseTable();
    float noise[2048];
    for (unsigned i = 0; i < draw; ++i) {
        noise[i] = table[ext.noisePosition];
        ext.noisePosition = (ext.noisePosition + 1) % kNoiseTableSize;
    }
    // Order-2 predictor of the core's upper spectrum shapes the noise.
    double r0 = 0, r1 = 0, r2 = 0;
    for (unsigned k = s.s0; k < s.e; ++k) {
        r0 += double(x[k]) * x[k];
        if (k >= s.s0 + 1) r1 += double(x[k]) * x[k - 1];
        if (k >= s.s0 + 2) r2 += double(x[k]) * x[k - 2];
    }
    double a1 = 0, a2 = 0;
    if (r0 > 0) {
        double k1 = -r1 / r0;
        double err = r0 * (1 - k1 * k1);
        double k2 = err > 0 ? -(r2 + k1 * r1) / err : 0.0;
        if (!(std::fabs(k2) < 1.0)) k2 = 0.0;
        a1 = k1 + k2 * k1;
        a2 = k2;
    }
    const double c1 = a1 * grp.chirp, c2 = a2 * grp.chirp * grp.chirp;
    double y1 = 0, y2 = 0, energy = 0;
    for (unsigned i = 0; i < draw; ++i) {
        double y = noise[i] - c1 * y1 - c2 * y2;
        y2 = y1;
        y1 = y;
        noise[i] = static_cast<float>(y);
        energy += y * y;
    }
    if (energy > 0 && std::isfinite(energy)) {
        const float scale = static_cast<float>(1.0 / std::sqrt(energy / draw));
        for (unsigned i = 0; i < draw; ++i)
            noise[i] *= scale;
    } else {
        std::fill(noise, noise + draw, 0.0f);
    }

    const int k0 = static_cast<int>((grp.noiseBlendStart / (s.isShort ? 15.0 : 255.0) - 0.15) * s.length);
    // Patch first (sources lie below e, targets at or above it), then shape each band.
    for (unsigned k = s.e; k < plan.end; ++k) {
        int p = plan.source[k];
        if (p < 0) {
            x[k] = 0.0f;
            continue;
        }
        const bool negate = ext.toggle && ((k - static_cast<unsigned>(p)) & 1);
        x[k] = negate ? -x[p] : x[p];
    }
    int value = grp.firstValue - 32;
    unsigned k = s.e;
    for (unsigned b = 0; b < grp.bandCount && k < plan.end; ++b) {
        if (b > 0) value += grp.delta[b];
        value = std::clamp(value, -32, 223);  // keeps the gain index within its table
        const float gain = vlbext::BandGain(s.tableSet, static_cast<unsigned>(32 + std::max(value, -32)));
        const float e = energies[b] > 0.0f ? energies[b] : 1.0f;
        const float coreScale = std::sqrt(gain / e), noiseScale = std::sqrt(gain);
        for (unsigned i = 0; i < grp.bandWidth[b] && k < plan.end; ++i, ++k) {
            const int d = static_cast<int>(k) - k0;
            float t = d <= static_cast<int>(s.length) ? float(d) / float(s.length) : 1.0f;
            if (limitBlend) t = std::min(t, 0.08f);
            if (t < 0.0f) t = 0.0f;
            x[k] = ((1.0f - t) * coreScale * x[k] + t * noiseScale * noise[k]) /
                   std::sqrt((1.0f - t) * (1.0f - t) + t * t);
        }
    }
    for (unsigned j = plan.end; j < s.length; ++j)
        x[j] = 0.0f;
}

// Runs the extension over the spectra of an element's channels and delivers the block.
void ExtensionOutput(CChannelElement& element, CChannelPair* pair, AudioIOControl* out, VlbExtensionState& ext,
                     const AacStreamInfo& info, uint32_t* previousSequences) {
    const unsigned channels = element.GetChannelCount();
    if (element.GetInfo(0).profile == 0) throw EIllegalProfile();
    for (unsigned c = 0; c < channels; ++c)
        if (element.GetBlock(c) == nullptr) return;
    const bool doubleRate = ext.doubleRate == 1;
    float* spectra[2] = {nullptr, nullptr};
    for (unsigned c = 0; c < channels; ++c) {
        CBlock* block = element.GetBlock(c);
        const CChannelInfo& ci = element.GetInfo(c);
        float* x = element.GetExtension(c).spectrum.data();
        std::fill(x, x + 2048, 0.0f);
        if (ci.IsShort()) {
            for (unsigned w = 0; w < 8; ++w)
                std::memcpy(x + w * 256, block->GetSpectrum(w), 128 * sizeof(float));
        } else {
            std::memcpy(x, block->GetSpectrum(), 1024 * sizeof(float));
        }
        if (ext.errorCode == 0)
            FillHoles(x, ci.IsShort() ? 256 : 2048, ext.channel[c], previousSequences[c], ext.holeNoise);
        spectra[c] = x;
    }
    if (pair != nullptr) pair->ApplyStereo(spectra[0], spectra[1], pair->GetInfo(0).IsShort() ? 256 : 2048);
    float* pointers[2] = {nullptr, nullptr};
    for (unsigned c = 0; c < channels; ++c) {
        CBlock* block = element.GetBlock(c);
        const CChannelInfo& ci = element.GetInfo(c);
        const VlbExtensionChannel& ch = ext.channel[c];
        const bool isShort = ci.IsShort();
        const unsigned stride = isShort ? 256 : 2048;
        float* x = spectra[c];
        block->ApplyTns(x, stride);
        const unsigned length = (isShort ? 128u : 1024u) << (doubleRate ? 1 : 0);
        const unsigned e = std::min<unsigned>(ch.upperBin, isShort ? 128 : 1024);
        const bool sameLayout = (ch.windowSequence == kEightShort) == isShort;
        if (ext.errorCode == 0 && sameLayout) {
            Synthesis s{e, isShort ? 12u : 96u, isShort ? 2u : 16u, length, isShort, ext.tableSet};
            const bool limitBlend = ci.windowSequence.Value() == kLongStop && previousSequences[c] != kEightShort;
            unsigned window = 0;
            PatchPlan plan;
            for (unsigned g = 0; g < std::min<uint32_t>(ch.numGroups, 8); ++g) {
                const VlbExtensionGroup& grp = ch.group[g];
                PlanPatch(grp, e, s.s0, s.step, length, plan);
                // Source energies: mean square of the bins patched into each band, averaged
                // over the group's windows.
                float energies[kVlbMaxExtensionBands] = {};
                unsigned windows = 0;
                for (unsigned w = 0; w < ch.groupLength[g] && window + w < 8; ++w, ++windows) {
                    const float* xw = x + (window + w) * stride;
                    unsigned k = e;
                    for (unsigned b = 0; b < grp.bandCount; ++b) {
                        double sum = 0;
                        unsigned n = 0;
                        for (unsigned i = 0; i < grp.bandWidth[b] && k < plan.end; ++i, ++k, ++n) {
                            int p = plan.source[k];
                            if (p >= 0) sum += double(xw[p]) * xw[p];
                        }
                        if (n) energies[b] += static_cast<float>(sum / n);
                    }
                }
                for (unsigned b = 0; b < grp.bandCount && windows; ++b)
                    energies[b] /= static_cast<float>(windows);
                for (unsigned w = 0; w < ch.groupLength[g] && window < 8; ++w, ++window) {
                    SynthesizeBands(ext, x + window * stride, s, grp, plan, energies, limitBlend);
                    ext.toggle = !ext.toggle;
                }
            }
        } else {
            for (unsigned w = 0; w < (isShort ? 8u : 1u); ++w)
                for (unsigned k = e; k < stride; ++k)
                    x[w * stride + k] = 0.0f;
        }
        ExtensionChannel& bank = element.GetExtension(c);
        if (doubleRate) {
            for (unsigned i = 0; i < 2048; ++i)
                x[i] *= 2.0f;
            bank.doubleRate.Synthesize(x, ci.windowSequence.Value(), ci.windowShape.Value());
        } else {
            if (isShort)
                for (unsigned w = 1; w < 8; ++w)
                    std::memmove(x + w * 128, x + w * 256, 128 * sizeof(float));
            bank.normalRate.Synthesize(x, ci.windowSequence.Value(), ci.windowShape.Value());
        }
        pointers[c] = x;
    }
    COutputStage& stage = element.GetOutputStage();
    stage.SetRate(info.OutputRate());
    const unsigned samples = doubleRate ? 2048 : 1024;
    for (unsigned p = 0; p < samples / 128; ++p)
        stage.Process(pointers, 128, p);
    if (channels == 1) pointers[1] = pointers[0];  // as in the core path: never a null entry
    out->Write(pointers, samples);
    for (unsigned c = 0; c < channels; ++c)
        previousSequences[c] = element.GetInfo(c).windowSequence.Value();
    element.DestroyBlocks();
}

}  // namespace

void CSingleChannel::OutputWithExtension(AudioIOControl* out, VlbExtensionState& ext, const AacStreamInfo& info) {
    ExtensionOutput(*this, nullptr, out, ext, info, &ext.previousSingle);
}

void CChannelPair::OutputWithExtension(AudioIOControl* out, VlbExtensionState& ext, const AacStreamInfo& info) {
    ExtensionOutput(*this, this, out, ext, info, ext.previousPair);
}
