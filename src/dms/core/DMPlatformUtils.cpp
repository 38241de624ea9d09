#include "dms/core/DMPlatformUtils.h"

#include <sys/random.h>
#include <zlib.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <random>
#include <vector>

namespace {

constexpr char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int Base64Value(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

void RandomBytes(unsigned char* out, std::size_t length) {
    std::size_t filled = 0;
    while (filled < length) {
        const ssize_t n = getrandom(out + filled, length - filled, 0);
        if (n > 0) {
            filled += static_cast<std::size_t>(n);
        } else if (n < 0 && errno != EINTR) {
            break;
        }
    }
    if (filled < length) {
        // Only without getrandom (very old kernels).
        std::random_device device;
        for (; filled < length; ++filled) {
            out[filled] = static_cast<unsigned char>(device());
        }
    }
}

std::string FormatUTC(std::time_t when, const char* format) {
    if (!format) {
        return {};
    }
    std::tm parts{};
    if (!gmtime_r(&when, &parts)) {
        return {};
    }
    char buffer[256];
    const std::size_t n = std::strftime(buffer, sizeof buffer, format, &parts);
    return std::string(buffer, n);
}

// Gzip header flags (RFC 1952).
constexpr unsigned char kFlagHeaderCRC = 0x02;
constexpr unsigned char kFlagExtra = 0x04;
constexpr unsigned char kFlagName = 0x08;
constexpr unsigned char kFlagComment = 0x10;
constexpr unsigned char kFlagReserved = 0xE0;

// Length of the gzip header at input, 0 when it is not a complete, valid one.
std::size_t GzipHeaderLength(const unsigned char* input, std::size_t length) {
    if (length < 10 || input[0] != 0x1F || input[1] != 0x8B || input[2] != 0x08) {
        return 0;
    }
    const unsigned char flags = input[3];
    if (flags & kFlagReserved) {
        return 0;
    }
    std::size_t pos = 10;
    if (flags & kFlagExtra) {
        if (length - pos < 2) {
            return 0;
        }
        const std::size_t extra = input[pos] | (static_cast<std::size_t>(input[pos + 1]) << 8);
        pos += 2;
        if (length - pos < extra) {
            return 0;
        }
        pos += extra;
    }
    for (unsigned char flag : {kFlagName, kFlagComment}) {
        if (flags & flag) {
            const void* end = std::memchr(input + pos, 0, length - pos);
            if (!end) {
                return 0;
            }
            pos = static_cast<std::size_t>(static_cast<const unsigned char*>(end) - input) + 1;
        }
    }
    if (flags & kFlagHeaderCRC) {
        if (length - pos < 2) {
            return 0;
        }
        pos += 2;
    }
    return pos;
}

std::uint32_t ReadLE32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

}  // namespace

DMPlatformUtils* DMPlatformUtils::GetInstance() {
    // Stateless, so nothing is lost when it goes at exit.
    static DMPlatformUtilsLinux instance;
    return &instance;
}

std::string DMPlatformUtilsLinux::FormatGUID(const unsigned char (&b)[16]) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%X%X%X%X-%X%X-%X%X-%X%X%X%X%X%X%X%X", b[0], b[1], b[2], b[3], b[4], b[5],
                  b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
    return buffer;
}

std::string DMPlatformUtilsLinux::NewGUID() {
    unsigned char bytes[16];
    RandomBytes(bytes, sizeof bytes);
    return FormatGUID(bytes);
}

std::string DMPlatformUtilsLinux::FormatCurrentTimeUTC(const char* format) {
    return FormatUTC(std::time(nullptr), format);
}

std::string DMPlatformUtilsLinux::FormatTimeUTCWithOffset(std::int32_t seconds, const char* format) {
    return FormatUTC(std::time(nullptr) + seconds, format);
}

double DMPlatformUtilsLinux::CurrentAbsoluteTime() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration<double>(now).count();
}

std::int32_t DMPlatformUtilsLinux::Base64Encode(const void* inputBytes, std::uint32_t inputLength, char* output,
                                                std::uint32_t outputCapacity) {
    const std::uint64_t needed = (static_cast<std::uint64_t>(inputLength) + 2) / 3 * 4 + 1;
    if (!output || needed > outputCapacity || needed > 0x7FFFFFFFu || (!inputBytes && inputLength > 0)) {
        return 0;
    }
    const auto* in = static_cast<const unsigned char*>(inputBytes);
    char* out = output;
    std::uint32_t i = 0;
    for (; inputLength - i >= 3; i += 3) {
        const std::uint32_t group = (in[i] << 16) | (in[i + 1] << 8) | in[i + 2];
        *out++ = kBase64Alphabet[(group >> 18) & 63];
        *out++ = kBase64Alphabet[(group >> 12) & 63];
        *out++ = kBase64Alphabet[(group >> 6) & 63];
        *out++ = kBase64Alphabet[group & 63];
    }
    const std::uint32_t left = inputLength - i;
    if (left > 0) {
        const std::uint32_t group = (in[i] << 16) | (left == 2 ? in[i + 1] << 8 : 0);
        *out++ = kBase64Alphabet[(group >> 18) & 63];
        *out++ = kBase64Alphabet[(group >> 12) & 63];
        *out++ = left == 2 ? kBase64Alphabet[(group >> 6) & 63] : '=';
        *out++ = '=';
    }
    *out = '\0';
    return static_cast<std::int32_t>(out - output);
}

