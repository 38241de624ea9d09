#pragma once
// Keeps a TIFF picture of each song's album art in the user's data folder
// ($XDG_DATA_HOME/zymradio/albumArt), named "Artist (Album).tiff", or after the art URL's
// file when the album or artist is unknown. Names from the stream are made safe for one
// path component. Files are replaced, never removed.

#include <QImage>
#include <QString>

#include <optional>

class RadioMetadataParser;
class UserDefaults;

namespace AlbumArtStore {
// The default folder.
QString defaultFolder();
// The file name for a song; empty when there is none to give.
QString fileName(const std::optional<QString>& artist, const std::optional<QString>& album, const QString& artURL);
// One path component: no "/", no control characters, no leading "."; at most 255 bytes
// of UTF-8 with the ".tiff" extension kept.
QString safeFileName(const QString& stem);
// Stores the document's album art unless "albumart_cache" is NO; answers the path written,
// or nullopt when nothing was (also silently on any failure).
std::optional<QString> store(const RadioMetadataParser& document, const QString& folder, UserDefaults& defaults);
}  // namespace AlbumArtStore
