#include "app/foundation/PropertyList.h"

#include "app/foundation/ZYMFileManager.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>
#include <QTimeZone>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <charconv>
#include <cmath>
#include <limits>

namespace {

constexpr int kMaxDepth = 256;

void SetError(QString* error, const QString& text) {
    if (error) *error = text;
}

class Reader {
public:
    explicit Reader(const QByteArray& xml) : r_(xml) {}

    std::optional<QVariant> run(QString* error) {
        // Protect against entity expansion even though declarations are refused below.
        r_.setEntityExpansionLimit(0);
        bool seenPlist = false;
        std::optional<QVariant> result;
        while (!r_.atEnd()) {
            const auto token = r_.readNext();
            if (token == QXmlStreamReader::DTD) {
                if (!r_.entityDeclarations().isEmpty() || r_.text().contains(QLatin1String("<!ENTITY")))
                    return fail(error, QStringLiteral("entity declarations are not allowed"));
            } else if (token == QXmlStreamReader::EntityReference) {
                return fail(error, QStringLiteral("entity references are not allowed"));
            } else if (token == QXmlStreamReader::StartElement) {
                if (seenPlist) return fail(error, QStringLiteral("more than one root element"));
                seenPlist = true;
                if (r_.name() == QLatin1String("plist")) {
                    // One value (or none) inside <plist>.
                    std::optional<QVariant> value;
                    while (nextChild()) {
                        if (value) return fail(error, QStringLiteral("more than one value in <plist>"));
                        value = readValue(0);
                        if (!value) return fail(error);
                    }
                    if (failed_) return fail(error);
                    result = value ? *value : QVariant();
                } else {
                    // A bare value as the root, as older writers made.
                    result = readValue(0);
                    if (!result) return fail(error);
                }
            }
        }
        if (r_.hasError()) return fail(error, r_.errorString());
        if (!result) return fail(error, QStringLiteral("no property list"));
        return result;
    }

private:
    std::optional<QVariant> fail(QString* error, const QString& text = QString()) {
        if (!text.isEmpty() && message_.isEmpty()) message_ = text;
        if (message_.isEmpty()) message_ = r_.hasError() ? r_.errorString() : QStringLiteral("malformed property list");
        SetError(error, message_ + QStringLiteral(" (line ") + QString::number(r_.lineNumber()) + QLatin1Char(')'));
        return std::nullopt;
    }

    std::nullopt_t bad(const QString& text) {
        if (message_.isEmpty()) message_ = text;
        failed_ = true;
        return std::nullopt;
    }

    // Moves to the next child element of the current element: true at its start, false
    // at the current element's end (or on an error, which sets failed_). Only blanks and
    // comments may stand between elements.
    bool nextChild() {
        while (!r_.atEnd()) {
            const auto token = r_.readNext();
            switch (token) {
            case QXmlStreamReader::StartElement: return true;
            case QXmlStreamReader::EndElement: return false;
            case QXmlStreamReader::Characters:
                if (!r_.isWhitespace()) {
                    bad(QStringLiteral("text between elements"));
                    return false;
                }
                break;
            case QXmlStreamReader::EntityReference:
                bad(QStringLiteral("entity references are not allowed"));
                return false;
            case QXmlStreamReader::Invalid: failed_ = true; return false;
            default: break;
            }
        }
        failed_ = true;
        return false;
    }

    // The text of a leaf element, up to its end; no child elements allowed.
    std::optional<QString> leafText() {
        QString text;
        while (!r_.atEnd()) {
            const auto token = r_.readNext();
            switch (token) {
            case QXmlStreamReader::Characters: text += r_.text(); break;
            case QXmlStreamReader::EndElement: return text;
            case QXmlStreamReader::Comment:
            case QXmlStreamReader::ProcessingInstruction: break;
            case QXmlStreamReader::EntityReference: return bad(QStringLiteral("entity references are not allowed"));
            default: return bad(QStringLiteral("unexpected content in <") + name_ + QLatin1Char('>'));
            }
        }
        return bad(QStringLiteral("unexpected end"));
    }

