#include "app/foundation/ZYMPasteboard.h"

#include "app/foundation/ZYMStringAdditions.h"

namespace ZYMPasteboard {

QStringList urlMimeTypes() {
    return {QStringLiteral("text/plain"), QString::fromLatin1(kMozillaURLMimeType), QStringLiteral("text/uri-list"),
            QString::fromLatin1(kURLDescriptionMimeType)};
}

void setDataForURL(QMimeData& data, const QString& url, const QString& name, const QString& description) {
    const QString escaped = ZYMString::stringByAddingPercentEscapes(url);
    data.setData(QStringLiteral("text/plain"), escaped.toUtf8());
    // Mozilla's form: UTF-16 (host order, as Firefox and Chromium write it), URL and title
    // on two lines. A line break inside the name would start a third line.
    QString mozilla = escaped + QLatin1Char('\n') + QString(name).replace(QLatin1Char('\n'), QLatin1Char(' '));
    data.setData(QString::fromLatin1(kMozillaURLMimeType),
                 QByteArray(reinterpret_cast<const char*>(mozilla.utf16()), mozilla.size() * 2));
    data.setData(QStringLiteral("text/uri-list"), escaped.toUtf8() + "\r\n");
    data.setData(QString::fromLatin1(kURLDescriptionMimeType), description.toUtf8());
}

QString stationID(const QMimeData& data) {
    if (!data.hasFormat(QString::fromLatin1(kRadioStationMimeType))) return QString();
    return QString::fromUtf8(data.data(QString::fromLatin1(kRadioStationMimeType)));
}

void setStationID(QMimeData& data, const QString& stationID) {
    data.setData(QString::fromLatin1(kRadioStationMimeType), stationID.toUtf8());
}

}  // namespace ZYMPasteboard
