#include "support/Pcm.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>

namespace zymtest {

namespace {

uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}
uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void Put16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        if (c == '\'')
            q += "'\\''";
        else
            q += c;
    }
    return q + "'";
}

}  // namespace

bool ReadFile(const std::string& path, std::vector<uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

bool ReadWav(const std::string& path, Pcm& pcm, std::string* error) {
    auto fail = [&](const char* why) {
        if (error) *error = why;
        return false;
    };
    std::vector<uint8_t> b;
    if (!ReadFile(path, b)) return fail("cannot read file");
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0 || std::memcmp(b.data() + 8, "WAVE", 4) != 0)
        return fail("not a RIFF/WAVE file");
    size_t pos = 12;
    bool haveFormat = false;
    while (pos + 8 <= b.size()) {
        const uint32_t size = Le32(b.data() + pos + 4);
        const size_t body = pos + 8;
        const size_t available = b.size() - body;
        if (std::memcmp(b.data() + pos, "fmt ", 4) == 0) {
            if (size < 16 || available < 16) return fail("short fmt chunk");
            const uint16_t format = Le16(b.data() + body);
            pcm.channels = Le16(b.data() + body + 2);
            pcm.sampleRate = static_cast<int>(Le32(b.data() + body + 4));
            const uint16_t bits = Le16(b.data() + body + 14);
            if ((format != 1 && format != 0xFFFE) || bits != 16) return fail("not 16-bit PCM");
            haveFormat = true;
        } else if (std::memcmp(b.data() + pos, "data", 4) == 0) {
            if (!haveFormat) return fail("data before fmt");
            // Streaming writers leave the size unset (0 or 0xFFFFFFFF): take the rest.
            size_t n = (size == 0 || size > available) ? available : size;
            n &= ~static_cast<size_t>(1);
            pcm.samples.resize(n / 2);
            for (size_t i = 0; i < n / 2; ++i)
                pcm.samples[i] = static_cast<int16_t>(Le16(b.data() + body + 2 * i));
            return true;
        }
        pos = body + size + (size & 1);
    }
    return fail("no data chunk");
}

bool WriteWav(const std::string& path, const Pcm& pcm) {
    std::vector<uint8_t> out;
    const uint32_t dataBytes = static_cast<uint32_t>(pcm.samples.size() * 2);
    out.insert(out.end(), {'R', 'I', 'F', 'F'});
    Put32(out, 36 + dataBytes);
    out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    Put32(out, 16);
    Put16(out, 1);
    Put16(out, static_cast<uint16_t>(pcm.channels));
    Put32(out, static_cast<uint32_t>(pcm.sampleRate));
    Put32(out, static_cast<uint32_t>(pcm.sampleRate * pcm.channels * 2));
    Put16(out, static_cast<uint16_t>(pcm.channels * 2));
    Put16(out, 16);
    out.insert(out.end(), {'d', 'a', 't', 'a'});
    Put32(out, dataBytes);
    for (int16_t s : pcm.samples)
        Put16(out, static_cast<uint16_t>(s));
    return WriteFile(path, out);
}

bool ReadRaw16(const std::string& path, std::vector<int16_t>& samples) {
    std::vector<uint8_t> b;
    if (!ReadFile(path, b)) return false;
    samples.resize(b.size() / 2);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<int16_t>(Le16(b.data() + 2 * i));
    return true;
}

std::string TempPath(const std::string& suffix) {
    static std::atomic<int> counter{0};
    const char* dir = std::getenv("TMPDIR");
    std::string base = (dir && *dir) ? dir : "/tmp";
    return base + "/zymtest-" + std::to_string(getpid()) + "-" + std::to_string(counter++) + suffix;
}

