#include "VlbTestSupport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "support/Env.h"

namespace vlbtest {

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::string FixturePath(const std::string& name) {
    if (std::getenv("ZYM_SOURCE_DIR") != nullptr) return zymtest::DataPath("vlb/" + name);
    return std::string(VLB_TEST_DATA_DIR) + "/" + name;
}

unsigned MemoryInput::Read(void* buffer, unsigned size, unsigned count) {
    size_t want = static_cast<size_t>(size) * count;
    size_t n = std::min<size_t>({want, chunk_, bytes_.size() - pos_});
    if (n > 0) std::memcpy(buffer, bytes_.data() + pos_, n);
    pos_ += n;
    return static_cast<unsigned>(n);
}

int CollectingOutput::Write(float** channels, unsigned n) {
    writes.push_back(n);
    writeChannels.push_back(this->channels);
    if (samples.size() < this->channels) samples.resize(this->channels);
    for (unsigned c = 0; c < this->channels; ++c)
        samples[c].insert(samples[c].end(), channels[c], channels[c] + n);
    return 0;
}

std::vector<int16_t> ToPcm16(const std::vector<float>& samples) {
    std::vector<int16_t> pcm(samples.size());
    for (size_t i = 0; i < samples.size(); ++i) {
        float v = std::max(-32768.0f, std::min(32767.0f, samples[i]));
        pcm[i] = static_cast<int16_t>(v);
    }
    return pcm;
}

Decoded DecodeAll(const std::vector<uint8_t>& bytes, unsigned chunk) {
    Decoded d;
    MemoryInput input(bytes, chunk);
    CVlbDecoderFront front(&input);
    VlbFrameInfo info{};
    int32_t status = 0;
    for (int i = 0; i < 1000; ++i) {
        status = front.Init(&info);
        if (status == 0 || status == 5) break;
    }
    d.statuses.push_back(status);
    d.infos.push_back(info);
    if (status == 5) return d;
    d.output.channels = info.channels ? info.channels : 1;
    for (int guard = 0; guard < 1000000; ++guard) {
        VlbFrameInfo frame{};
        status = front.DecodeFrame(&d.output, &frame);
        d.statuses.push_back(status);
        d.infos.push_back(frame);
        d.extensionErrors.push_back(front.Core().ExtensionFound() ? front.Core().Extension().errorCode : ~0u);
        if (status == 5) break;
        if ((status == 0 || status == -2) && frame.channels) {
            d.output.channels = frame.channels;
            d.sampleRate = frame.sampleRate;
            d.channels = frame.channels;
        }
    }
    return d;
}

}  // namespace vlbtest
