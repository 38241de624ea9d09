// zymdec's VLB codec: MPEG-2 AAC ADTS through the VLB library's front object, driven as the
// library's own player drives it (Init until a frame header is found, then DecodeFrame until
// the end of input).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <vector>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "Codec.h"
#include "codecs/vlb/VlbDecoderFront.h"

namespace {

// The input file, read as fread would.
class FileInput final : public DataIOControl {
public:
    explicit FileInput(zymdec::Input& input) : input_(input) {}
    unsigned Read(void* buffer, unsigned size, unsigned count) override {
        if (size == 0 || count == 0 || buffer == nullptr) return 0;
        size_t available = 0;
        const uint8_t* next = input_.Peek(static_cast<size_t>(size) * count, available);
        const size_t items = available / size;
        const size_t n = items * size;
        if (n > 0) std::memcpy(buffer, next, n);
        input_.Consume(n);
        return static_cast<unsigned>(items);
    }
    int Reserved() override { return 0; }
    int IsEndOfFile() override { return input_.AtEnd() ? 1 : 0; }
    int Open() override { return 0; }
    int Close() override { return 0; }

private:
    zymdec::Input& input_;
};

// Interleaves into the first format's channel count: a WAV cannot change its layout. The
// library always passes two channels (a single channel twice), so a later mono stretch
// lands on both channels of a stereo file and a mono file keeps the first channel.
class PcmOutput final : public AudioIOControl {
public:
    explicit PcmOutput(zymdec::Output& out) : out_(out) {}
    int Reserved1() override { return 0; }
    int Reserved2() override { return 0; }
    int Reserved3() override { return 0; }
    int Write(float** channels, unsigned samplesPerChannel) override {
        const int target = out_.channels;
        if (channels == nullptr || target <= 0 || failed_) return 0;
        samples_.resize(static_cast<size_t>(samplesPerChannel) * target);
        int16_t* s = samples_.data();
        if (target == 2 && channels[0] != nullptr && channels[1] != nullptr) {
            const float* left = channels[0];
            const float* right = channels[1];
            size_t i = 0;
#if defined(__SSE2__)
            // Four frames a step: the same clamp and truncation, interleaved by unpacking.
            const __m128 low = _mm_set1_ps(-32768.0f), high = _mm_set1_ps(32767.0f);
            auto clamp = [&](__m128 v) {
                v = _mm_and_ps(v, _mm_cmpord_ps(v, v));
                return _mm_cvttps_epi32(_mm_min_ps(_mm_max_ps(v, low), high));
            };
            for (; i + 4 <= samplesPerChannel; i += 4) {
                const __m128i l = clamp(_mm_loadu_ps(left + i)), r = clamp(_mm_loadu_ps(right + i));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(s + 2 * i),
                                 _mm_packs_epi32(_mm_unpacklo_epi32(l, r), _mm_unpackhi_epi32(l, r)));
            }
#endif
            for (; i < samplesPerChannel; ++i) {
                s[2 * i] = ToInt16(left[i]);
                s[2 * i + 1] = ToInt16(right[i]);
            }
        } else {
            for (int k = 0; k < target; ++k) {
                const float* c = channels[k];
                for (unsigned i = 0; i < samplesPerChannel; ++i)
                    s[static_cast<size_t>(i) * target + k] = c == nullptr ? 0 : ToInt16(c[i]);
            }
        }
        if (!out_.Write(samples_.data(), samples_.size())) failed_ = true;
        return 0;
    }
    // OUT could not be written: decoding stops.
    bool Failed() const { return failed_; }

private:
    // The samples carry the +0.5 offset already, so truncation rounds; NaN becomes 0.
    static int16_t ToInt16(float v) {
        v = v == v ? v : 0.0f;
        v = v < -32768.0f ? -32768.0f : v;
        v = 32767.0f < v ? 32767.0f : v;
        return static_cast<int16_t>(static_cast<int32_t>(v));  // through int32: the loop vectorises
    }

