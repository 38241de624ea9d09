#include "app/support/ZYMScriptCommands.h"

#include "app/foundation/ZYMStringAdditions.h"
#include "app/foundation/NSLog.h"

#include <QDesktopServices>
#include <QHash>
#include <QStringList>
#include <QUrl>

namespace {

constexpr QLatin1StringView kPlayStationPrefix("playstation?");

std::optional<QString> FirstPresent(const QHash<QString, QString>& entries, std::initializer_list<const char*> keys) {
    for (const char* key : keys) {
        const auto it = entries.constFind(QString::fromLatin1(key));
        if (it != entries.constEnd()) return it.value();
    }
    return std::nullopt;
}

// An invalid escape gives no text at all, which no station matches.
std::optional<QString> Unescaped(const std::optional<QString>& value) {
    if (!value) return std::nullopt;
    const QString text = ZYMString::stringByReplacingPercentEscapes(*value);
    if (text.isNull()) return std::nullopt;
    return text;
}

}  // namespace

bool ZYMScriptCommands::getURL(ZYMScriptingTarget& target, const QString& text) {
    const QUrl url(text, QUrl::StrictMode);
    if (text.isEmpty() || !url.isValid() || url.scheme().isEmpty()) return false;
    const QString scheme = url.scheme();  // QUrl gives it in lower case
    if (scheme == QLatin1String("qint")) {
        target.playStationWithURL(text);
        return true;
    }
    if (scheme != QLatin1String("zymradio")) {
        // Any bus client may send a URL: handing every scheme on would let it start any
        // handler of the desktop, so only web pages and mail go to their program.
        if (scheme != QLatin1String("http") && scheme != QLatin1String("https") && scheme != QLatin1String("mailto")) {
            NSLog(QStringLiteral("ignoring a URL of scheme %1").arg(scheme));
            return false;
        }
        return QDesktopServices::openUrl(url);
    }
    const QString specifier = text.mid(scheme.size() + 1);
    if (!specifier.startsWith(kPlayStationPrefix)) return false;
    const QString query = specifier.mid(kPlayStationPrefix.size());
    if (query.isEmpty()) return false;

    QHash<QString, QString> entries;
    for (const QString& part : query.split(QLatin1Char('&'))) {
        const QStringList pair = part.split(QLatin1Char('='));
        if (pair.size() == 2) entries.insert(pair[0].toLower(), pair[1]);
    }
    const std::optional<QString> id = Unescaped(FirstPresent(entries, {"stationid", "id", "stationnumber", "number"}));
    const std::optional<QString> name = Unescaped(FirstPresent(entries, {"stationname", "name"}));
    if (id && target.stationWithID(*id)) {
        target.playStationWithID(*id);
        return true;
    }
    if (name && target.stationWithName(*name)) {
        target.playStationWithName(*name);
        return true;
    }
    if (!target.isAuthenticated()) target.forceSignOnAndPlayStationID(id, name);
    return true;
}

std::optional<QString> ZYMScriptCommands::launchURL(const QStringList& arguments) {
    for (qsizetype i = 1; i < arguments.size(); ++i)
        if (!arguments[i].startsWith(QLatin1Char('-'))) return arguments[i];
    return std::nullopt;
}
