#pragma once

// Host reachability: can a host, given by name, be reached right now without first
// bringing a connection up? Asked by the stream reader (for the maker's web host, before
// opening and at most once a second while data is missing) and by the application.
//
// Checks run one at a time under the singleton's lock; one check takes at most about a
// second (the name look-up is bounded), so a stream thread asking it can still be
// stopped promptly.

#include <mutex>
#include <optional>
#include <string>

// Any thread. False for a null host and when the check fails unexpectedly.
bool IsNetworkAddressReachable(const char* host);

// The host whose reachability stands for the network's (the host of the services URL).
// Empty, the default, means none is configured: the stream reader then skips its checks.
void SetMakerWebHost(const std::string& host);
std::string GetMakerWebHost();

class SysNetworkConnectivity {
public:
    static SysNetworkConnectivity& sharedInstance();

    bool checkIfNetworkAddressReachable(const char* host);

    // Test hook: a set value is returned for every non-null host without asking the
    // system; nullopt restores the real check.
    void setForcedAnswerForTesting(std::optional<bool> answer);

    SysNetworkConnectivity(const SysNetworkConnectivity&) = delete;
    SysNetworkConnectivity& operator=(const SysNetworkConnectivity&) = delete;

private:
    SysNetworkConnectivity() = default;
    ~SysNetworkConnectivity() = default;

    std::mutex lock_;
    std::optional<bool> forced_;
};
