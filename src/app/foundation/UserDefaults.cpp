#include "app/foundation/UserDefaults.h"

#include "app/foundation/ZYMFileManager.h"

#include "runtime/LogMessage.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QMap>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QUrl>

#include <algorithm>
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

// --- values QSettings would unpack with QDataStream ---
//
// A "@Variant(...)" value is a QDataStream blob, and Qt reserves room for a list's declared
// count before reading its items: a count of 0x7fffffff asks for tens of gigabytes, and a
// deep nesting recurses past the stack. Such values are checked before QSettings sees the
// file: each length and count must fit in the bytes that follow, and only the types the
// program stores are taken.

class VariantBlobCheck {
public:
    explicit VariantBlobCheck(const QByteArray& blob)
        : p_(reinterpret_cast<const uchar*>(blob.constData())), left_(std::size_t(blob.size())) {}

    bool sound() { return variant(0); }

private:
    static constexpr int kMaxDepth = 32;
    static constexpr quint32 kNull = 0xffffffffu;

    bool take(quint64 n) {
        if (n > left_) return false;
        p_ += n;
        left_ -= std::size_t(n);
        return true;
    }
    bool number(quint32& v) {
        if (left_ < 4) return false;
        v = quint32(p_[0]) << 24 | quint32(p_[1]) << 16 | quint32(p_[2]) << 8 | quint32(p_[3]);
        return take(4);
    }
    bool bytes() {
        quint32 n = 0;
        return number(n) && (n == kNull || take(n));
    }
    bool string() {
        quint32 n = 0;
        return number(n) && (n == kNull || ((n & 1) == 0 && take(n)));
    }
    // A count no larger than the items the rest could hold, at `least` bytes an item.
    bool count(quint32& n, std::size_t least) { return number(n) && n <= left_ / least; }

    bool variant(int depth) {
        if (depth > kMaxDepth) return false;
        quint32 type = 0;
        if (!number(type)) return false;
        quint32 n = 0;
        // Type numbers as QSettings writes them (the Qt 4 stream format).
        switch (type) {
        case 0: return string();  // invalid: an empty text follows
        case 1:
        case 131:
        case 134: return take(1);
        case 7:
        case 130:
        case 133: return take(2);
        case 2:
        case 3:
        case 14:
        case 15:
        case 135: return take(4);
        case 4:
        case 5:
        case 6:
        case 129:
        case 132:
        case 21:
        case 25: return take(8);
        case 16: return take(9);
        case 19:
        case 23:
        case 22:
        case 26: return take(16);
        case 20:
        case 24: return take(32);
        case 10:
        case 17:
        case 18: return string();
        case 12: return bytes();
        case 13: return number(n) && take((quint64(n) + 7) / 8);
        case 138: return variant(depth + 1);
        case 9:
            if (!count(n, 4)) return false;
            for (quint32 i = 0; i < n; ++i)
                if (!variant(depth + 1)) return false;
            return true;
        case 11:
            if (!count(n, 4)) return false;
            for (quint32 i = 0; i < n; ++i)
                if (!string()) return false;
            return true;
        case 8:
        case 28:
            if (!count(n, 8)) return false;
            for (quint32 i = 0; i < n; ++i)
                if (!string() || !variant(depth + 1)) return false;
            return true;
        default: return false;
        }
    }

    const uchar* p_;
    std::size_t left_;
};

