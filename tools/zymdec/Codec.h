#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The codec table of zymdec. A codec file defines one decode function and registers it
// with a file-scope `zymdec::Registration`; main.cpp finds it by name.
namespace zymdec {

struct Decoded {
    int sampleRate = 0;
    int channels = 0;
    std::vector<int16_t> samples;  // interleaved, in the decoder's channel order
    std::string format;            // one line describing the stream, for stdout
};

// Decodes the whole input into `out`; false on a decode error with the reason in `error`.
// With `verbose`, every decoder status goes to stderr.
using DecodeFn = bool (*)(const std::vector<uint8_t>& input, bool verbose, Decoded& out, std::string& error);

struct Codec {
    const char* name;
    DecodeFn decode;
};

std::vector<Codec>& Codecs();

struct Registration {
    Registration(const char* name, DecodeFn decode) { Codecs().push_back(Codec{name, decode}); }
};

}  // namespace zymdec
