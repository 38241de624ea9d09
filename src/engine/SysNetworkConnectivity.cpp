#include "engine/SysNetworkConnectivity.h"

#include "platform/Reachability.h"

#include <chrono>

namespace {

std::mutex gMakerHostLock;
std::string gMakerHost;

bool ReachableByFlags(std::uint32_t flags) {
    return (flags & platform::kReachable) && !(flags & platform::kConnectionRequired);
}

}  // namespace

void SetMakerWebHost(const std::string& host) {
    std::lock_guard lock(gMakerHostLock);
    gMakerHost = host;
}

std::string GetMakerWebHost() {
    std::lock_guard lock(gMakerHostLock);
    return gMakerHost;
}

bool IsNetworkAddressReachable(const char* host) {
    try {
        return SysNetworkConnectivity::sharedInstance().checkIfNetworkAddressReachable(host);
    } catch (...) {
        return false;
    }
}

SysNetworkConnectivity& SysNetworkConnectivity::sharedInstance() {
    // Never destroyed: stream threads may still ask while the process exits.
    static SysNetworkConnectivity* instance = new SysNetworkConnectivity;
    return *instance;
}

void SysNetworkConnectivity::setForcedAnswerForTesting(std::optional<bool> answer) {
    std::lock_guard lock(lock_);
    forced_ = answer;
}

bool SysNetworkConnectivity::checkIfNetworkAddressReachable(const char* host) {
    if (!host) return false;
    std::lock_guard lock(lock_);
    if (forced_) return *forced_;

    const std::string name(host);
    const auto byName = platform::ReachabilityFlagsByName(name);
    if (!byName || *byName == 0) return false;
    if (!ReachableByFlags(*byName)) return false;

    const auto address = platform::ResolveFirstIPv4(name, std::chrono::milliseconds(1000));
    if (!address) return true;  // the name check stands

    const auto byAddress = platform::ReachabilityFlagsByAddress(*address);
    if (!byAddress || *byAddress == 0) return true;
    return ReachableByFlags(*byAddress);
}
