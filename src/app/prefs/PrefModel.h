#pragma once
// Value sources behind the preferences window's controls: one value read from the user
// defaults, the keyring or a private dictionary, written back when it changed and
// announced with "PrefObjectChangedNotification" (object: the model). The cached models
// keep typed text until their owner flushes it, so a field is committed only when its
// pane closes or a sign-on starts.

#include <QHash>
#include <QString>
#include <QVariant>

#include "app/ui/PreferenceNotices.h"

class NotificationCenter;
class PasswordStore;
class UserDefaults;

// Where the models read, write and announce; null members mean the application's own.
struct PrefStores {
    UserDefaults* defaults = nullptr;
    NotificationCenter* center = nullptr;
    PasswordStore* passwords = nullptr;

    UserDefaults& userDefaults() const;
    NotificationCenter& notifications() const;
    PasswordStore& passwordStore() const;
};

// Equality of two stored values: the user defaults keep scalars as text, so a bool or
// number read back compares with what was written by its text.
bool prefValuesEqual(const QVariant& a, const QVariant& b);

class PrefModel {
public:
    explicit PrefModel(PrefStores stores = {}) : stores_(stores) {}
    virtual ~PrefModel() = default;
    PrefModel(const PrefModel&) = delete;
    PrefModel& operator=(const PrefModel&) = delete;

    virtual QVariant value() const { return {}; }
    virtual void setValue(const QVariant&) {}

    void setNotifyOnChange(bool notify) { notifyOnChange_ = notify; }
    bool notifyOnChange() const { return notifyOnChange_; }
    void sendPrefChangedNotification();

    const PrefStores& stores() const { return stores_; }

private:
    PrefStores stores_;
    bool notifyOnChange_ = true;
};

class KeyedPrefModel : public PrefModel {
public:
    KeyedPrefModel(const QString& key, PrefStores stores = {}) : PrefModel(stores), key_(key) {}
    QString key() const { return key_; }
    // Runs keyChanged() also when the key stays the same.
    void setKey(const QString& key);
    virtual void keyChanged() {}

private:
    QString key_;
};

// The two models that hold typed values until flushed.
class CachedModel {
public:
    virtual ~CachedModel() = default;
    virtual void loadCache() = 0;
    virtual void flushCache() = 0;
};

class UserDefaultPrefModel : public KeyedPrefModel, public UserDefaultsKeyedPreference {
public:
    using KeyedPrefModel::KeyedPrefModel;
    QString userDefaultsKey() const override { return key(); }
    QVariant value() const override;
    void setValue(const QVariant& value) override;
    void keyChanged() override { sendPrefChangedNotification(); }
};

// The password of account = key under the service, through KeychainUtils.
class KeychainPrefModel : public KeyedPrefModel {
public:
    KeychainPrefModel(const QString& account, const QString& service, PrefStores stores = {})
        : KeyedPrefModel(account, stores), service_(service) {}
    QString service() const { return service_; }
    void setService(const QString& service) { service_ = service; }
    QVariant value() const override;
    void setValue(const QVariant& value) override;
    void keyChanged() override { sendPrefChangedNotification(); }

protected:
    QString storedPassword() const;
    void savePassword(const QString& password);

private:
    QString service_;
};

// Values that live only in memory (a password not to be remembered).
class DictionaryPrefModel : public KeyedPrefModel {
public:
    using KeyedPrefModel::KeyedPrefModel;
    QVariant value() const override;
    void setValue(const QVariant& value) override;
    void keyChanged() override { sendPrefChangedNotification(); }

private:
    QHash<QString, QVariant> values_;
};

// The cache both cached models share; the stored side loads and flushes it.
template <class Stored>
class CachedPrefModel : public Stored, public CachedModel {
public:
    using Stored::Stored;
    QVariant value() const override;
    void setValue(const QVariant& value) override;
    void keyChanged() override;

protected:
    // Entries stay when the key moves on.
    QHash<QString, QVariant> cache_;
};

extern template class CachedPrefModel<UserDefaultPrefModel>;
extern template class CachedPrefModel<KeychainPrefModel>;

class CachedUserDefaultPrefModel : public CachedPrefModel<UserDefaultPrefModel> {
public:
    CachedUserDefaultPrefModel(const QString& key, PrefStores stores = {});
    void loadCache() override;
    void flushCache() override;
};

class CachedKeychainPrefModel : public CachedPrefModel<KeychainPrefModel> {
public:
    CachedKeychainPrefModel(const QString& account, const QString& service, PrefStores stores = {});
    void loadCache() override;
    void flushCache() override;
};
