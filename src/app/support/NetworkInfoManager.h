#pragma once

// The machine's local IPv4 address, as the interface analytics report it.
//
// The primary interface is the one of the default route with the lowest metric in the
// kernel's routing table (/proc/net/route); its first IPv4 address is the answer, none
// when the interface or its address is unknown. Without a routing table the interface
// list is walked instead: the first IPv4 interface that is up and running, not loopback,
// and broadcast or point-to-point; "" when there is none. Once the application
// terminates the table is no longer consulted. Main thread only.

#include <QList>
#include <QString>

#include <memory>
#include <optional>

struct NetworkInterfaceAddress {
    QString name;
    QString ipv4;  // dotted form
    bool up = false;
    bool running = false;
    bool loopback = false;
    bool broadcast = false;
    bool pointToPoint = false;
};

// Where the facts come from; tests give their own.
class NetworkInfoSource {
public:
    virtual ~NetworkInfoSource() = default;
    // The routing table's text in the kernel's form; none when it cannot be read.
    virtual std::optional<QString> routeTable() const = 0;
    // Every IPv4 address of every interface, in the system's order.
    virtual QList<NetworkInterfaceAddress> interfaces() const = 0;
};

// /proc/net/route and getifaddrs.
class SystemNetworkInfoSource : public NetworkInfoSource {
public:
    std::optional<QString> routeTable() const override;
    QList<NetworkInterfaceAddress> interfaces() const override;
};

class NetworkInfoManager {
public:
    // The process's manager over the system's facts, made on first use, never freed.
    static NetworkInfoManager& defaultManager();

    explicit NetworkInfoManager(std::shared_ptr<NetworkInfoSource> source);
    NetworkInfoManager(const NetworkInfoManager&) = delete;
    NetworkInfoManager& operator=(const NetworkInfoManager&) = delete;

    // Dotted IPv4; none (nil) when the routing table names no usable primary interface.
    std::optional<QString> localIPAddress() const;
    // The primary interface's name, "" when unknown.
    QString primaryInterfaceName() const;
    // The interface's first IPv4 address; none without a routing table, a name or an
    // address.
    std::optional<QString> localIPAddressForInterfaceName(const QString& name) const;

    // From now on the routing table is left alone.
    void applicationWillTerminate();

private:
    std::optional<QString> routeTable() const;

    std::shared_ptr<NetworkInfoSource> source_;
    bool released_ = false;
};
