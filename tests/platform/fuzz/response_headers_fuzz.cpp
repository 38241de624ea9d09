// Feeds arbitrary header lines (split at LF, as curl hands them over) to the collector
// of the stream's response headers. Run:
//   build-fuzz-x/tests/platform/response_headers_fuzz -max_total_time=60

#include "platform/HttpReadStream.h"

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    platform::ResponseHeaderCollector h;
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    while (!rest.empty()) {
        const auto nl = rest.find('\n');
        const std::size_t n = nl == std::string_view::npos ? rest.size() : nl + 1;
        h.Feed(rest.substr(0, n));
        rest.remove_prefix(n);
    }
    if (h.Complete()) {
        for (const auto& [name, value] : h.Fields()) {
            if (name.empty()) std::abort();
            for (char c : name)
                if (std::isupper(static_cast<unsigned char>(c))) std::abort();
        }
    }
    return 0;
}
