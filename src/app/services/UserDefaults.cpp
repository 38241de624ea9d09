#include "app/services/UserDefaults.h"

#include "app/foundation/ZYMFileManager.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QSettings>
#include <QStandardPaths>
#include <QUrl>

#include <charconv>
#include <cmath>
#include <limits>

namespace {

// Text as a number in the "C" notation, whatever the locale; nothing else around it
// but blanks.
bool ParseInteger(const QString& text, qint64& out) {
    const QByteArray bytes = text.trimmed().toLatin1();
    const char* begin = bytes.constData();
    const char* end = begin + bytes.size();
    if (begin != end && *begin == '+') ++begin;
    long long v = 0;
    const auto [ptr, ec] = std::from_chars(begin, end, v);
    if (ec != std::errc() || ptr != end || begin == end) return false;
    out = v;
    return true;
}

bool ParseDouble(const QString& text, double& out) {
    const QByteArray bytes = text.trimmed().toLatin1();
    const char* begin = bytes.constData();
    const char* end = begin + bytes.size();
    if (begin != end && *begin == '+') ++begin;
    double v = 0;
    const auto [ptr, ec] = std::from_chars(begin, end, v);
    if (ec != std::errc() || ptr != end || begin == end) return false;
    out = v;
    return true;
}

qint64 ClampToInteger(double d) {
    if (std::isnan(d)) return 0;
    if (d >= 9.2233720368547758e18) return std::numeric_limits<qint64>::max();
    if (d <= -9.2233720368547758e18) return std::numeric_limits<qint64>::min();
    return qint64(d);
}

bool IsText(const QVariant& v) { return v.typeId() == QMetaType::QString || v.typeId() == QMetaType::QByteArray; }

}  // namespace

UserDefaults::UserDefaults(const QString& filePath)
    : settings_(std::make_unique<QSettings>(filePath, QSettings::IniFormat)) {}

UserDefaults::~UserDefaults() { synchronize(); }

QString UserDefaults::standardFilePath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/zymradio/zymradio.conf");
}

UserDefaults& UserDefaults::standardUserDefaults() {
    static UserDefaults defaults(standardFilePath());
    return defaults;
}

// QSettings escapes every key itself in the file; only what it would take for group
// separators ('/', '\\') and the escape character are escaped here first.
QString UserDefaults::encodeKey(const QString& key) {
    QString encoded;
    encoded.reserve(key.size());
    for (const QChar c : key) {
        if (c == QLatin1Char('%'))
            encoded += QLatin1String("%25");
        else if (c == QLatin1Char('/'))
            encoded += QLatin1String("%2F");
        else if (c == QLatin1Char('\\'))
            encoded += QLatin1String("%5C");
        else
            encoded += c;
    }
    return encoded;
}

QString UserDefaults::decodeKey(const QString& stored) {
    QString key;
    key.reserve(stored.size());
    for (qsizetype i = 0; i < stored.size(); ++i) {
        const QStringView escape = QStringView(stored).mid(i, 3);
        if (escape == QLatin1String("%25"))
            key += QLatin1Char('%');
        else if (escape == QLatin1String("%2F"))
            key += QLatin1Char('/');
        else if (escape == QLatin1String("%5C"))
            key += QLatin1Char('\\');
        else {
            key += stored[i];
            continue;
        }
        i += 2;
    }
    return key;
}

// Earlier versions percent-encoded the whole key before QSettings escaped it again
// ("Color%2520Scheme%2520Name" in the file); such entries are still read, and replaced
// when written.
QString UserDefaults::legacyKey(const QString& key) { return QString::fromLatin1(QUrl::toPercentEncoding(key)); }

void UserDefaults::registerDefaults(const QVariantMap& defaults) {
    for (auto it = defaults.begin(); it != defaults.end(); ++it)
        registered_.insert(it.key(), it.value());
}

QVariant UserDefaults::object(const QString& key) const {
    const QVariant stored = settings_->value(encodeKey(key));
    if (stored.isValid()) return stored;
    if (const QString legacy = legacyKey(key); legacy != encodeKey(key)) {
        const QVariant old = settings_->value(legacy);
        if (old.isValid()) return old;
    }
    return registered_.value(key);
}

QString UserDefaults::string(const QString& key) const {
    const QVariant v = object(key);
    if (IsText(v)) return v.toString();
    // Numbers and booleans registered in memory read as their text, as NSUserDefaults
    // answers stringForKey: for a number.
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Bool: return v.toString();
    default: return QString();
    }
}

