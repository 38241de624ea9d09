#pragma once

// NSUserDefaults' stand-in: a QSettings file (INI format) under an in-memory table of
// registered defaults. Registered defaults are never written to the file. QSettings
// escapes the keys in the file; '/', '\' and '%' are escaped once before, so that they
// survive as they are (QSettings would take '/' and '\' for group separators).

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

#include <memory>

class QSettings;

class UserDefaults {
public:
    // The settings file at `filePath`.
    explicit UserDefaults(const QString& filePath);
    ~UserDefaults();
    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

    // The application's defaults: $XDG_CONFIG_HOME/zymradio/zymradio.conf.
    static UserDefaults& standardUserDefaults();
    static QString standardFilePath();

    void registerDefaults(const QVariantMap& defaults);

    // The stored value, else the registered one, else an invalid QVariant. Stored
    // scalars come back as text (the file keeps no types); the typed getters convert.
    QVariant object(const QString& key) const;
    QString string(const QString& key) const;  // null when missing or not a text
    qint64 integer(const QString& key) const;  // 0 when missing or not a number
    double doubleValue(const QString& key) const;
    float floatValue(const QString& key) const;
    bool boolean(const QString& key) const;
    QVariantList array(const QString& key) const;
    QStringList stringArray(const QString& key) const;
    QVariantMap dictionary(const QString& key) const;
    QByteArray data(const QString& key) const;

    void setObject(const QString& key, const QVariant& value);  // invalid removes
    void setInteger(const QString& key, qint64 value);
    void setDouble(const QString& key, double value);
    void setBool(const QString& key, bool value);
    void setString(const QString& key, const QString& value);
    void removeObject(const QString& key);

    // Writes pending changes to the file; false when it could not be written.
    bool synchronize();

    static QString encodeKey(const QString& key);
    static QString decodeKey(const QString& stored);

private:
    static QString legacyKey(const QString& key);
    std::unique_ptr<QSettings> settings_;
    QVariantMap registered_;
};
