#include "app/support/NetworkInfoManager.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringList>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <limits>

namespace {

constexpr unsigned kRouteUp = 0x1;  // RTF_UP

// The default route with the lowest metric (the first of equals); "" without one.
QString DefaultRouteInterface(const QString& table) {
    QString best;
    qulonglong bestMetric = std::numeric_limits<qulonglong>::max();
    const QStringList lines = table.split(QLatin1Char('\n'));
    for (qsizetype i = 1; i < lines.size(); ++i) {  // the first line names the columns
        const QStringList f = lines[i].split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
        if (f.size() < 8) continue;
        bool okDest = false, okFlags = false, okMetric = false, okMask = false;
        const qulonglong dest = f[1].toULongLong(&okDest, 16);
        const qulonglong flags = f[3].toULongLong(&okFlags, 16);
        const qulonglong metric = f[6].toULongLong(&okMetric, 10);
        const qulonglong mask = f[7].toULongLong(&okMask, 16);
        if (!okDest || !okFlags || !okMetric || !okMask) continue;
        if (dest != 0 || mask != 0 || !(flags & kRouteUp)) continue;
        if (metric < bestMetric) {
            bestMetric = metric;
            best = f[0];
        }
    }
    return best;
}

}  // namespace

std::optional<QString> SystemNetworkInfoSource::routeTable() const {
    QFile file(QStringLiteral("/proc/net/route"));
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    return QString::fromLatin1(file.readAll());
}

QList<NetworkInterfaceAddress> SystemNetworkInfoSource::interfaces() const {
    QList<NetworkInterfaceAddress> result;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return result;
    for (ifaddrs* a = list; a; a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET || !a->ifa_name) continue;
        char text[INET_ADDRSTRLEN] = {};
        const auto* in = reinterpret_cast<const sockaddr_in*>(a->ifa_addr);
        if (!inet_ntop(AF_INET, &in->sin_addr, text, sizeof text)) continue;
        NetworkInterfaceAddress entry;
        entry.name = QString::fromLocal8Bit(a->ifa_name);
        entry.ipv4 = QString::fromLatin1(text);
        entry.up = a->ifa_flags & IFF_UP;
        entry.running = a->ifa_flags & IFF_RUNNING;
        entry.loopback = a->ifa_flags & IFF_LOOPBACK;
        entry.broadcast = a->ifa_flags & IFF_BROADCAST;
        entry.pointToPoint = a->ifa_flags & IFF_POINTOPOINT;
        result.append(entry);
    }
    freeifaddrs(list);
    return result;
}

NetworkInfoManager& NetworkInfoManager::defaultManager() {
    static auto* manager = new NetworkInfoManager(std::make_shared<SystemNetworkInfoSource>());
    return *manager;
}

NetworkInfoManager::NetworkInfoManager(std::shared_ptr<NetworkInfoSource> source) : source_(std::move(source)) {}

std::optional<QString> NetworkInfoManager::routeTable() const {
    if (released_ || !source_) return std::nullopt;
    return source_->routeTable();
}

QString NetworkInfoManager::primaryInterfaceName() const {
    const auto table = routeTable();
    return table ? DefaultRouteInterface(*table) : QString();
}

std::optional<QString> NetworkInfoManager::localIPAddressForInterfaceName(const QString& name) const {
    if (!routeTable() || name.isEmpty()) return std::nullopt;
    for (const auto& entry : source_->interfaces())
        if (entry.name == name) return entry.ipv4;
    return std::nullopt;
}

std::optional<QString> NetworkInfoManager::localIPAddress() const {
    if (routeTable()) return localIPAddressForInterfaceName(primaryInterfaceName());
    if (!source_) return QString();
    for (const auto& e : source_->interfaces())
        if (e.up && e.running && !e.loopback && (e.broadcast || e.pointToPoint)) return e.ipv4;
    return QString();
}

void NetworkInfoManager::applicationWillTerminate() { released_ = true; }
