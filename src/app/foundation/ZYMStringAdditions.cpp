#include "app/foundation/ZYMStringAdditions.h"

#include <QFontMetricsF>
#include <QUrl>
#include <QUuid>

namespace ZYMString {

CharacterSet whitespaceCharacterSet() {
    return [](QChar c) { return c.isSpace(); };
}

CharacterSet characterSetWithCharacters(const QString& characters) {
    return [characters](QChar c) { return characters.contains(c); };
}

const QString& ellipsisString() {
    static const QString ellipsis(QChar(0x2026));
    return ellipsis;
}

QString stringByRemovingCharactersInSet(const QString& s, const CharacterSet& set) {
    QString out;
    out.reserve(s.size());
    for (QChar c : s)
        if (!set(c)) out.append(c);
    return out;
}

QString stringByReplacingCharactersInSet(const QString& s, const CharacterSet& set, const QString& replacement) {
    QString out;
    out.reserve(s.size());
    bool inRun = false;
    for (QChar c : s) {
        if (set(c)) {
            if (!inRun) out.append(replacement);
            inRun = true;
        } else {
            out.append(c);
            inRun = false;
        }
    }
    return out;
}

void truncateTo(QString& s, int length, int position) {
    if (length < 0) length = 0;
    if (s.size() <= length) return;
    const qsizetype removed = s.size() - length;
    qsizetype start = length;
    if (position == TruncateHead)
        start = 0;
    else if (position == TruncateMiddle)
        start = length / 2;
    s.replace(start, removed, ellipsisString());
}

WidthMeasure fontWidthMeasure(const QFont& font) {
    return [metrics = QFontMetricsF(font)](const QString& text) { return metrics.horizontalAdvance(text); };
}

void truncateToWidth(QString& s, double width, int position, const WidthMeasure& measure) {
    if (measure(s) <= width) return;
    const QString full = s;
    int low = 0;
    int high = int(full.size());
    while (low <= high) {
        const int mid = (low + high) / 2;
        truncateTo(s, mid, position);
        const double w = measure(s);
        if (w > width) {
            high = mid - 1;
        } else if (w < width) {
            low = mid + 1;
            s = full;
        } else {
            return;
        }
    }
    // The loop may end on a shortening that was too wide; cut the full string instead.
    s = full;
    truncateTo(s, high, position);
}

QString stringByTruncatingToWidth(const QString& s, double width, int position, const WidthMeasure& measure) {
    QString copy = s;
    truncateToWidth(copy, width, position, measure);
    return copy;
}

QString stringByAddingPercentEscapes(const QString& s) {
    return QString::fromLatin1(QUrl::toPercentEncoding(s, "!$&'()*+,;=:/?#[]@"));
}

QString stringByReplacingPercentEscapes(const QString& s) { return QUrl::fromPercentEncoding(s.toUtf8()); }

bool isEqualToStringIgnoringCase(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

QString uuidString() { return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper(); }

}  // namespace ZYMString
