#include "app/foundation/StringsTable.h"

#include <QStringDecoder>

namespace {

class Parser {
public:
    explicit Parser(const QString& text) : s_(text) {}

    std::optional<QHash<QString, QString>> run(QString* error) {
        QHash<QString, QString> table;
        for (;;) {
            if (!skipBlanks()) return fail(error);
            if (pos_ >= s_.size()) return table;
            QString key, value;
            if (!readString(key)) return fail(error);
            if (!skipBlanks()) return fail(error);
            if (peek() == QLatin1Char('=')) {
                ++pos_;
                if (!skipBlanks() || !readString(value) || !skipBlanks()) return fail(error);
            } else {
                value = key;
            }
            if (peek() != QLatin1Char(';')) return fail(error, "expected ';'");
            ++pos_;
            table.insert(key, value);
        }
    }

private:
    std::optional<QHash<QString, QString>> fail(QString* error, const char* why = nullptr) {
        if (error) {
            if (why) message_ = QString::fromLatin1(why);
            *error = (message_.isEmpty() ? QStringLiteral("syntax error") : message_) + QStringLiteral(" at ") +
                     QString::number(pos_);
        }
        return std::nullopt;
    }

    QChar peek() const { return pos_ < s_.size() ? s_[pos_] : QChar(); }

    // Blanks and comments; false on an unterminated comment.
    bool skipBlanks() {
        while (pos_ < s_.size()) {
            const QChar c = s_[pos_];
            if (c.isSpace()) {
                ++pos_;
            } else if (c == QLatin1Char('/') && pos_ + 1 < s_.size() && s_[pos_ + 1] == QLatin1Char('*')) {
                const qsizetype end = s_.indexOf(QLatin1String("*/"), pos_ + 2);
                if (end < 0) {
                    message_ = QStringLiteral("unterminated comment");
                    return false;
                }
                pos_ = end + 2;
            } else if (c == QLatin1Char('/') && pos_ + 1 < s_.size() && s_[pos_ + 1] == QLatin1Char('/')) {
                while (pos_ < s_.size() && s_[pos_] != QLatin1Char('\n'))
                    ++pos_;
            } else {
                break;
            }
        }
        return true;
    }

    static bool UnquotedChar(QChar c) {
        const char16_t u = c.unicode();
        return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '_' || u == '.' ||
               u == '$' || u == ':' || u == '/' || u == '-';
    }

    static int HexValue(QChar c) {
        const char16_t u = c.unicode();
        if (u >= '0' && u <= '9') return u - '0';
        if (u >= 'a' && u <= 'f') return u - 'a' + 10;
        if (u >= 'A' && u <= 'F') return u - 'A' + 10;
        return -1;
    }

    bool readString(QString& out) {
        out.clear();
        if (peek() != QLatin1Char('"')) {
            const qsizetype start = pos_;
            while (pos_ < s_.size() && UnquotedChar(s_[pos_]))
                ++pos_;
            if (pos_ == start) {
                message_ = QStringLiteral("expected a string");
                return false;
            }
            out = s_.mid(start, pos_ - start);
            return true;
        }
        ++pos_;
        while (pos_ < s_.size()) {
            const QChar c = s_[pos_++];
            if (c == QLatin1Char('"')) return true;
            if (c != QLatin1Char('\\')) {
                out.append(c);
                continue;
            }
            if (pos_ >= s_.size()) break;
            const QChar e = s_[pos_++];
            switch (e.unicode()) {
            case 'n': out.append(QLatin1Char('\n')); break;
            case 't': out.append(QLatin1Char('\t')); break;
            case 'r': out.append(QLatin1Char('\r')); break;
            case 'a': out.append(QChar(0x07)); break;
            case 'b': out.append(QChar(0x08)); break;
            case 'f': out.append(QChar(0x0C)); break;
            case 'v': out.append(QChar(0x0B)); break;
            case 'U':
            case 'u': {
                char16_t unit = 0;
                int digits = 0;
                while (digits < 4 && pos_ < s_.size() && HexValue(s_[pos_]) >= 0) {
                    unit = char16_t(unit * 16 + HexValue(s_[pos_++]));
                    ++digits;
                }
                if (digits == 0) {
                    message_ = QStringLiteral("bad \\U escape");
                    return false;
                }
                out.append(QChar(unit));
                break;
            }
            default:
                if (e.unicode() >= '0' && e.unicode() <= '7') {
                    int value = e.unicode() - '0';
                    for (int i = 0; i < 2 && pos_ < s_.size() && s_[pos_].unicode() >= '0' && s_[pos_].unicode() <= '7';
                         ++i)
                        value = value * 8 + (s_[pos_++].unicode() - '0');
                    out.append(QChar(char16_t(value)));
                } else {
                    out.append(e);  // \" \\ \' and any other character stand for themselves
                }
            }
        }
        message_ = QStringLiteral("unterminated string");
        return false;
    }

    const QString& s_;
    qsizetype pos_ = 0;
    QString message_;
};

}  // namespace

namespace StringsTable {

std::optional<QHash<QString, QString>> parse(const QByteArray& bytes, QString* error) {
    QStringDecoder::Encoding encoding = QStringDecoder::Utf8;
    qsizetype skip = 0;
    if (bytes.startsWith("\xFF\xFE")) {
        encoding = QStringDecoder::Utf16LE;
        skip = 2;
    } else if (bytes.startsWith("\xFE\xFF")) {
        encoding = QStringDecoder::Utf16BE;
        skip = 2;
    } else if (bytes.startsWith("\xEF\xBB\xBF")) {
        skip = 3;
    }
    QStringDecoder decoder(encoding, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(QByteArrayView(bytes).sliced(skip));
    if (decoder.hasError() || ((encoding != QStringDecoder::Utf8) && (bytes.size() - skip) % 2 != 0)) {
        if (error) *error = QStringLiteral("bad text encoding");
        return std::nullopt;
    }
    return Parser(text).run(error);
}

}  // namespace StringsTable
