#include "platform/Reachability.h"

#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <condition_variable>
#include <fstream>
#include <ifaddrs.h>
#include <memory>
#include <mutex>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sstream>
#include <sys/socket.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace platform {

namespace {

std::string Lower(std::string s) {
    for (char& c : s)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool HasUpInterface() {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return false;
    bool up = false;
    for (ifaddrs* i = list; i && !up; i = i->ifa_next) {
        const unsigned f = i->ifa_flags;
        up = (f & IFF_UP) && (f & IFF_RUNNING) && !(f & IFF_LOOPBACK);
    }
    freeifaddrs(list);
    return up;
}

bool HasDefaultRoute() {
    {
        std::ifstream in("/proc/net/route");
        std::string line;
        std::getline(in, line);  // column titles
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            std::string iface, dest, gateway;
            unsigned flags = 0;
            fields >> iface >> dest >> gateway >> std::hex >> flags;
            if (dest == "00000000" && (flags & 0x1) && iface != "lo") return true;
        }
    }
    std::ifstream in6("/proc/net/ipv6_route");
    std::string line;
    while (std::getline(in6, line)) {
        std::istringstream fields(line);
        std::string dest, prefix, src, srcPrefix, next, metric, ref, use, flags, iface;
        fields >> dest >> prefix >> src >> srcPrefix >> next >> metric >> ref >> use >> flags >> iface;
        if (dest == std::string(32, '0') && prefix == "00" && iface != "lo" && next != std::string(32, '0'))
            return true;
    }
    return false;
}

}  // namespace

bool IsLoopbackHost(const std::string& rawHost) {
    std::string host = Lower(rawHost);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    if (host == "localhost" || host == "localhost.localdomain") return true;
    if (host.size() > 10 && host.ends_with(".localhost")) return true;
    in_addr a4{};
    if (inet_pton(AF_INET, host.c_str(), &a4) == 1) return (ntohl(a4.s_addr) >> 24) == 127;
    in6_addr a6{};
    if (inet_pton(AF_INET6, host.c_str(), &a6) == 1) return IN6_IS_ADDR_LOOPBACK(&a6);
    return false;
}

std::optional<std::uint32_t> ReachabilityFlagsByName(const std::string& host) {
    if (host.empty()) return std::nullopt;
    if (IsLoopbackHost(host)) return kReachable;
    return (HasUpInterface() && HasDefaultRoute()) ? kReachable : 0u;
}

std::optional<std::uint32_t> ReachabilityFlagsByAddress(std::uint32_t ipv4) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return std::nullopt;
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(80);
    sa.sin_addr.s_addr = htonl(ipv4);
    // A UDP connect only picks a route; nothing goes on the wire.
    const int rc = connect(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
    const int err = errno;
    close(fd);
    if (rc == 0) return kReachable;
    if (err == ENETUNREACH || err == EHOSTUNREACH) return kConnectionRequired;
    return std::nullopt;
}

std::optional<std::uint32_t> ResolveFirstIPv4(const std::string& host, std::chrono::milliseconds limit) {
    if (host.empty()) return std::nullopt;
    in_addr literal{};
    if (inet_pton(AF_INET, host.c_str(), &literal) == 1) return ntohl(literal.s_addr);

    // getaddrinfo cannot be cancelled; run it on a thread of its own that may outlive
    // this call when the resolver hangs.
    struct Lookup {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        std::optional<std::uint32_t> address;
    };
    auto lookup = std::make_shared<Lookup>();
    try {
        std::thread([lookup, host] {
            addrinfo hints{};
            hints.ai_family = AF_INET;
            hints.ai_socktype = SOCK_STREAM;
            addrinfo* result = nullptr;
            std::optional<std::uint32_t> address;
            if (getaddrinfo(host.c_str(), nullptr, &hints, &result) == 0) {
                for (addrinfo* r = result; r; r = r->ai_next) {
                    if (r->ai_family == AF_INET) {
                        address = ntohl(reinterpret_cast<const sockaddr_in*>(r->ai_addr)->sin_addr.s_addr);
                        break;
                    }
                }
                freeaddrinfo(result);
            }
            std::lock_guard lock(lookup->mutex);
            lookup->address = address;
            lookup->finished = true;
            lookup->done.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        return std::nullopt;
    }
    std::unique_lock lock(lookup->mutex);
    lookup->done.wait_for(lock, limit, [&] { return lookup->finished; });
    return lookup->finished ? lookup->address : std::nullopt;
}

}  // namespace platform
