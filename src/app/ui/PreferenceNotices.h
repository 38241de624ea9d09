#pragma once
// What a "PrefObjectChangedNotification" tells the main window: one changed key (a pane
// posts the key itself) or a changed preference model. The notification's object is an
// untyped pointer, so both travel in the user info.

#include <QString>
#include <QStringList>

struct Notification;

inline constexpr const char* kPrefObjectChangedNotification = "PrefObjectChangedNotification";

// A preference model over one user-defaults key.
class UserDefaultsKeyedPreference {
public:
    virtual ~UserDefaultsKeyedPreference() = default;
    virtual QString userDefaultsKey() const = 0;
};

namespace PreferenceNotices {
// The changed key, a QString.
inline const QString kKeyInfo = QStringLiteral("key");
// The model, a `const UserDefaultsKeyedPreference*` (null for a model of another kind).
inline const QString kModelInfo = QStringLiteral("model");

// The keys to check again: a key notice names only itself; a model notice its own key
// when that is "set_ichat_status", then "screenname", "network_bandwidth_limit" and
// "use_now_playing".
QStringList changedKeys(const Notification& notification);
}  // namespace PreferenceNotices
