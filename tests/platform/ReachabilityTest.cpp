#include "platform/Reachability.h"

#include <gtest/gtest.h>

#include <chrono>

#include "support/Env.h"

using namespace std::chrono_literals;

TEST(Reachability, LoopbackHosts) {
    const struct {
        const char* host;
        bool loopback;
    } cases[] = {
        {"localhost", true},    {"LOCALHOST", true},  {"radio.localhost", true},
        {"127.0.0.1", true},    {"127.9.8.7", true},  {"::1", true},
        {"[::1]", true},        {"128.0.0.1", false}, {"localhost.example", false},
        {"example.com", false}, {"", false},          {"0.0.0.0", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::IsLoopbackHost(c.host), c.loopback) << c.host;
}

TEST(Reachability, LoopbackIsReachableByNameAndAddress) {
    EXPECT_EQ(platform::ReachabilityFlagsByName("127.0.0.1"), platform::kReachable);
    EXPECT_EQ(platform::ReachabilityFlagsByName("localhost"), platform::kReachable);
    EXPECT_EQ(platform::ReachabilityFlagsByName(""), std::nullopt);
    EXPECT_EQ(platform::ReachabilityFlagsByAddress(0x7F000001u), platform::kReachable);
}

TEST(Reachability, ResolvesTheFirstIPv4Address) {
    EXPECT_EQ(platform::ResolveFirstIPv4("127.0.0.1", 1000ms), 0x7F000001u);
    EXPECT_EQ(platform::ResolveFirstIPv4("10.1.2.3", 1000ms), 0x0A010203u);
    const auto local = platform::ResolveFirstIPv4("localhost", 1000ms);
    ASSERT_TRUE(local.has_value());
    EXPECT_EQ(*local >> 24, 127u);
    EXPECT_EQ(platform::ResolveFirstIPv4("", 1000ms), std::nullopt);

    // An unknown name gives nothing, and never later than the limit (plus scheduling).
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(platform::ResolveFirstIPv4("nonexistent.invalid", 300ms), std::nullopt);
    EXPECT_LT(std::chrono::steady_clock::now() - start, zymtest::Scaled(1500ms));
}