// Offsets in `text` of the "@Variant(" values whose blob does not pass. QSettings itself
// unescapes the file: each marker is renamed to a numbered text of the same length in a
// copy, so that Qt reads the blobs as plain texts and tells whose they are.
QList<qsizetype> UnsoundVariantOffsets(const QByteArray& text) {
    static const QByteArray marker("@Variant(");
    QList<qsizetype> offsets;
    for (qsizetype at = text.indexOf(marker); at >= 0; at = text.indexOf(marker, at + 1))
        offsets.append(at);
    if (offsets.isEmpty()) return {};
    if (offsets.size() > 999999) return offsets;
    QByteArray tagged = text;
    for (qsizetype i = 0; i < offsets.size(); ++i)
        tagged.replace(offsets[i], marker.size(), "@X" + QByteArray::number(i).rightJustified(6, '0') + "(");
    QTemporaryFile copy;
    if (!copy.open() || copy.write(tagged) != tagged.size() || !copy.flush()) return offsets;
    QSettings read(copy.fileName(), QSettings::IniFormat);
    static const QRegularExpression tag(QStringLiteral("^@X(\\d{6})\\((.*)\\)$"),
                                        QRegularExpression::DotMatchesEverythingOption);
    QSet<qsizetype> sound;
    for (const QString& key : read.allKeys()) {
        const QVariant value = read.value(key);
        const QVariantList items = value.typeId() == QMetaType::QString ? QVariantList{value} : value.toList();
        for (const QVariant& item : items) {
            const auto match = tag.match(item.toString());
            if (!match.hasMatch()) continue;
            const qsizetype index = match.captured(1).toLongLong();
            const QByteArray blob = match.captured(2).toLatin1();
            VariantBlobCheck check(blob);
            if (index < offsets.size() && check.sound()) sound.insert(index);
        }
    }
    QList<qsizetype> unsound;
    for (qsizetype i = 0; i < offsets.size(); ++i)
        if (!sound.contains(i)) unsound.append(offsets[i]);
    return unsound;
}

// Each unsound value becomes "@Invalid()", which QSettings reads as absent; the rest of the
// file is kept as it is.
void NeutralizeUnsoundVariants(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return;
    QByteArray text = file.readAll();
    file.close();
    const QList<qsizetype> unsound = UnsoundVariantOffsets(text);
    if (unsound.isEmpty()) return;
    // From the value's start (or the marker, on a line without a key) to the line's end;
    // one range per line, replaced from the last.
    QMap<qsizetype, std::pair<qsizetype, qsizetype>> lines;
    for (const qsizetype at : unsound) {
        const qsizetype lineStart = text.lastIndexOf('\n', at) + 1;
        qsizetype lineEnd = text.indexOf('\n', at);
        if (lineEnd < 0) lineEnd = text.size();
        if (lineEnd > at && text[lineEnd - 1] == '\r') --lineEnd;
        const qsizetype equals = text.indexOf('=', lineStart);
        const qsizetype from = equals >= 0 && equals < at ? equals + 1 : at;
        auto& range = lines[lineStart];
        range = range.second ? std::pair(std::min(range.first, from), lineEnd) : std::pair(from, lineEnd);
    }
    for (auto it = lines.cend(); it != lines.cbegin();) {
        --it;
        text.replace(it->first, it->second - it->first, "@Invalid()");
    }
    LogMessage(kLogError, "Settings file %s: %d unreadable values dropped\n", path.toUtf8().constData(),
               int(unsound.size()));
    QSaveFile out(path);
    if (out.open(QIODevice::WriteOnly) && out.write(text) == text.size()) out.commit();
}

}  // namespace

UserDefaults::UserDefaults(const QString& filePath)
    : settings_((NeutralizeUnsoundVariants(filePath), std::make_unique<QSettings>(filePath, QSettings::IniFormat))) {}

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
namespace {
struct KeyEscape {
    char c;
    const char* escape;
};
constexpr KeyEscape kKeyEscapes[] = {{'%', "%25"}, {'/', "%2F"}, {'\\', "%5C"}};
}  // namespace

QString UserDefaults::encodeKey(const QString& key) {
    QString encoded;
    encoded.reserve(key.size());
    for (const QChar c : key) {
        const auto* e = std::find_if(std::begin(kKeyEscapes), std::end(kKeyEscapes),
                                     [c](const KeyEscape& k) { return c == QLatin1Char(k.c); });
        if (e != std::end(kKeyEscapes))
            encoded += QLatin1String(e->escape);
        else
            encoded += c;
    }
    return encoded;
}

QString UserDefaults::decodeKey(const QString& stored) {
    QString key;
    key.reserve(stored.size());
    for (qsizetype i = 0; i < stored.size(); ++i) {
        const QStringView here = QStringView(stored).mid(i, 3);
        const auto* e = std::find_if(std::begin(kKeyEscapes), std::end(kKeyEscapes),
                                     [here](const KeyEscape& k) { return here == QLatin1String(k.escape); });
        if (e == std::end(kKeyEscapes)) {
            key += stored[i];
            continue;
        }
        key += QLatin1Char(e->c);
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
