#include "app/support/NetworkInfoManager.h"

#include <gtest/gtest.h>

#include <ostream>

#include <optional>

namespace {

struct GivenFacts : NetworkInfoSource {
    std::optional<QString> table;
    QList<NetworkInterfaceAddress> list;
    std::optional<QString> routeTable() const override { return table; }
    QList<NetworkInterfaceAddress> interfaces() const override { return list; }
};

const char* kHeader = "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";

QString Route(const char* iface, const char* dest, const char* flags, int metric, const char* mask) {
    return QString("%1\t%2\t0101A8C0\t%3\t0\t0\t%4\t%5\t0\t0\t0\n").arg(iface, dest, flags).arg(metric).arg(mask);
}

NetworkInterfaceAddress If(const char* name, const char* ip, bool loopback = false, bool up = true, bool running = true,
                           bool broadcast = true, bool p2p = false) {
    return {name, ip, up, running, loopback, broadcast, p2p};
}

const QList<NetworkInterfaceAddress> kMachine = {If("lo", "127.0.0.1", true, true, true, false),
                                                 If("eth0", "192.168.1.20"), If("wlan0", "10.0.0.7"),
                                                 If("eth0", "192.168.1.21")};

struct AddressCase {
    const char* name;
    std::optional<QString> table;
    QList<NetworkInterfaceAddress> interfaces;
    QString primary;
    std::optional<QString> address;
};

void PrintTo(const AddressCase& c, std::ostream* os) { *os << c.name; }

class LocalAddress : public ::testing::TestWithParam<AddressCase> {};

TEST_P(LocalAddress, FromRoutesOrInterfaces) {
    const AddressCase& c = GetParam();
    auto facts = std::make_shared<GivenFacts>();
    facts->table = c.table;
    facts->list = c.interfaces;
    NetworkInfoManager manager(facts);
    EXPECT_EQ(manager.primaryInterfaceName(), c.primary);
    EXPECT_EQ(manager.localIPAddress(), c.address);
}

const AddressCase kAddressCases[] = {
    {"OneDefaultRoute",
     kHeader + Route("wlan0", "0000A8C0", "0001", 0, "00FFFFFF") + Route("eth0", "00000000", "0003", 100, "00000000"),
     kMachine, "eth0", "192.168.1.20"},
    {"TwoDefaultRoutesLowestMetricWins",
     kHeader + Route("eth0", "00000000", "0003", 100, "00000000") + Route("wlan0", "00000000", "0003", 50, "00000000"),
     kMachine, "wlan0", "10.0.0.7"},
    {"RouteThatIsDownIgnored",
     kHeader + Route("wlan0", "00000000", "0002", 1, "00000000") + Route("eth0", "00000000", "0003", 100, "00000000"),
     kMachine, "eth0", "192.168.1.20"},
    {"NoDefaultRouteIsNil", kHeader + Route("eth0", "0001A8C0", "0001", 0, "00FFFFFF"), kMachine, "", std::nullopt},
    {"PrimaryWithoutAddressIsNil", kHeader + Route("ppp0", "00000000", "0003", 0, "00000000"), kMachine, "ppp0",
     std::nullopt},
    {"GarbledTableIsNil", QString("nonsense\n\tmore nonsense 1 2 3 4 5 6 7\n"), kMachine, "", std::nullopt},
    {"NoTableWalksTheInterfaces", std::nullopt, kMachine, "", "192.168.1.20"},
    {"NoTablePointToPointCounts",
     std::nullopt,
     {If("lo", "127.0.0.1", true), If("tun0", "10.8.0.2", false, true, true, false, true)},
     "",
     "10.8.0.2"},
    {"NoTableSkipsDownAndNotRunning",
     std::nullopt,
     {If("eth0", "192.168.1.20", false, false), If("eth1", "192.168.2.20", false, true, false),
      If("eth2", "192.168.3.20")},
     "",
     "192.168.3.20"},
    {"NoTableNeitherBroadcastNorPointToPoint",
     std::nullopt,
     {If("dummy0", "10.1.1.1", false, true, true, false, false)},
     "",
     ""},
    {"NoTableLoopbackOnly", std::nullopt, {If("lo", "127.0.0.1", true)}, "", ""},
};

INSTANTIATE_TEST_SUITE_P(Given, LocalAddress, ::testing::ValuesIn(kAddressCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(NetworkInfoManager, AfterTerminationTheInterfacesAnswer) {
    auto facts = std::make_shared<GivenFacts>();
    facts->table = kHeader + Route("wlan0", "00000000", "0003", 0, "00000000");
    facts->list = kMachine;
    NetworkInfoManager manager(facts);
    EXPECT_EQ(manager.localIPAddress(), "10.0.0.7");
    EXPECT_EQ(manager.localIPAddressForInterfaceName("eth0"), "192.168.1.20");
    EXPECT_EQ(manager.localIPAddressForInterfaceName(""), std::nullopt);
    manager.applicationWillTerminate();
    EXPECT_EQ(manager.primaryInterfaceName(), "");
    EXPECT_EQ(manager.localIPAddressForInterfaceName("eth0"), std::nullopt);
    EXPECT_EQ(manager.localIPAddress(), "192.168.1.20");
}

TEST(NetworkInfoManager, TheSystemsFactsAreReadable) {
    NetworkInfoManager& manager = NetworkInfoManager::defaultManager();
    EXPECT_EQ(&manager, &NetworkInfoManager::defaultManager());
    const auto address = manager.localIPAddress();
    // Whatever the machine has, never a loopback address.
    if (address) {
        EXPECT_FALSE(address->startsWith("127."));
    }
}

}  // namespace