std::uint32_t DMPlatformUtilsLinux::Base64Decode(const char* input, unsigned char* output,
                                                 std::uint32_t outputCapacity) {
    if (!input || !output) {
        return 0;
    }
    std::uint32_t written = 0;
    const auto* p = reinterpret_cast<const unsigned char*>(input);
    while (*p) {
        std::uint32_t bits = 0;
        int count = 0;
        while (*p && count < 4) {
            const int v = Base64Value(*p++);
            if (v >= 0) {
                bits = (bits << 6) | static_cast<std::uint32_t>(v);
                ++count;
            }
        }
        const int bitCount = count * 6;
        const int bytes = bitCount / 8;
        if (bytes == 0) {
            continue;
        }
        if (static_cast<std::uint64_t>(written) + static_cast<std::uint32_t>(bytes) > outputCapacity) {
            return 0;
        }
        bits >>= bitCount % 8;
        for (int k = bytes - 1; k >= 0; --k) {
            output[written++] = static_cast<unsigned char>(bits >> (8 * k));
        }
    }
    return written;
}

std::uint32_t DMPlatformUtilsLinux::Gunzip(const unsigned char* input, std::uint32_t inputLength,
                                           unsigned char** output, std::uint32_t* outputLength) {
    if (output) {
        *output = nullptr;
    }
    if (outputLength) {
        *outputLength = 0;
    }
    if (!input || !output || !outputLength) {
        return 0;
    }
    const std::size_t header = GzipHeaderLength(input, inputLength);
    if (header == 0) {
        return 0;
    }

    z_stream stream{};
    if (inflateInit2(&stream, -15) != Z_OK) {
        return 0;
    }
    stream.next_in = const_cast<Bytef*>(input + header);
    stream.avail_in = static_cast<uInt>(inputLength - header);

    constexpr std::size_t kStep = 10240;
    std::vector<unsigned char> inflated;
    int result = Z_OK;
    while (result == Z_OK) {
        const std::size_t before = inflated.size();
        if (before >= kDMGunzipMaxOutputBytes) {
            result = Z_MEM_ERROR;
            break;
        }
        inflated.resize(before + kStep);
        stream.next_out = inflated.data() + before;
        stream.avail_out = static_cast<uInt>(kStep);
        result = inflate(&stream, Z_SYNC_FLUSH);
        inflated.resize(before + (kStep - stream.avail_out));
        // Input used up without the final block: the body was cut short.
        if (result == Z_OK && stream.avail_in == 0 && stream.avail_out != 0) {
            result = Z_BUF_ERROR;
        }
    }
    const std::size_t trailerOffset = static_cast<std::size_t>(stream.next_in - input);
    inflateEnd(&stream);

    if (result != Z_STREAM_END || inflated.empty() || inflated.size() > kDMGunzipMaxOutputBytes ||
        inputLength - trailerOffset < 8) {
        return 0;
    }
    const std::uint32_t crc =
        static_cast<std::uint32_t>(crc32(crc32(0L, Z_NULL, 0), inflated.data(), static_cast<uInt>(inflated.size())));
    if (ReadLE32(input + trailerOffset) != crc ||
        ReadLE32(input + trailerOffset + 4) != static_cast<std::uint32_t>(inflated.size())) {
        return 0;
    }
    auto* buffer = static_cast<unsigned char*>(std::malloc(inflated.size()));
    if (!buffer) {
        return 0;
    }
    std::memcpy(buffer, inflated.data(), inflated.size());
    *output = buffer;
    *outputLength = static_cast<std::uint32_t>(inflated.size());
    return *outputLength;
}

std::string DMPlatformUtilsLinux::ReadFileToString(const std::string& path) {
    std::string contents;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        return contents;
    }
    char block[1024];
    std::size_t n;
    do {
        n = std::fread(block, 1, sizeof block, file);
        contents.append(block, n);
    } while (n == sizeof block);
    std::fclose(file);
    return contents;
}

unsigned char* DMPlatformUtilsLinux::ReadFileToBuffer(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        return nullptr;
    }
    std::unique_ptr<unsigned char[]> buffer;
    long length = -1;
    if (std::fseek(file, 0, SEEK_END) == 0) {
        length = std::ftell(file);
    }
    if (length >= 0 && std::fseek(file, 0, SEEK_SET) == 0) {
        const auto size = static_cast<std::size_t>(length);
        buffer = std::make_unique_for_overwrite<unsigned char[]>(size > 0 ? size : 1);
        if (std::fread(buffer.get(), 1, size, file) != size) {
            buffer.reset();
        }
    }
    std::fclose(file);
    return buffer.release();
}

std::string DMPlatformUtilsLinux::JoinPath(const std::string& directory, const std::string& name) {
    const bool endsInSlash = !directory.empty() && directory.back() == '/';
    if (name.empty()) {
        return endsInSlash ? directory.substr(0, directory.size() - 1) : directory;
    }
    return endsInSlash ? directory + name : directory + "/" + name;
}
