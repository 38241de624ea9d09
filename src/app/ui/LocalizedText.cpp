#include "app/ui/LocalizedText.h"

#include "app/services/Localizer.h"
#include "app/services/ServiceLayerError.h"

#include <algorithm>

namespace StringKeys {
const std::vector<StringKey>& all() {
    static const std::vector<StringKey> keys{
        SearchPlaceholder,      AllStationsItemName,           SearchResultsItemName,
        RecentStationsItemName, SearchResultsItemSuffixFormat, ClipboardStationURLFormat,
        PlayContextMenuItem,    StopContextMenuItem,           SignOnString,
        SignOffString};
    return keys;
}
}  // namespace StringKeys

QString localized(const StringKey& key) {
    ZYM_ASSERT(key.arguments == 0, "a format key needs its arguments");
    return Localizer::shared().text(QString::fromLatin1(key.key));
}

QString localizedFormat(const StringKey& key, const QStringList& arguments) {
    ZYM_ASSERT(key.arguments == arguments.size(), "wrong number of arguments for a format key");
    return formatOnePass(Localizer::shared().text(QString::fromLatin1(key.key)), arguments);
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
