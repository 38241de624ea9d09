#include "app/ui/AlbumArtStore.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QUrl>

#include "app/foundation/ZYMFileManager.h"
#include "app/foundation/UserDefaults.h"
#include "app/radio/RadioMetadataParser.h"
#include "runtime/LogMessage.h"

namespace AlbumArtStore {
namespace {
const QString kExtension = QStringLiteral(".tiff");
constexpr int kMaxNameBytes = 255;

QString trimmedBlanks(const QString& s) {
    int from = 0, to = int(s.size());
    while (from < to && (s[from] == u' ' || s[from] == u'\t'))
        ++from;
    while (to > from && (s[to - 1] == u' ' || s[to - 1] == u'\t'))
        --to;
    return s.mid(from, to - from);
}
}  // namespace

QString defaultFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/zymradio/albumArt");
}

QString safeFileName(const QString& stem) {
    QString clean;
    clean.reserve(stem.size());
    for (const QChar c : stem) {
        if (c == u'/' || c == u'\\')
            clean += u'-';
        else if (c.category() == QChar::Other_Control || c.isNull())
            continue;
        else
            clean += c;
    }
    while (clean.startsWith(u'.'))
        clean.remove(0, 1);
    clean = clean.trimmed();
    if (clean.isEmpty()) return QString();
    // Cut whole characters until the name fits.
    const int room = kMaxNameBytes - int(kExtension.toUtf8().size());
    while (clean.toUtf8().size() > room) {
        clean.chop(1);
        if (!clean.isEmpty() && clean.back().isHighSurrogate()) clean.chop(1);
    }
    return clean + kExtension;
}

QString fileName(const std::optional<QString>& artist, const std::optional<QString>& album, const QString& artURL) {
    if (artist && album && !artist->isEmpty() && !album->isEmpty())
        return safeFileName(QStringLiteral("%1 (%2)").arg(trimmedBlanks(*artist), trimmedBlanks(*album)));
    const QString last = QFileInfo(QUrl(artURL).path()).completeBaseName();
    return safeFileName(last);
}

std::optional<QString> store(const RadioMetadataParser& document, const QString& folder, UserDefaults& defaults) {
    if (!document.isSong()) return std::nullopt;
    const QString key = QStringLiteral("albumart_cache");
    if (defaults.object(key).isValid() && !defaults.boolean(key)) return std::nullopt;
    const QImage& image = document.albumArtImage();
    const bool named = document.hasSongAlbum() && document.hasSongArtist();
    const QString name = fileName(named ? document.songArtist() : std::nullopt,
                                  named ? document.songAlbum() : std::nullopt, document.albumArtUrlString());
    if (image.isNull() || name.isEmpty()) return std::nullopt;
    if (!ZYMFileManager::ensureDirectoriesInPath(folder)) return std::nullopt;
    const QString path = QDir(folder).filePath(name);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !image.save(&file, "TIFF") || !file.commit()) return std::nullopt;
    LogMessage(kLogDebug, "AlbumArt [%s] written to cache.\n", path.toUtf8().constData());
    return path;
}
}  // namespace AlbumArtStore
