#include "engine/SysNetworkConnectivity.h"

#include "platform/Reachability.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

class SysNetworkConnectivityTest : public ::testing::Test {
protected:
    void TearDown() override { SysNetworkConnectivity::sharedInstance().setForcedAnswerForTesting(std::nullopt); }
};

TEST_F(SysNetworkConnectivityTest, NullHostIsNeverReachable) {
    EXPECT_FALSE(IsNetworkAddressReachable(nullptr));
    // Not even when the test hook says yes: a null host is never asked about.
    SysNetworkConnectivity::sharedInstance().setForcedAnswerForTesting(true);
    EXPECT_FALSE(IsNetworkAddressReachable(nullptr));
}

TEST_F(SysNetworkConnectivityTest, LoopbackIsReachable) {
    EXPECT_TRUE(IsNetworkAddressReachable("127.0.0.1"));
    EXPECT_TRUE(IsNetworkAddressReachable("localhost"));
}

TEST_F(SysNetworkConnectivityTest, UnresolvableNameFollowsTheNameCheck) {
    // A name that does not resolve keeps the answer of the name check: reachable when the
    // machine has a usable route, not reachable when it has none.
    const auto byName = platform::ReachabilityFlagsByName("nonexistent.invalid");
    const bool routed = byName && (*byName & platform::kReachable);
    EXPECT_EQ(IsNetworkAddressReachable("nonexistent.invalid"), routed);
}

TEST_F(SysNetworkConnectivityTest, ForcedAnswerHook) {
    auto& c = SysNetworkConnectivity::sharedInstance();
    c.setForcedAnswerForTesting(false);
    EXPECT_FALSE(IsNetworkAddressReachable("127.0.0.1"));
    c.setForcedAnswerForTesting(true);
    EXPECT_TRUE(IsNetworkAddressReachable("nonexistent.invalid"));
    c.setForcedAnswerForTesting(std::nullopt);
    EXPECT_TRUE(IsNetworkAddressReachable("127.0.0.1"));
}

TEST_F(SysNetworkConnectivityTest, ChecksFromSeveralThreadsAgree) {
    std::atomic<int> reachable{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i)
        threads.emplace_back([&] { reachable += IsNetworkAddressReachable("localhost") ? 1 : 0; });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(reachable.load(), 8);
}

TEST_F(SysNetworkConnectivityTest, MakerWebHostSetting) {
    SetMakerWebHost("127.0.0.1");
    EXPECT_EQ(GetMakerWebHost(), "127.0.0.1");
    SetMakerWebHost("");
    EXPECT_EQ(GetMakerWebHost(), "");
}