qint64 UserDefaults::integer(const QString& key) const {
    const QVariant v = object(key);
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt: return v.toLongLong();
    case QMetaType::ULongLong:
        return qint64(std::min<qulonglong>(v.toULongLong(), qulonglong(std::numeric_limits<qint64>::max())));
    case QMetaType::Bool: return v.toBool() ? 1 : 0;
    case QMetaType::Double:
    case QMetaType::Float: return ClampToInteger(v.toDouble());
    case QMetaType::QString:
    case QMetaType::QByteArray: {
        const QString text = v.toString();
        qint64 i = 0;
        if (ParseInteger(text, i)) return i;
        double d = 0;
        if (ParseDouble(text, d)) return ClampToInteger(d);
        if (text == QLatin1String("true")) return 1;
        return 0;
    }
    default: return 0;
    }
}

double UserDefaults::doubleValue(const QString& key) const {
    const QVariant v = object(key);
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float: return v.toDouble();
    case QMetaType::Bool: return v.toBool() ? 1.0 : 0.0;
    case QMetaType::QString:
    case QMetaType::QByteArray: {
        double d = 0;
        if (ParseDouble(v.toString(), d)) return d;
        return v.toString() == QLatin1String("true") ? 1.0 : 0.0;
    }
    default: return 0.0;
    }
}

float UserDefaults::floatValue(const QString& key) const { return float(doubleValue(key)); }

bool UserDefaults::boolean(const QString& key) const {
    const QVariant v = object(key);
    switch (v.typeId()) {
    case QMetaType::Bool: return v.toBool();
    case QMetaType::QString:
    case QMetaType::QByteArray: {
        const QString text = v.toString().trimmed().toLower();
        if (text == QLatin1String("true") || text == QLatin1String("yes")) return true;
        return integer(key) != 0;
    }
    default: return integer(key) != 0;
    }
}

QVariantList UserDefaults::array(const QString& key) const {
    const QVariant v = object(key);
    if (v.typeId() == QMetaType::QVariantList) return v.toList();
    if (v.typeId() == QMetaType::QStringList) {
        QVariantList out;
        for (const QString& s : v.toStringList())
            out.append(s);
        return out;
    }
    return {};
}

QStringList UserDefaults::stringArray(const QString& key) const {
    const QVariant v = object(key);
    if (v.typeId() == QMetaType::QStringList) return v.toStringList();
    if (v.typeId() != QMetaType::QVariantList) return {};
    QStringList out;
    for (const QVariant& item : v.toList()) {
        if (!IsText(item)) return {};
        out.append(item.toString());
    }
    return out;
}

QVariantMap UserDefaults::dictionary(const QString& key) const {
    const QVariant v = object(key);
    return v.typeId() == QMetaType::QVariantMap ? v.toMap() : QVariantMap();
}

QByteArray UserDefaults::data(const QString& key) const {
    const QVariant v = object(key);
    return v.typeId() == QMetaType::QByteArray ? v.toByteArray() : QByteArray();
}

void UserDefaults::setObject(const QString& key, const QVariant& value) {
    if (!value.isValid()) {
        removeObject(key);
        return;
    }
    QVariant stored = value;
    // Numbers go to the file in the "C" notation, never the locale's.
    if (value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float)
        stored = QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
    // QSettings writes a one-item string list as a bare text; a variant list keeps it a list.
    if (value.typeId() == QMetaType::QStringList) stored = QVariant(value.toList());
    if (key.isEmpty()) return;
    settings_->setValue(encodeKey(key), stored);
    if (const QString legacy = legacyKey(key); legacy != encodeKey(key)) settings_->remove(legacy);
}

void UserDefaults::setInteger(const QString& key, qint64 value) { setObject(key, QVariant(value)); }
void UserDefaults::setDouble(const QString& key, double value) { setObject(key, QVariant(value)); }
void UserDefaults::setBool(const QString& key, bool value) { setObject(key, QVariant(value)); }
void UserDefaults::setString(const QString& key, const QString& value) { setObject(key, QVariant(value)); }

void UserDefaults::removeObject(const QString& key) {
    // An empty key would name the whole group.
    if (key.isEmpty()) return;
    settings_->remove(encodeKey(key));
    if (const QString legacy = legacyKey(key); legacy != encodeKey(key)) settings_->remove(legacy);
}

bool UserDefaults::synchronize() {
    const QString path = settings_->fileName();
    ZYMFileManager::ensureDirectoriesInPath(QFileInfo(path).absolutePath());
    settings_->sync();
    // The settings name the account and what was played: the user's alone.
    if (QFileInfo::exists(path)) ZYMFileManager::makeFilePrivate(path);
    return settings_->status() == QSettings::NoError;
}
