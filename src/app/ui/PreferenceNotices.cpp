#include "app/ui/PreferenceNotices.h"

#include "app/foundation/NotificationCenter.h"

namespace PreferenceNotices {
QStringList changedKeys(const Notification& notification) {
    QStringList keys;
    if (const auto it = notification.userInfo.find(kKeyInfo); it != notification.userInfo.end()) {
        if (const auto* key = std::any_cast<QString>(&it->second)) return {*key};
    }
    if (const auto it = notification.userInfo.find(kModelInfo); it != notification.userInfo.end()) {
        const auto* model = std::any_cast<const UserDefaultsKeyedPreference*>(&it->second);
        if (model && *model && (*model)->userDefaultsKey() == QLatin1String("set_ichat_status"))
            keys << QStringLiteral("set_ichat_status");
    }
    for (const char* key : {"screenname", "network_bandwidth_limit", "use_now_playing"})
        if (!keys.contains(QLatin1String(key))) keys << QString::fromLatin1(key);
    return keys;
}
}  // namespace PreferenceNotices
