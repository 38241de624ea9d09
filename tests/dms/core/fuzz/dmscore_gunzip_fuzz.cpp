// libFuzzer target: response bodies through Gunzip and base64 decoding; base64 encoding
// of the same bytes writes the whole text when given room for it.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "dms/core/DMPlatformUtils.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    DMPlatformUtils* utils = DMPlatformUtils::GetInstance();
    unsigned char* out = nullptr;
    std::uint32_t length = 0;
    const std::uint32_t n = utils->Gunzip(data, static_cast<std::uint32_t>(size), &out, &length);
    if ((n == 0) != (out == nullptr) || n != length || n > kDMGunzipMaxOutputBytes) {
        std::abort();
    }
    std::free(out);

    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<unsigned char> decoded(size / 2 + 1);
    if (utils->Base64Decode(text.c_str(), decoded.data(), static_cast<std::uint32_t>(decoded.size())) >
        decoded.size()) {
        std::abort();
    }
    // Room for every quantum and the zero: the whole text is written.
    std::vector<char> encoded(size / 3 * 4 + 5);
    const std::int32_t written = utils->Base64Encode(data, static_cast<std::uint32_t>(size), encoded.data(),
                                                     static_cast<std::uint32_t>(encoded.size()));
    if (written != static_cast<std::int32_t>((size + 2) / 3 * 4)) {
        std::abort();
    }
    return 0;
}
