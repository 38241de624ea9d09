// zymdec --codec mp3|aac|vlb [--raw] [-v] IN OUT
// Decodes a whole file with our decoder libraries. OUT is a 16-bit WAV (all channels, in
// the decoder's order) or, with --raw, raw 16-bit little-endian interleaved PCM. The
// stream's format goes to stdout; with -v every decoder status goes to stderr.
// Exit 0 ok, 1 decode error, 2 usage.
//
// Input, decoding and output run in pieces, so memory stays flat however long the file
// is. The WAV header goes out first with the streaming sizes (all ones) and is patched
// with the real sizes at the end when OUT is a regular file.
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Codec.h"

namespace zymdec {

std::vector<Codec>& Codecs() {
    static std::vector<Codec> codecs;
    return codecs;
}

Input::Input(std::FILE* file) : file_(file), buffer_(256 * 1024) {
    struct stat st {};
    if (fstat(fileno(file), &st) == 0 && S_ISREG(st.st_mode)) size_ = static_cast<uint64_t>(st.st_size);
}

const uint8_t* Input::Peek(size_t want, size_t& available) {
    if (end_ - start_ < want && !ended_) {
        if (want > buffer_.size()) buffer_.resize(want);
        std::memmove(buffer_.data(), buffer_.data() + start_, end_ - start_);
        end_ -= start_;
        start_ = 0;
        while (end_ < buffer_.size() && !ended_) {
            const size_t n = std::fread(buffer_.data() + end_, 1, buffer_.size() - end_, file_);
            if (n == 0) ended_ = true;
            end_ += n;
            read_ += n;
        }
    }
    available = std::min(want, end_ - start_);
    return buffer_.data() + start_;
}

void Input::Consume(size_t n) { start_ += std::min(n, end_ - start_); }

bool Input::AtEnd() {
    size_t available = 0;
    Peek(1, available);
    return available == 0;
}

}  // namespace zymdec

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

constexpr uint32_t kStreamingSize = 0xFFFFFFFF;
constexpr size_t kWavHeaderBytes = 44;

void Put16(uint8_t* b, uint32_t v) {
    b[0] = static_cast<uint8_t>(v);
    b[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* b, uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b + 2, v >> 16);
}

class FileOutput final : public zymdec::Output {
public:
    FileOutput(std::string path, bool raw) : path_(std::move(path)), raw_(raw) {}

    bool Write(const int16_t* samples, size_t count) override {
        if (!Open()) return false;
        while (count > 0) {
            const size_t n = std::min(count, sizeof bytes_ / 2);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
            std::memcpy(bytes_, samples, 2 * n);  // already little-endian
#else
            for (size_t i = 0; i < n; ++i)
                Put16(bytes_ + 2 * i, static_cast<uint16_t>(samples[i]));
#endif
            if (std::fwrite(bytes_, 2, n, file_.get()) != n) {
                failed_ = true;
                return false;
            }
            dataBytes_ += 2 * n;
            samples += n;
            count -= n;
        }
        return true;
    }

    // Writes what is still due (a header-only WAV when no sample came) and the real sizes;
    // false when OUT could not be written.
    bool Finish() {
        if (channels <= 0 && file_ == nullptr) return !failed_;
        if (!Open()) return false;
        if (!raw_ && seekable_ && dataBytes_ <= kStreamingSize - (kWavHeaderBytes - 8)) {
            uint8_t size[4];
            Put32(size, static_cast<uint32_t>(dataBytes_ + kWavHeaderBytes - 8));
            bool ok = std::fseek(file_.get(), 4, SEEK_SET) == 0 && std::fwrite(size, 4, 1, file_.get()) == 1;
            Put32(size, static_cast<uint32_t>(dataBytes_));
            ok = ok && std::fseek(file_.get(), 40, SEEK_SET) == 0 && std::fwrite(size, 4, 1, file_.get()) == 1;
            if (!ok) failed_ = true;
        }
        if (std::fclose(file_.release()) != 0) failed_ = true;
        return !failed_;
    }

private:
    bool Open() {
        if (failed_) return false;
        if (file_ != nullptr) return true;
        file_.reset(std::fopen(path_.c_str(), "wb"));
        if (file_ == nullptr) {
            failed_ = true;
            return false;
        }
        struct stat st {};
        seekable_ = fstat(fileno(file_.get()), &st) == 0 && S_ISREG(st.st_mode);
        if (raw_) return true;
        uint8_t h[kWavHeaderBytes];
        std::memcpy(h, "RIFF", 4);
        Put32(h + 4, kStreamingSize);
        std::memcpy(h + 8, "WAVEfmt ", 8);
        Put32(h + 16, 16);
        Put16(h + 20, 1);
        Put16(h + 22, static_cast<uint32_t>(channels));
        Put32(h + 24, static_cast<uint32_t>(sampleRate));
        Put32(h + 28, static_cast<uint32_t>(sampleRate * channels * 2));
        Put16(h + 32, static_cast<uint32_t>(channels * 2));
        Put16(h + 34, 16);
        std::memcpy(h + 36, "data", 4);
        Put32(h + 40, kStreamingSize);
        if (std::fwrite(h, sizeof h, 1, file_.get()) != 1) failed_ = true;
        return !failed_;
    }

    std::string path_;
    bool raw_;
    File file_;
    bool seekable_ = false;
    bool failed_ = false;
    uint64_t dataBytes_ = 0;
    uint8_t bytes_[64 * 1024];
};

int Usage() {
    std::fprintf(stderr, "usage: zymdec --codec mp3|aac|vlb [--raw] [-v] IN OUT\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string codecName;
    bool raw = false;
    bool verbose = false;
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--codec" && i + 1 < argc) {
            codecName = argv[++i];
        } else if (a == "--raw") {
            raw = true;
        } else if (a == "-v") {
            verbose = true;
        } else if (a.size() > 1 && a[0] == '-') {
            return Usage();
        } else {
            positional.push_back(a);
        }
    }
    if (codecName.empty() || positional.size() != 2) return Usage();

    const zymdec::Codec* codec = nullptr;
    for (const zymdec::Codec& c : zymdec::Codecs()) {
        if (codecName == c.name) codec = &c;
    }
    if (codec == nullptr) {
        std::fprintf(stderr, "zymdec: codec '%s' is not built into this program\n", codecName.c_str());
        return 2;
    }
    File in(std::fopen(positional[0].c_str(), "rb"));
    if (in == nullptr) {
        std::fprintf(stderr, "zymdec: cannot read %s\n", positional[0].c_str());
        return 1;
    }
    zymdec::Input input(in.get());
    auto out = std::make_unique<FileOutput>(positional[1], raw);
    std::string error;
    const bool ok = codec->decode(input, verbose, *out, error);
    if (!out->format.empty()) std::printf("%s\n", out->format.c_str());
    if (!ok && !error.empty()) {
        std::fprintf(stderr, "zymdec: %s\n", error.c_str());
    }
    if (!out->Finish()) {
        std::fprintf(stderr, "zymdec: cannot write %s\n", positional[1].c_str());
        return 1;
    }
    return ok ? 0 : 1;
}
