#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// The codec table of zymdec. A codec file defines one decode function and registers it
// with a file-scope `zymdec::Registration`; main.cpp finds it by name.
namespace zymdec {

// The input file, read in pieces so a long file never sits in memory whole. The codec
// looks at the next bytes through `Peek` and moves on with `Consume`.
class Input {
public:
    explicit Input(std::FILE* file);
    // The next bytes: `want` of them, fewer only at the end of the file.
    const uint8_t* Peek(size_t want, size_t& available);
    void Consume(size_t n);
    bool AtEnd();
    // The file's size when it is a regular file, else the bytes read so far.
    uint64_t SizeHint() const { return size_ > read_ ? size_ : read_; }

private:
    std::FILE* file_;
    std::vector<uint8_t> buffer_;
    size_t start_ = 0;
    size_t end_ = 0;
    uint64_t size_ = 0;
    uint64_t read_ = 0;
    bool ended_ = false;
};

// Where the decoded samples go. The codec sets the format fields before its first `Write`
// and never changes `channels` afterwards: a WAV cannot change its layout.
class Output {
public:
    virtual ~Output() = default;
    // Interleaved samples in the decoder's channel order; false once OUT cannot be
    // written, and the codec then stops decoding.
    virtual bool Write(const int16_t* samples, size_t count) = 0;

    int sampleRate = 0;
    int channels = 0;
    std::string format;  // one line describing the stream, for stdout
};

// Decodes the whole input into `out`; false on a decode error with the reason in `error`
// (empty when it stopped because OUT could not be written). With `verbose`, every
// decoder status goes to stderr.
using DecodeFn = bool (*)(Input& input, bool verbose, Output& out, std::string& error);

struct Codec {
    const char* name;
    DecodeFn decode;
};

std::vector<Codec>& Codecs();

struct Registration {
    Registration(const char* name, DecodeFn decode) { Codecs().push_back(Codec{name, decode}); }
};

}  // namespace zymdec
