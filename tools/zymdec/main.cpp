// zymdec --codec mp3|aac|vlb [--raw] [-v] IN OUT
// Decodes a whole file with our decoder libraries. OUT is a 16-bit WAV (all channels, in
// the decoder's order) or, with --raw, raw 16-bit little-endian interleaved PCM. The
// stream's format goes to stdout; with -v every decoder status goes to stderr.
// Exit 0 ok, 1 decode error, 2 usage.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Codec.h"

namespace zymdec {

std::vector<Codec>& Codecs() {
    static std::vector<Codec> codecs;
    return codecs;
}

}  // namespace zymdec

namespace {

using zymdec::Decoded;

struct Options {
    std::string codec;
    bool raw = false;
    bool verbose = false;
    std::string in;
    std::string out;
};

void Put16(std::vector<uint8_t>& b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& b, uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

bool WriteOutput(const Options& o, const Decoded& d) {
    std::vector<uint8_t> bytes;
    const uint32_t dataBytes = static_cast<uint32_t>(d.samples.size() * 2);
    if (!o.raw) {
        bytes.insert(bytes.end(), {'R', 'I', 'F', 'F'});
        Put32(bytes, 36 + dataBytes);
        bytes.insert(bytes.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
        Put32(bytes, 16);
        Put16(bytes, 1);
        Put16(bytes, static_cast<uint32_t>(d.channels));
        Put32(bytes, static_cast<uint32_t>(d.sampleRate));
        Put32(bytes, static_cast<uint32_t>(d.sampleRate * d.channels * 2));
        Put16(bytes, static_cast<uint32_t>(d.channels * 2));
        Put16(bytes, 16);
        bytes.insert(bytes.end(), {'d', 'a', 't', 'a'});
        Put32(bytes, dataBytes);
    }
    for (int16_t s : d.samples)
        Put16(bytes, static_cast<uint16_t>(s));
    std::ofstream out(o.out, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

int Usage() {
    std::fprintf(stderr, "usage: zymdec --codec mp3|aac|vlb [--raw] [-v] IN OUT\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--codec" && i + 1 < argc) {
            o.codec = argv[++i];
        } else if (a == "--raw") {
            o.raw = true;
        } else if (a == "-v") {
            o.verbose = true;
        } else if (a.size() > 1 && a[0] == '-') {
            return Usage();
        } else {
            positional.push_back(a);
        }
    }
    if (o.codec.empty() || positional.size() != 2) return Usage();
    o.in = positional[0];
    o.out = positional[1];

    const zymdec::Codec* codec = nullptr;
    for (const zymdec::Codec& c : zymdec::Codecs()) {
        if (o.codec == c.name) codec = &c;
    }
    if (codec == nullptr) {
        std::fprintf(stderr, "zymdec: codec '%s' is not built into this program\n", o.codec.c_str());
        return 2;
    }
    std::ifstream in(o.in, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "zymdec: cannot read %s\n", o.in.c_str());
        return 1;
    }
    const std::vector<uint8_t> input((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Decoded d;
    std::string error;
    const bool ok = codec->decode(input, o.verbose, d, error);
    if (!d.format.empty()) std::printf("%s\n", d.format.c_str());
    if (!ok) {
        std::fprintf(stderr, "zymdec: %s\n", error.c_str());
    }
    if (d.channels > 0 && !WriteOutput(o, d)) {
        std::fprintf(stderr, "zymdec: cannot write %s\n", o.out.c_str());
        return 1;
    }
    return ok ? 0 : 1;
}