    zymdec::Output& out_;
    std::vector<int16_t> samples_;
    bool failed_ = false;
};

const char* StatusText(int32_t st) {
    switch (st) {
    case 0: return "ok";
    case -2: return "format changed";
    case 1: return "no complete frame yet";
    case 3: return "sync lost";
    case 4: return "unsupported or corrupt";
    case 5: return "end of input";
    case 9: return "profile not supported";
    case -1: return "CRC mismatch";
    default: return "unknown status";
    }
}

std::string Channels(uint32_t n) { return std::to_string(n) + (n == 1 ? " channel" : " channels"); }

std::string FormatLine(uint32_t rate, uint32_t channels) {
    return "AAC ADTS, " + std::to_string(rate) + " Hz, " + Channels(channels);
}

bool DecodeVlb(zymdec::Input& input, bool verbose, zymdec::Output& out, std::string& error) {
    // The front object pulls at most a staging block per call, so a call count well above
    // the input's size means a decoder that stopped moving: stop instead of hanging.
    FileInput file(input);
    PcmOutput sink(out);
    long failedFrames = 0;
    try {
        CVlbDecoderFront front(&file);
        VlbFrameInfo info{};
        int32_t st = 0;
        size_t calls = 0;
        for (;;) {
            st = front.Init(&info);
            if (verbose) std::fprintf(stderr, "init: %d (%s)\n", st, StatusText(st));
            if (st == 0 || st == -2 || st == 5) break;
            if (++calls > input.SizeHint() + 100000) {
                error = "the decoder made no progress while looking for the first frame";
                return false;
            }
        }
        if (st == 5) {
            error = "no AAC ADTS frame found";
            return false;
        }
        uint32_t rate = info.sampleRate;
        uint32_t channels = info.channels;
        auto takeFirstFormat = [&] {
            if (out.channels != 0 || channels == 0) return;
            out.sampleRate = static_cast<int>(rate);
            out.channels = static_cast<int>(std::min<uint32_t>(channels, 2));
            out.format = FormatLine(rate, channels);
        };
        takeFirstFormat();
        calls = 0;
        for (;;) {
            VlbFrameInfo frame{};
            st = front.DecodeFrame(&sink, &frame);
            if (verbose) std::fprintf(stderr, "decode: %d (%s) %u bytes\n", st, StatusText(st), frame.frameBytes);
            if (sink.Failed()) return false;
            if (st == 5) break;
            if ((st == 0 || st == -2) && frame.channels != 0) {
                if (out.channels != 0 && (frame.sampleRate != rate || frame.channels != channels)) {
                    std::fprintf(stderr,
                                 "zymdec: format changed from %u Hz, %s to %u Hz, %s; the output keeps the first "
                                 "format\n",
                                 rate, Channels(channels).c_str(), frame.sampleRate, Channels(frame.channels).c_str());
                }
                rate = frame.sampleRate;
                channels = frame.channels;
                takeFirstFormat();
            } else if (st == 3 || st == 4 || st == 9 || st == -1) {
                ++failedFrames;
            }
            if (++calls > input.SizeHint() + 100000) {
                error = "the decoder made no progress";
                return false;
            }
        }
    } catch (const CAacException& e) {
        error = std::string("decoder failure: ") + e.Text();
        return false;
    } catch (const std::exception& e) {
        error = std::string("decoder failure: ") + e.what();
        return false;
    } catch (...) {
        error = "decoder failure";
        return false;
    }
    if (out.channels == 0) {
        error = "the stream has no audio channel";
        return false;
    }
    if (failedFrames > 0) {
        error = std::to_string(failedFrames) + " frame" + (failedFrames == 1 ? "" : "s") + " could not be decoded";
        return false;
    }
    return true;
}

const zymdec::Registration kVlb("vlb", DecodeVlb);

}  // namespace
