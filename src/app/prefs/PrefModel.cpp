#include "PrefModel.h"

#include "app/foundation/NotificationCenter.h"
#include "app/signon/PasswordStore.h"
#include "app/foundation/UserDefaults.h"
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

// "" until something is cached for the key.
template <class Stored>
QVariant CachedPrefModel<Stored>::value() const {
    return cache_.value(this->key(), QString());
}

template <class Stored>
void CachedPrefModel<Stored>::setValue(const QVariant& value) {
    if (prefValuesEqual(this->value(), value)) return;
    cache_.insert(this->key(), value);
    this->sendPrefChangedNotification();
}

template <class Stored>
void CachedPrefModel<Stored>::keyChanged() {
    if (!cache_.contains(this->key())) loadCache();
    this->sendPrefChangedNotification();
}

template class CachedPrefModel<UserDefaultPrefModel>;
template class CachedPrefModel<KeychainPrefModel>;

CachedUserDefaultPrefModel::CachedUserDefaultPrefModel(const QString& key, PrefStores stores)
    : CachedPrefModel(key, stores) {
    loadCache();
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
    : CachedPrefModel(account, service, stores) {
    loadCache();
}

void CachedKeychainPrefModel::loadCache() { cache_.insert(key(), storedPassword()); }

void CachedKeychainPrefModel::flushCache() {
    const QString password = value().toString();
    if (storedPassword() == password) return;
    savePassword(password);
    sendPrefChangedNotification();
}
