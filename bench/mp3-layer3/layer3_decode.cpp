// Usage: mp3_layer3_decode FILE [REPEAT]
// Decodes FILE REPEAT times (default 1) the way the engine does and prints
// "cpu_seconds=<s> frames=<n> samples=<n>" on standard output.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "codecs/mp3/MpegDecoder.h"

namespace {

double CpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE [REPEAT]\n", argv[0]);
        return 2;
    }
    std::FILE* f = std::fopen(argv[1], "rb");
    if (!f) {
        std::perror(argv[1]);
        return 1;
    }
    std::vector<uint8_t> data;
    uint8_t buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        data.insert(data.end(), buffer, buffer + n);
    std::fclose(f);
    const int repeat = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;

    long frames = 0;
    long samples = 0;
    uint64_t checksum = 0;
    const double start = CpuSeconds();
    for (int r = 0; r < repeat; ++r) {
        MpegDecoderHandle* h = nullptr;
        if (MpegDecoderCreate(&h, 0, 0, 0) != 0) return 1;
        std::vector<uint8_t> out(4608);
        size_t pos = 0;
        for (;;) {
            int produced = 0;
            const uint32_t st = MpegDecoderDecode(h, out.data(), static_cast<int>(out.size()), &produced);
            if (st == 0 || st == 0x41010001 || st == 0x41010002) {
                ++frames;
                samples += produced / 2;
                checksum += out[static_cast<size_t>(produced / 2)];
                continue;
            }
            if (st == 0x81010004 || (st >> 30) == 3) break;
            int space = 0;
            (void)MpegDecoderGetInputSpace(h, &space);
            const size_t take = std::min({size_t{4096}, static_cast<size_t>(space), data.size() - pos});
            if (take == 0) {
                (void)MpegDecoderSetEndOfInput(h);
                continue;
            }
            int consumed = 0;
            (void)MpegDecoderFeed(h, data.data() + pos, static_cast<int>(take), &consumed);
            pos += static_cast<size_t>(consumed);
        }
        MpegDecoderDestroy(h);
    }
    const double cpu = CpuSeconds() - start;
    std::printf("cpu_seconds=%.4f frames=%ld samples=%ld checksum=%llu\n", cpu, frames, samples,
                static_cast<unsigned long long>(checksum));
    return 0;
}