    // At the start of a value element: reads it up to its end.
    std::optional<QVariant> readValue(int depth) {
        if (depth > kMaxDepth) return bad(QStringLiteral("nested too deeply"));
        name_ = r_.name().toString();
        const QString name = name_;
        if (name == QLatin1String("dict")) {
            QVariantMap map;
            while (nextChild()) {
                if (r_.name() != QLatin1String("key")) return bad(QStringLiteral("<dict> entry without <key>"));
                name_ = QStringLiteral("key");
                auto key = leafText();
                if (!key) return std::nullopt;
                if (!nextChild()) return bad(QStringLiteral("<key> without a value"));
                auto value = readValue(depth + 1);
                if (!value) return std::nullopt;
                map.insert(*key, *value);
            }
            if (failed_) return std::nullopt;
            return QVariant(map);
        }
        if (name == QLatin1String("array")) {
            QVariantList list;
            while (nextChild()) {
                auto value = readValue(depth + 1);
                if (!value) return std::nullopt;
                list.append(*value);
            }
            if (failed_) return std::nullopt;
            return QVariant(list);
        }
        if (name == QLatin1String("true") || name == QLatin1String("false")) {
            auto text = leafText();
            if (!text) return std::nullopt;
            if (!text->trimmed().isEmpty()) return bad(QStringLiteral("text in <") + name + QLatin1Char('>'));
            return QVariant(name == QLatin1String("true"));
        }
        auto text = leafText();
        if (!text) return std::nullopt;
        if (name == QLatin1String("string")) return QVariant(*text);
        if (name == QLatin1String("integer")) return integer(*text);
        if (name == QLatin1String("real")) return real(*text);
        if (name == QLatin1String("date")) {
            const QDateTime date = QDateTime::fromString(text->trimmed(), Qt::ISODate);
            if (!date.isValid()) return bad(QStringLiteral("bad <date>"));
            return QVariant(date.toUTC());
        }
        if (name == QLatin1String("data")) {
            QByteArray compact;
            for (QChar c : *text)
                if (!c.isSpace()) compact.append(char(c.unicode() < 128 ? c.unicode() : '!'));
            const auto decoded = QByteArray::fromBase64Encoding(compact, QByteArray::AbortOnBase64DecodingErrors);
            if (!decoded) return bad(QStringLiteral("bad <data>"));
            return QVariant(*decoded);
        }
        return bad(QStringLiteral("unknown element <") + name + QLatin1Char('>'));
    }

    std::optional<QVariant> integer(const QString& text) {
        const QByteArray bytes = text.trimmed().toLatin1();
        const char* begin = bytes.constData();
        const char* end = begin + bytes.size();
        if (begin != end && *begin == '+') ++begin;
        long long v = 0;
        auto [ptr, ec] = std::from_chars(begin, end, v);
        if (ec == std::errc() && ptr == end && begin != end) return QVariant(qint64(v));
        if (ec == std::errc::result_out_of_range && *begin != '-') {
            unsigned long long u = 0;
            auto [uptr, uec] = std::from_chars(begin, end, u);
            if (uec == std::errc() && uptr == end) return QVariant(quint64(u));
        }
        return bad(QStringLiteral("bad <integer>"));
    }

    std::optional<QVariant> real(const QString& text) {
        const QString t = text.trimmed();
        const QString lower = t.toLower();
        if (lower == QLatin1String("+infinity") || lower == QLatin1String("inf") || lower == QLatin1String("+inf") ||
            lower == QLatin1String("infinity"))
            return QVariant(std::numeric_limits<double>::infinity());
        if (lower == QLatin1String("-infinity") || lower == QLatin1String("-inf"))
            return QVariant(-std::numeric_limits<double>::infinity());
        if (lower == QLatin1String("nan")) return QVariant(std::numeric_limits<double>::quiet_NaN());
        const QByteArray bytes = t.toLatin1();
        const char* begin = bytes.constData();
        const char* end = begin + bytes.size();
        if (begin != end && *begin == '+') ++begin;
        double d = 0;
        auto [ptr, ec] = std::from_chars(begin, end, d, std::chars_format::general);
        if (ec == std::errc() && ptr == end && begin != end) return QVariant(d);
        return bad(QStringLiteral("bad <real>"));
    }

    QXmlStreamReader r_;
    QString name_;
    QString message_;
    bool failed_ = false;
};

QString RealText(double d) {
    if (std::isnan(d)) return QStringLiteral("nan");
    if (std::isinf(d)) return d > 0 ? QStringLiteral("+infinity") : QStringLiteral("-infinity");
    char buffer[64];
    const auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, d);
    return QString::fromLatin1(buffer, ec == std::errc() ? ptr - buffer : 0);
}

