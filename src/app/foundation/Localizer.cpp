#include "app/foundation/Localizer.h"

#include "app/foundation/NSLog.h"
#include "app/foundation/Resources.h"
#include "app/foundation/StringsTable.h"

#include <QFile>

#include <algorithm>

QString Localizer::text(const QString& key, const QString& defaultValue, const QString& table) {
    const auto& entries = load(table.isEmpty() ? QStringLiteral("Localizable") : table);
    const auto it = entries.constFind(key);
    if (it != entries.constEnd()) return it.value();
    return defaultValue.isEmpty() ? key : defaultValue;
}

void Localizer::reset() { tables_.clear(); }

Localizer& Localizer::shared() {
    static Localizer localizer;
    return localizer;
}

const QHash<QString, QString>& Localizer::load(const QString& table) {
    auto it = tables_.find(table);
    if (it != tables_.end()) return it.value();
    QHash<QString, QString> entries;
    const QString path = Resources::find(table, QStringLiteral("strings"));
    if (!path.isEmpty()) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) {
            QString error;
            if (auto parsed = StringsTable::parse(file.readAll(), &error))
                entries = std::move(*parsed);
            else
                NSLog(QStringLiteral("strings table %1 not read: %2").arg(path, error));
        } else {
            NSLog(QStringLiteral("strings table %1 not read: %2").arg(path, file.errorString()));
        }
    }
    return tables_.insert(table, std::move(entries)).value();
}

namespace {

// One placeholder at `i` (just after '%'): its length and the argument index it takes
// (-1 for "%%"); false when the text there is no placeholder.
bool placeholderAt(const QString& f, qsizetype i, int nextIndex, qsizetype* length, int* index) {
    if (i >= f.size()) return false;
    if (f[i] == QLatin1Char('%')) {
        *length = 1;
        *index = -1;
        return true;
    }
    qsizetype j = i;
    int position = -1;
    while (j < f.size() && f[j].isDigit())
        ++j;
    if (j > i && j < f.size() && f[j] == QLatin1Char('$')) {
        position = f.mid(i, j - i).toInt() - 1;
        ++j;
    } else {
        j = i;
    }
    if (j < f.size() && f[j] == QLatin1Char('l')) ++j;
    if (j >= f.size()) return false;
    const QChar c = f[j];
    if (c != QLatin1Char('@') && c != QLatin1Char('d') && c != QLatin1Char('u') && c != QLatin1Char('i')) return false;
    *length = j - i + 1;
    *index = position >= 0 ? position : nextIndex;
    return true;
}

}  // namespace

QString formatOnePass(const QString& format, const QStringList& arguments) {
    QString out;
    int next = 0;
    for (qsizetype i = 0; i < format.size(); ++i) {
        qsizetype length = 0;
        int index = 0;
        if (format[i] != QLatin1Char('%') || !placeholderAt(format, i + 1, next, &length, &index)) {
            out.append(format[i]);
            continue;
        }
        if (index < 0) {
            out.append(QLatin1Char('%'));
        } else if (index < arguments.size()) {
            out.append(arguments[index]);
            next = index + 1;
        } else {
            out.append(format.mid(i, length + 1));
        }
        i += length;
    }
    return out;
}

int formatArgumentCount(const QString& format) {
    int count = 0, next = 0;
    for (qsizetype i = 0; i < format.size(); ++i) {
        qsizetype length = 0;
        int index = 0;
        if (format[i] != QLatin1Char('%') || !placeholderAt(format, i + 1, next, &length, &index)) continue;
        if (index >= 0) {
            count = std::max(count, index + 1);
            next = index + 1;
        }
        i += length;
    }
    return count;
}