int RunCommand(const std::string& commandLine) {
    const int status = std::system(commandLine.c_str());
    if (status == -1 || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

bool HaveProgram(const std::string& name) { return RunCommand("command -v " + Quote(name) + " >/dev/null 2>&1") == 0; }

bool DecodeWithMpg123(const std::string& input, Pcm& pcm) {
    if (!HaveProgram("mpg123")) return false;
    const std::string out = TempPath(".wav");
    const bool ok =
        RunCommand("mpg123 -q -w " + Quote(out) + " " + Quote(input) + " >/dev/null 2>&1") == 0 && ReadWav(out, pcm);
    std::remove(out.c_str());
    return ok;
}

bool DecodeWithFfmpeg(const std::string& input, Pcm& pcm) {
    if (!HaveProgram("ffmpeg")) return false;
    const std::string out = TempPath(".wav");
    const bool ok = RunCommand("ffmpeg -nostdin -v error -y -i " + Quote(input) + " -c:a pcm_s16le -f wav " +
                               Quote(out) + " >/dev/null 2>&1") == 0 &&
                    ReadWav(out, pcm);
    std::remove(out.c_str());
    return ok;
}

namespace {

PcmDiff CompareRange(const std::vector<int16_t>& test, const std::vector<int16_t>& reference, int channels,
                     long offsetFrames, size_t maxFrames) {
    PcmDiff d;
    if (channels <= 0) return d;
    const long testFrames = static_cast<long>(test.size() / static_cast<size_t>(channels));
    const long refFrames = static_cast<long>(reference.size() / static_cast<size_t>(channels));
    const long first = std::max(0L, -offsetFrames);
    long last = std::min(testFrames, refFrames - offsetFrames);
    if (maxFrames > 0) last = std::min(last, first + static_cast<long>(maxFrames));
    double sum = 0.0;
    for (long f = first; f < last; ++f) {
        for (int c = 0; c < channels; ++c) {
            const int a = test[static_cast<size_t>(f * channels + c)];
            const int b = reference[static_cast<size_t>((f + offsetFrames) * channels + c)];
            const int diff = std::abs(a - b);
            sum += static_cast<double>(diff) * diff;
            d.maxAbs = std::max(d.maxAbs, diff);
            ++d.compared;
        }
    }
    d.rms = d.compared ? std::sqrt(sum / static_cast<double>(d.compared)) : 0.0;
    return d;
}

}  // namespace

PcmDiff Compare(const std::vector<int16_t>& test, const std::vector<int16_t>& reference, int channels,
                long offsetFrames) {
    return CompareRange(test, reference, channels, offsetFrames, 0);
}

long FindOffset(const std::vector<int16_t>& test, const std::vector<int16_t>& reference, int channels, long maxShift,
                size_t window) {
    long best = 0;
    double bestRms = std::numeric_limits<double>::max();
    for (long shift = -maxShift; shift <= maxShift; ++shift) {
        const PcmDiff d = CompareRange(test, reference, channels, shift, window);
        if (d.compared > 0 && d.rms < bestRms) {
            bestRms = d.rms;
            best = shift;
        }
    }
    return best;
}

bool ReadFloatWavAs16(const std::string& path, std::vector<int16_t>& samples) {
    std::vector<uint8_t> bytes;
    if (!ReadFile(path, bytes)) return false;
    samples.clear();
    size_t pos = 12;
    while (pos + 8 <= bytes.size()) {
        uint32_t size = 0;
        std::memcpy(&size, &bytes[pos + 4], 4);
        if (std::memcmp(&bytes[pos], "data", 4) == 0) {
            const size_t n = std::min<size_t>(size, bytes.size() - pos - 8) / 4;
            for (size_t i = 0; i < n; ++i) {
                float f;
                std::memcpy(&f, &bytes[pos + 8 + i * 4], 4);
                samples.push_back(int16_t(std::lround(std::clamp(f * 32768.0f, -32768.0f, 32767.0f))));
            }
            return true;
        }
        pos += 8 + size + (size & 1);
    }
    return false;
}

std::vector<int16_t> TrimSilence(const std::vector<int16_t>& s) {
    size_t b = 0, e = s.size();
    while (b < e && std::abs(s[b]) < 4)
        ++b;
    while (e > b && std::abs(s[e - 1]) < 4)
        --e;
    b &= ~size_t(1);
    e = (e + 1) & ~size_t(1);
    return std::vector<int16_t>(s.begin() + long(b), s.begin() + long(std::min(e, s.size())));
}

std::vector<int16_t> DropUnderrunGaps(const std::vector<int16_t>& s) {
    std::vector<int16_t> out;
    size_t i = 0;
    const size_t frames = s.size() / 2;
    while (i < frames) {
        size_t j = i;
        while (j < frames && s[2 * j] == 0 && s[2 * j + 1] == 0)
            ++j;
        if (j - i < 64) {
            out.insert(out.end(), s.begin() + long(2 * i), s.begin() + long(2 * std::max(j, i + 1)));
            i = std::max(j, i + 1);
        } else {
            i = j;
        }
    }
    return out;
}

}  // namespace zymtest
