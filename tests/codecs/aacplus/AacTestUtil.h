// Helpers shared by the aacPlus tests: files, reference tools run as processes, and a
// decode loop over the public interface.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "codecs/aacplus/aacPlusDecoder.h"
#include "support/Env.h"

namespace aactest {

inline std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

inline std::string run(const std::string& command) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    pclose(p);
    return out;
}

inline bool haveTool(const std::string& tool) {
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// A committed fixture under tests/data/aacplus.
inline std::string fixturePath(const std::string& name) {
    if (std::getenv("ZYM_SOURCE_DIR")) return zymtest::DataPath("aacplus/" + name);
#ifdef ZYM_AACPLUS_DATA_DIR
    return std::string(ZYM_AACPLUS_DATA_DIR) + "/" + name;
#else
    return zymtest::DataPath("aacplus/" + name);
#endif
}

inline std::string vectors() { return zymtest::SharedDir().empty() ? "" : zymtest::SharedDir() + "/vectors/aac/"; }

struct Packet {
    long pos;
    long size;
};

// The reference demuxer's view of the frames.
inline std::vector<Packet> probePackets(const std::string& path) {
    std::vector<Packet> packets;
    std::istringstream in(run("ffprobe -v error -show_entries packet=pos,size -of csv=p=0 '" + path + "'"));
    std::string line;
    while (std::getline(in, line)) {
        long size = 0, pos = 0;
        if (std::sscanf(line.c_str(), "%ld,%ld", &size, &pos) == 2) packets.push_back({pos, size});
    }
    return packets;
}

struct ProbeStream {
    std::string profile;
    int sampleRate = 0;
    int channels = 0;
};

inline ProbeStream probeStream(const std::string& path) {
    ProbeStream s;
    const std::string line =
        run("ffprobe -v error -select_streams a:0 -show_entries stream=profile,sample_rate,channels -of csv=p=0 '" +
            path + "' | head -1");
    char profile[64] = {};
    std::sscanf(line.c_str(), "%63[^,],%d,%d", profile, &s.sampleRate, &s.channels);
    s.profile = profile;
    return s;
}

struct DecodeRun {
    int frames = 0;
    int errors = 0;
    int lastStatus = 0;
    std::vector<aacPlusStreamInfo> infos;  // after every good frame
    std::vector<uint32_t> written;
};

// Feeds `data` in pieces of `chunk` bytes and decodes until the end of stream (or a
// guard on the number of calls), as the engine does.
inline DecodeRun decodeAll(aacPlusHandle h, const std::vector<uint8_t>& data, size_t chunk = 4608,
                           int format = kAacPlusFormatFloat) {
    DecodeRun r;
    std::vector<uint8_t> pcm(8 * 2048 * 4);
    size_t offset = 0;
    bool ended = false;
    for (int guard = 0; guard < 200000; ++guard) {
        if (!ended) {
            aacPlusInputDesc in{uint32_t(std::min(chunk, data.size() - offset)), 0, 0};
            (void)aacPlusStreamFeed(h, data.data() + offset, &in);
            offset += in.consumed;
            ended = in.length == 0;
        }
        aacPlusOutputDesc out{uint32_t(pcm.size()), 0, 0};
        const int status = aacPlusStreamDecode(h, pcm.data(), &out, nullptr, nullptr);
        r.lastStatus = status;
        if (status == kAacPlusOk) {
            ++r.frames;
            r.infos.push_back(*aacPlusDecoderGetStreamInfo(h));
            r.written.push_back(out.written);
        } else if (status == kAacPlusEndOfStream) {
            break;
        } else if (status != kAacPlusNeedMoreInput) {
            ++r.errors;
        }
        (void)format;
    }
    return r;
}

struct Pcm16Run {
    std::vector<int16_t> pcm;              // every decoded frame, interleaved
    std::vector<aacPlusStreamInfo> infos;  // after every good frame
    int errors = 0;
};

// Opens a handle with 16-bit output and the given configuration, feeds `data` in pieces of
// 3000 bytes and decodes until the end of stream or `maxFrames` frames.
inline Pcm16Run decodeToInt16(const std::vector<uint8_t>& data, const aacPlusConfig& c, int maxFrames = 1 << 30) {
    Pcm16Run run;
    aacPlusHandle h = nullptr;
    if (aacPlusDecoderOpenWithConfig(&h, kAacPlusFormatInt16, c.concealment, c.limiterOn, c.lowPowerSbr, c.implicitSbr,
                                     c.sbrDownsampleRate, c.adtsCrcAlways, c.pnsOff, c.reserved7, c.reserved8,
                                     c.maxChannels, c.lfeChannels, c.downmixMode, c.downmixVariant) != 0) {
        ++run.errors;
        return run;
    }
    std::vector<int16_t> pcm(8 * 2048);
    size_t offset = 0;
    bool ended = false;
    for (int guard = 0; guard < 400000 && int(run.infos.size()) < maxFrames; ++guard) {
        if (!ended) {
            aacPlusInputDesc in{uint32_t(std::min<size_t>(3000, data.size() - offset)), 0, 0};
            (void)aacPlusStreamFeed(h, data.data() + offset, &in);
            offset += in.consumed;
            ended = in.length == 0;
        }
        aacPlusOutputDesc out{uint32_t(pcm.size() * 2), 0, 0};
        const int status = aacPlusStreamDecode(h, pcm.data(), &out, nullptr, nullptr);
        if (status == kAacPlusOk) {
            run.pcm.insert(run.pcm.end(), pcm.begin(), pcm.begin() + out.written / 2);
            run.infos.push_back(*aacPlusDecoderGetStreamInfo(h));
        } else if (status == kAacPlusEndOfStream) {
            break;
        } else if (status != kAacPlusNeedMoreInput) {
            ++run.errors;
        }
    }
    aacPlusDecoderClose(&h);
    return run;
}

// A configuration with every field 0 but the channel limits.
inline aacPlusConfig configWithChannels(int maxChannels, int lfeChannels) {
    aacPlusConfig c{};
    c.maxChannels = maxChannels;
    c.lfeChannels = lfeChannels;
    return c;
}

}  // namespace aactest
