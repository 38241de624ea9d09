#pragma once
// A station's location on the clipboard or in a drag, in the forms other programs read:
// the escaped URL as plain text and as a URI list, the URL with its name as a Mozilla
// URL, and the description in a type of ours.

#include <QMimeData>
#include <QString>
#include <QStringList>

namespace ZYMPasteboard {

// A station ID being dragged.
inline constexpr const char* kRadioStationMimeType = "application/x-radiostation-id";
inline constexpr const char* kURLDescriptionMimeType = "application/x-zymradio-url-description";
inline constexpr const char* kMozillaURLMimeType = "text/x-moz-url";

// The types setDataForURL writes, in order.
QStringList urlMimeTypes();

// Writes the URL (escaped), its name and its description into `data`.
void setDataForURL(QMimeData& data, const QString& url, const QString& name, const QString& description);

// The station ID carried by a drag, or a null string.
QString stationID(const QMimeData& data);
void setStationID(QMimeData& data, const QString& stationID);

}  // namespace ZYMPasteboard
