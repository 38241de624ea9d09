#include "app/support/MachineFacts.h"

#include <sys/sysinfo.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <charconv>
#include <fstream>
#include <sstream>

namespace {

std::optional<std::string> FirstLine(const char* path) {
    std::ifstream in(path);
    std::string line;
    if (!in || !std::getline(in, line)) return std::nullopt;
    while (!line.empty() && (line.back() == ' ' || line.back() == '\r' || line.back() == '\t'))
        line.pop_back();
    return line;
}

std::optional<long> ParseLong(const std::string& text) {
    long value = 0;
    const char* begin = text.data();
    while (begin < text.data() + text.size() && *begin == ' ')
        ++begin;
    auto [end, ec] = std::from_chars(begin, text.data() + text.size(), value);
    if (ec != std::errc() || end == begin) return std::nullopt;
    return value;
}

std::optional<long> ClockMHz() {
    if (auto khz = FirstLine("/sys/devices/system/cpu/cpu0/cpufreq/cpuinfo_max_freq")) {
        if (auto v = ParseLong(*khz); v && *v > 0) return *v / 1000;
    }
    std::ifstream in("/proc/cpuinfo");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("cpu MHz", 0) != 0) continue;
        const auto colon = line.find(':');
        if (colon == std::string::npos) continue;
        // The fraction is dropped: the number is read only up to the decimal point.
        if (auto v = ParseLong(line.substr(colon + 1)); v && *v > 0) return *v;
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::uint16_t> PackKernelRelease(const std::string& release) {
    long parts[3] = {0, 0, 0};
    const char* p = release.data();
    const char* end = p + release.size();
    for (int i = 0; i < 3; ++i) {
        long v = 0;
        auto [next, ec] = std::from_chars(p, end, v);
        if (ec != std::errc() || v < 0) {
            if (i == 0) return std::nullopt;
            break;
        }
        parts[i] = v;
        p = next;
        if (p == end || *p != '.') break;
        ++p;
    }
    const long major = parts[0] > 99 ? 99 : parts[0];
    const long minor = parts[1] > 9 ? 9 : parts[1];
    const long patch = parts[2] > 9 ? 9 : parts[2];
    return std::uint16_t(((major / 10) << 12) | ((major % 10) << 8) | (minor << 4) | patch);
}

std::string FormatMachineModel(const MachineFacts& facts) {
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << facts.modelName.value_or("") << ';' << facts.clockMHz.value_or(0);
    if (facts.processorCount >= 2) out << 'x' << facts.processorCount;
    return out.str();
}

MachineFacts ReadMachineFacts() {
    MachineFacts facts;
    struct sysinfo info {};
    if (sysinfo(&info) == 0) facts.memoryBytes = std::uint64_t(info.totalram) * info.mem_unit;
    struct utsname names {};
    if (uname(&names) == 0) facts.systemVersion = PackKernelRelease(names.release);
    if (auto name = FirstLine("/sys/class/dmi/id/product_name"); name && !name->empty()) facts.modelName = name;
    facts.clockMHz = ClockMHz();
    const long count = sysconf(_SC_NPROCESSORS_ONLN);
    facts.processorCount = count > 0 ? count : 1;
    return facts;
}
