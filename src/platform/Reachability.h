#pragma once

// The system questions behind the engine's host reachability check, answered the Linux
// way. Both checks return the reachability flags (kReachable, kConnectionRequired) or
// nullopt when the question itself could not be asked.
//
// - By name: a loopback name or address is always reachable; any other host is when the
//   machine has a usable route (a non-loopback interface that is up and running, and a
//   default route). Nothing is sent.
// - By address: a UDP connect to the IPv4 address (no packet is sent). ENETUNREACH or
//   EHOSTUNREACH means a link would first have to be brought up: kConnectionRequired.
// Safe from any thread.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace platform {

inline constexpr std::uint32_t kReachable = 2;
inline constexpr std::uint32_t kConnectionRequired = 4;

std::optional<std::uint32_t> ReachabilityFlagsByName(const std::string& host);
std::optional<std::uint32_t> ReachabilityFlagsByAddress(std::uint32_t ipv4HostOrder);

// The first IPv4 address of `host` (host byte order), or nullopt when the name does not
// resolve within `limit`. A look-up still running at the limit is left to finish on its
// own thread, so the caller never waits longer than the limit.
std::optional<std::uint32_t> ResolveFirstIPv4(const std::string& host, std::chrono::milliseconds limit);

bool IsLoopbackHost(const std::string& host);

}  // namespace platform
