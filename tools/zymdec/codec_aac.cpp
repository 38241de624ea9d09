// zymdec's AAC codec: AAC, HE-AAC and HE-AAC v2 (ADTS, ADIF, LOAS) through the aacPlus
// handle, fed and drained as the library's own player does.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "Codec.h"
#include "codecs/aacplus/aacPlusDecoder.h"

namespace {

constexpr size_t kFeedBytes = 4608;
constexpr size_t kFirstPcmBytes = 8 * 2048 * 2;
// Far above any frame (8 channels of 2048 samples after SBR): a larger demand is a fault.
constexpr size_t kMaxPcmBytes = 4u << 20;
// Failed decodes in a row without a good frame between them: the decoder is stuck.
constexpr long kMaxFailuresInARow = 10000;

const char* TransportName(int32_t transport) {
    switch (transport) {
    case 1: return "raw";
    case 2: return "ADIF";
    case 3: return "ADTS";
    case 4: return "LATM";
    case 5: return "LOAS";
    default: return "unknown transport";
    }
}

const char* StatusText(int st) {
    switch (st) {
    case kAacPlusDecodeFailed: return "decode failed";
    case kAacPlusInvalidHandle: return "invalid handle";
    case kAacPlusOutOfMemory: return "out of memory";
    case kAacPlusInvalidConfig: return "invalid configuration";
    case kAacPlusOutputTooSmall: return "output buffer too small";
    case kAacPlusNeedMoreInput: return "needs more input";
    case kAacPlusEndOfStream: return "end of stream";
    case kAacPlusInvalidParameter: return "invalid parameter";
    default: return "unknown status";
    }
}

std::string Channels(int n) { return std::to_string(n) + (n == 1 ? " channel" : " channels"); }

std::string FormatLine(const aacPlusStreamInfo& s, const aacPlusProgramInfo& p) {
    const char* kind = p.sbrActive ? "HE-AAC" : "AAC";
    char line[96];
    std::snprintf(line, sizeof line, "%s %s, %d Hz, ", kind, TransportName(s.transport), p.sampleRate);
    return line + Channels(p.outputChannels);
}

// Writes one frame in the first format's channel count: a WAV cannot change its layout,
// so a later mono frame goes to every channel and channels beyond the first count are
// dropped (missing ones stay silent).
bool WriteFrame(zymdec::Output& out, const int16_t* s, size_t count, int channels, std::vector<int16_t>& mapped) {
    if (channels == out.channels) return out.Write(s, count);
    const size_t frames = count / static_cast<size_t>(channels);
    mapped.assign(frames * static_cast<size_t>(out.channels), 0);
    for (size_t i = 0; i < frames; ++i) {
        for (int k = 0; k < out.channels; ++k) {
            const int src = channels == 1 ? 0 : k;
            if (src < channels) mapped[i * out.channels + k] = s[i * channels + src];
        }
    }
    return out.Write(mapped.data(), mapped.size());
}

bool DecodeAac(zymdec::Input& input, bool verbose, zymdec::Output& out, std::string& error) {
    aacPlusHandle h = nullptr;
    const int opened = aacPlusDecoderOpen(&h, kAacPlusFormatInt16, 8);
    if (opened != kAacPlusOk || h == nullptr) {
        char text[64];
        std::snprintf(text, sizeof text, "cannot open the decoder (0x%04X)", opened);
        error = text;
        return false;
    }
    std::vector<uint8_t> pcm(kFirstPcmBytes);
    std::vector<int16_t> mapped;
    bool endSent = false;
    bool feed = true;
    bool ok = true;
    long frames = 0;
    long failed = 0;
    long failuresInARow = 0;
    int channelsNow = 0;
    int rateNow = 0;
    size_t lastConsumed = 0;
    for (;;) {
        if (feed && !endSent) {
            size_t available = 0;
            const uint8_t* next = input.Peek(kFeedBytes, available);
            aacPlusInputDesc in{};
            in.length = static_cast<uint32_t>(available);
            if (in.length == 0) endSent = true;
            const int fst = aacPlusStreamFeed(h, in.length ? next : nullptr, &in);
            if (verbose && fst != 0) std::fprintf(stderr, "feed: 0x%04X (%s)\n", fst, StatusText(fst));
            lastConsumed = std::min<size_t>(in.consumed, available);
            input.Consume(lastConsumed);
        }
        feed = true;
        aacPlusOutputDesc od{};
        od.capacity = static_cast<uint32_t>(pcm.size());
        const int st = aacPlusStreamDecode(h, pcm.data(), &od, nullptr, nullptr);
        if (verbose && st != 0) {
            std::fprintf(stderr, "decode: 0x%04X (%s)", st, StatusText(st));
            if (st == kAacPlusOutputTooSmall) std::fprintf(stderr, " needed %u", od.needed);
            std::fprintf(stderr, "\n");
        }
        if (st == kAacPlusOk) {
            failuresInARow = 0;
            const aacPlusStreamInfo* s = aacPlusDecoderGetStreamInfo(h);
            if (s == nullptr) {
                error = "the decoder gave no stream information";
                ok = false;
                break;
            }
            const aacPlusProgramInfo& p = s->programs[s->currentProgram & 15];
            if (frames++ == 0) {
                out.sampleRate = p.sampleRate;
                out.channels = p.outputChannels;
                out.format = FormatLine(*s, p);
                channelsNow = p.outputChannels;
                rateNow = p.sampleRate;
                if (out.channels <= 0 || out.sampleRate <= 0) {
                    error = "the decoder reported no output format";
                    ok = false;
                    break;
                }
            } else if (p.outputChannels != channelsNow || p.sampleRate != rateNow) {
                std::fprintf(stderr,
                             "zymdec: format changed from %d Hz, %s to %d Hz, %s; the output keeps the first format\n",
                             rateNow, Channels(channelsNow).c_str(), p.sampleRate, Channels(p.outputChannels).c_str());
                channelsNow = p.outputChannels;
            }
            rateNow = p.sampleRate;
            const size_t count = std::min<size_t>(od.written, pcm.size()) / 2;
            if (channelsNow > 0 &&
                !WriteFrame(out, reinterpret_cast<const int16_t*>(pcm.data()), count, channelsNow, mapped)) {
                ok = false;
                break;
            }
            continue;
        }
        if (st == kAacPlusNeedMoreInput) {
            // Asking for more while taking none (its store full) or after the end: stuck.
            if ((endSent || lastConsumed == 0) && ++failuresInARow > kMaxFailuresInARow) {
                error = "the decoder asks for input it does not take";
                ok = false;
                break;
            }
            continue;
        }
        if (st == kAacPlusOutputTooSmall) {
            if (od.needed == 0 || pcm.size() + od.needed > kMaxPcmBytes) {
                char text[96];
                std::snprintf(text, sizeof text, "the decoder asks for an unreasonable output buffer (+%u bytes)",
                              od.needed);
                error = text;
                ok = false;
                break;
            }
            pcm.resize(pcm.size() + od.needed);
            feed = false;  // the frame is kept: decode it again first
            continue;
        }
        if (st == kAacPlusEndOfStream) break;
        if (st == kAacPlusDecodeFailed) {
            ++failed;
            if (++failuresInARow > kMaxFailuresInARow) {
                error = "the decoder is stuck on a frame";
                ok = false;
                break;
            }
            continue;
        }
        char text[64];
        std::snprintf(text, sizeof text, "decoder error 0x%04X (%s)", st, StatusText(st));
        error = text;
        ok = false;
        break;
    }
    aacPlusDecoderClose(&h);
    if (ok && frames == 0) {
        error = "no AAC frame decoded";
        ok = false;
    }
    if (ok && failed > 0) {
        error = std::to_string(failed) + " frame" + (failed == 1 ? "" : "s") + " could not be decoded";
        ok = false;
    }
    return ok;
}

const zymdec::Registration kAac("aac", DecodeAac);

}  // namespace
