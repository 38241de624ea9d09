// libFuzzer target over the VLB front object: arbitrary bytes as the input stream, handed
// over in reads whose size the first byte picks, decoded to the end.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "codecs/vlb/VlbDecoderFront.h"

namespace {

class FuzzInput : public DataIOControl {
public:
    FuzzInput(const uint8_t* data, size_t size, unsigned chunk) : data_(data), size_(size), chunk_(chunk) {}
    unsigned Read(void* buffer, unsigned size, unsigned count) override {
        size_t n = std::min<size_t>({static_cast<size_t>(size) * count, chunk_, size_ - pos_});
        if (n) std::memcpy(buffer, data_ + pos_, n);
        pos_ += n;
        return static_cast<unsigned>(n);
    }
    int Reserved() override { return 0; }
    int IsEndOfFile() override { return pos_ >= size_; }
    int Open() override { return 0; }
    int Close() override { return 0; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    unsigned chunk_;
};

class Sink : public AudioIOControl {
public:
    int Reserved1() override { return 0; }
    int Reserved2() override { return 0; }
    int Reserved3() override { return 0; }
    int Write(float** channels, unsigned n) override {
        if (n != 1024 && n != 2048) __builtin_trap();
        for (unsigned c = 0; c < expected; ++c)
            for (unsigned i = 0; i < n; ++i) {
                float v = channels[c][i];
                if (!(v >= -32768.5f && v <= 32767.5f)) __builtin_trap();
                sum += v;
            }
        return 0;
    }
    unsigned expected = 1;
    double sum = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const unsigned chunk = 1 + data[0] * 8;
    FuzzInput input(data + 1, size - 1, chunk);
    CVlbDecoderFront front(&input);
    VlbFrameInfo info{};
    int32_t status = 3;
    for (int i = 0; i < 64 && status != 0 && status != 5; ++i)
        status = front.Init(&info);
    if (status != 0) return 0;
    Sink sink;
    // Channel count of the next Write: a channel element that changes kind is refused by the
    // lock until the format change has been reported, so the last report holds.
    sink.expected = info.channels ? info.channels : 1;
    for (int i = 0; i < 4096 && status != 5; ++i) {
        status = front.DecodeFrame(&sink, &info);
        if ((status == 0 || status == -2) && info.channels) sink.expected = info.channels;
    }
    return 0;
}
