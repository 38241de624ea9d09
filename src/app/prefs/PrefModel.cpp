#include "PrefModel.h"

#include "app/services/NotificationCenter.h"
#include "app/services/PasswordStore.h"
#include "app/services/UserDefaults.h"
#include "app/ui/PreferenceNotices.h"

UserDefaults& PrefStores::userDefaults() const { return defaults ? *defaults : UserDefaults::standardUserDefaults(); }

NotificationCenter& PrefStores::notifications() const { return center ? *center : NotificationCenter::defaultCenter(); }

PasswordStore& PrefStores::passwordStore() const { return passwords ? *passwords : PasswordStore::system(); }

bool prefValuesEqual(const QVariant& a, const QVariant& b) {
    if (a.isValid() != b.isValid()) return false;
    if (!a.isValid()) return true;
    if (a.typeId() == b.typeId()) return a == b;
    const auto scalar = [](const QVariant& v) {
        switch (v.typeId()) {
        case QMetaType::Bool:
        case QMetaType::Int:
        case QMetaType::LongLong:
        case QMetaType::UInt:
        case QMetaType::ULongLong:
        case QMetaType::Double:
        case QMetaType::QString:
        case QMetaType::QByteArray: return true;
        default: return false;
        }
    };
    if (scalar(a) && scalar(b)) return a.toString() == b.toString();
    return a == b;
}

namespace {

// The cached models' value for the current key: "" until something is cached.
QVariant cachedValue(const QHash<QString, QVariant>& cache, const QString& key) { return cache.value(key, QString()); }

// Caches the value; false when it equals what is cached already.
bool cacheValue(QHash<QString, QVariant>& cache, const QString& key, const QVariant& value) {
    if (prefValuesEqual(cachedValue(cache, key), value)) return false;
    cache.insert(key, value);
    return true;
}

}  // namespace

void PrefModel::sendPrefChangedNotification() {
    if (!notifyOnChange_) return;
    const auto* keyed = dynamic_cast<const UserDefaultsKeyedPreference*>(this);
    stores_.notifications().post(QString::fromLatin1(kPrefObjectChangedNotification), this,
                                 {{PreferenceNotices::kModelInfo, keyed}});
}

void KeyedPrefModel::setKey(const QString& key) {
    key_ = key;
    keyChanged();
}

QVariant UserDefaultPrefModel::value() const { return stores().userDefaults().object(key()); }

void UserDefaultPrefModel::setValue(const QVariant& value) {
    if (prefValuesEqual(stores().userDefaults().object(key()), value)) return;
    stores().userDefaults().setObject(key(), value);
    sendPrefChangedNotification();
}

QString KeychainPrefModel::storedPassword() const {
    return KeychainUtils::passwordForScreenName(stores().passwordStore(), key(), service_).value_or(QString());
}

void KeychainPrefModel::savePassword(const QString& password) {
    KeychainUtils::savePasswordToKeychain(stores().passwordStore(), password, key(), service_);
}

QVariant KeychainPrefModel::value() const { return storedPassword(); }

void KeychainPrefModel::setValue(const QVariant& value) {
    const QString password = value.toString();
    if (storedPassword() == password) return;
    savePassword(password);
    sendPrefChangedNotification();
}

QVariant DictionaryPrefModel::value() const { return values_.value(key(), QString()); }

void DictionaryPrefModel::setValue(const QVariant& value) {
    if (prefValuesEqual(this->value(), value)) return;
    values_.insert(key(), value);
    sendPrefChangedNotification();
}

CachedUserDefaultPrefModel::CachedUserDefaultPrefModel(const QString& key, PrefStores stores)
    : UserDefaultPrefModel(key, stores) {
    loadCache();
}

QVariant CachedUserDefaultPrefModel::value() const { return cachedValue(cache_, key()); }

void CachedUserDefaultPrefModel::setValue(const QVariant& value) {
    if (cacheValue(cache_, key(), value)) sendPrefChangedNotification();
}

void CachedUserDefaultPrefModel::keyChanged() {
    if (!cache_.contains(key())) loadCache();
    sendPrefChangedNotification();
}

void CachedUserDefaultPrefModel::loadCache() {
    const QVariant stored = stores().userDefaults().object(key());
    if (stored.isValid()) cache_.insert(key(), stored);
}

void CachedUserDefaultPrefModel::flushCache() {
    UserDefaults& defaults = stores().userDefaults();
    const QVariant stored = defaults.object(key());
    const bool isText = stored.typeId() == QMetaType::QString || stored.typeId() == QMetaType::QByteArray;
    const QString text = value().toString();
    if (isText && stored.toString() == text) return;
    defaults.setString(key(), text);
    sendPrefChangedNotification();
}

CachedKeychainPrefModel::CachedKeychainPrefModel(const QString& account, const QString& service, PrefStores stores)
    : KeychainPrefModel(account, service, stores) {
    loadCache();
}

QVariant CachedKeychainPrefModel::value() const { return cachedValue(cache_, key()); }

void CachedKeychainPrefModel::setValue(const QVariant& value) {
    if (cacheValue(cache_, key(), value)) sendPrefChangedNotification();
}

void CachedKeychainPrefModel::keyChanged() {
    if (!cache_.contains(key())) loadCache();
    sendPrefChangedNotification();
}

void CachedKeychainPrefModel::loadCache() { cache_.insert(key(), storedPassword()); }

void CachedKeychainPrefModel::flushCache() {
    const QString password = value().toString();
    if (storedPassword() == password) return;
    savePassword(password);
    sendPrefChangedNotification();
}
