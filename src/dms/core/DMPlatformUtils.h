#pragma once

// What the web-service stack needs from the operating system: message identifiers, UTC
// time text, a clock, base64, gzip inflation, file reading and path joining. Reached
// through one process-wide instance. The operations keep no state and may be called
// from any thread; GetInstance itself is first called on the main thread.

#include <cstddef>
#include <cstdint>
#include <string>

// Largest inflated body Gunzip hands back; a larger one fails (gzip bombs).
inline constexpr std::uint32_t kDMGunzipMaxOutputBytes = 32u * 1024u * 1024u;

class DMPlatformUtils {
public:
    static DMPlatformUtils* GetInstance();

    // 16 random bytes as "%X%X%X%X-%X%X-%X%X-%X%X%X%X%X%X%X%X" (no zero padding, so 20 to
    // 36 characters).
    virtual std::string NewGUID() = 0;
    // Now in UTC, formatted by strftime (at most 255 characters); "" for a null format.
    virtual std::string FormatCurrentTimeUTC(const char* format) = 0;
    virtual std::string FormatTimeUTCWithOffset(std::int32_t seconds, const char* format) = 0;
    // Seconds on a monotonic clock: only differences of two readings mean anything.
    virtual double CurrentAbsoluteTime() = 0;
    // RFC 4648 with "=" fill and a terminating zero byte; returns the characters written
    // before the zero, 0 when the output cannot hold them and the zero.
    [[nodiscard]] virtual std::int32_t Base64Encode(const void* input, std::uint32_t inputLength, char* output,
                                                    std::uint32_t outputCapacity) = 0;
    // Skips every character outside the alphabet; returns the bytes written, 0 when the
    // output is too small (nothing terminated).
    [[nodiscard]] virtual std::uint32_t Base64Decode(const char* input, unsigned char* output,
                                                     std::uint32_t outputCapacity) = 0;
    // Inflates one gzip member. On success returns the length and hands back a malloc'ed
    // buffer (the caller frees it with free). Returns 0 and hands back nothing for input
    // that is not gzip, a damaged or truncated header, corrupt or truncated deflate data,
    // a trailer whose CRC-32 or length does not match, an empty result, or a result above
    // kDMGunzipMaxOutputBytes.
    [[nodiscard]] virtual std::uint32_t Gunzip(const unsigned char* input, std::uint32_t inputLength,
                                               unsigned char** output, std::uint32_t* outputLength) = 0;
    // The whole file; "" when it cannot be opened.
    virtual std::string ReadFileToString(const std::string& path) = 0;
    // The whole file in a new[] array owned by the caller (delete[]); null on failure.
    virtual unsigned char* ReadFileToBuffer(const std::string& path) = 0;
    // directory + "/" + name (one "/" unless the directory ends in one); with an empty
    // name, the directory without one trailing "/".
    virtual std::string JoinPath(const std::string& directory, const std::string& name) = 0;

protected:
    DMPlatformUtils() = default;
    ~DMPlatformUtils() = default;
};

class DMPlatformUtilsLinux : public DMPlatformUtils {
public:
    DMPlatformUtilsLinux() = default;

    std::string NewGUID() override;
    std::string FormatCurrentTimeUTC(const char* format) override;
    std::string FormatTimeUTCWithOffset(std::int32_t seconds, const char* format) override;
    double CurrentAbsoluteTime() override;
    [[nodiscard]] std::int32_t Base64Encode(const void* input, std::uint32_t inputLength, char* output,
                                            std::uint32_t outputCapacity) override;
    [[nodiscard]] std::uint32_t Base64Decode(const char* input, unsigned char* output,
                                             std::uint32_t outputCapacity) override;
    [[nodiscard]] std::uint32_t Gunzip(const unsigned char* input, std::uint32_t inputLength, unsigned char** output,
                                       std::uint32_t* outputLength) override;
    std::string ReadFileToString(const std::string& path) override;
    unsigned char* ReadFileToBuffer(const std::string& path) override;
    std::string JoinPath(const std::string& directory, const std::string& name) override;

    // The text form of NewGUID for given bytes.
    static std::string FormatGUID(const unsigned char (&bytes)[16]);
};