bool WriteValue(QXmlStreamWriter& w, const QVariant& v, QString* error, int depth) {
    if (depth > kMaxDepth) {
        SetError(error, QStringLiteral("nested too deeply"));
        return false;
    }
    switch (v.typeId()) {
    case QMetaType::QVariantMap:
    case QMetaType::QVariantHash: {
        QVariantMap map = v.toMap();
        if (map.isEmpty()) {
            w.writeEmptyElement(QStringLiteral("dict"));
            return true;
        }
        w.writeStartElement(QStringLiteral("dict"));
        for (auto it = map.begin(); it != map.end(); ++it) {
            w.writeTextElement(QStringLiteral("key"), it.key());
            if (!WriteValue(w, it.value(), error, depth + 1)) return false;
        }
        w.writeEndElement();
        return true;
    }
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
        const QVariantList list = v.toList();
        if (list.isEmpty()) {
            w.writeEmptyElement(QStringLiteral("array"));
            return true;
        }
        w.writeStartElement(QStringLiteral("array"));
        for (const QVariant& item : list)
            if (!WriteValue(w, item, error, depth + 1)) return false;
        w.writeEndElement();
        return true;
    }
    case QMetaType::QString: w.writeTextElement(QStringLiteral("string"), v.toString()); return true;
    case QMetaType::Bool:
        w.writeEmptyElement(v.toBool() ? QStringLiteral("true") : QStringLiteral("false"));
        return true;
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::Long: w.writeTextElement(QStringLiteral("integer"), QString::number(v.toLongLong())); return true;
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::UShort:
    case QMetaType::ULong: w.writeTextElement(QStringLiteral("integer"), QString::number(v.toULongLong())); return true;
    case QMetaType::Double:
    case QMetaType::Float: w.writeTextElement(QStringLiteral("real"), RealText(v.toDouble())); return true;
    case QMetaType::QDateTime: {
        const QDateTime date = v.toDateTime();
        if (!date.isValid()) break;
        w.writeTextElement(QStringLiteral("date"), date.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ")));
        return true;
    }
    case QMetaType::QByteArray:
        w.writeTextElement(QStringLiteral("data"), QString::fromLatin1(v.toByteArray().toBase64()));
        return true;
    default: break;
    }
    SetError(error, QStringLiteral("a property list cannot hold a value of type ") +
                        QString::fromLatin1(v.metaType().name() ? v.metaType().name() : "invalid"));
    return false;
}

}  // namespace

namespace PropertyList {

std::optional<QVariant> read(const QByteArray& xml, QString* error) { return Reader(xml).run(error); }

std::optional<QVariant> readFile(const QString& path, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        SetError(error, file.errorString());
        return std::nullopt;
    }
    return read(file.readAll(), error);
}

std::optional<QByteArray> write(const QVariant& value, QString* error) {
    QByteArray out;
    QXmlStreamWriter w(&out);
    w.setAutoFormatting(true);
    w.setAutoFormattingIndent(-1);  // one tab, as property-list files are laid out
    w.writeStartDocument(QStringLiteral("1.0"));
    w.writeDTD(QStringLiteral(
        "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">"));
    w.writeStartElement(QStringLiteral("plist"));
    w.writeAttribute(QStringLiteral("version"), QStringLiteral("1.0"));
    if (!WriteValue(w, value, error, 0)) return std::nullopt;
    w.writeEndElement();
    w.writeEndDocument();
    if (w.hasError()) {
        SetError(error, QStringLiteral("text not writable as XML"));
        return std::nullopt;
    }
    return out;
}

bool writeFile(const QString& path, const QVariant& value, QString* error) {
    const auto bytes = write(value, error);
    if (!bytes) return false;
    ZYMFileManager::ensureDirectoriesInPath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        SetError(error, file.errorString());
        return false;
    }
    // Set on the new file before it takes the name, so it is never readable by others.
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (file.write(*bytes) != bytes->size()) {
        SetError(error, file.errorString());
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        SetError(error, file.errorString());
        return false;
    }
    return true;
}

}  // namespace PropertyList
